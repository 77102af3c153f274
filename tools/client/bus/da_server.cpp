#include "tools/client/bus/da_server.h"

#include "tools/client/bus/bus_call_error.h"
#include "tools/client/bus/bus_value_codec.h"
#include "tools/client/bus/client_failure.h"
#include "tools/client/bus/connection_points.h"

namespace velk::client {
namespace {

constexpr const char* kServer = "VELK.OPC.IOPCServer";
constexpr const char* kBrowse = "VELK.OPC.IOPCBrowseServerAddressSpace";
constexpr const char* kProperties = "VELK.OPC.IOPCItemProperties";
constexpr const char* kDeviceMonitor = "VELK.Server.IDeviceMonitor";
constexpr const char* kObject = "VELK.Object";

using MonitorRow = sdbus::Struct<std::string, std::uint32_t, std::uint32_t, std::uint32_t, bool>;
using MonitorDevice =
    sdbus::Struct<std::string, bool, std::string, std::string, std::vector<MonitorRow>>;

}  // namespace

DaServer::DaServer(BusSession& session) : session_(session) {
    auto factory = session.Proxy(kDaBusName, kDaFactoryPath);
    sdbus::ObjectPath path;
    try {
        Guarded(kDaBusName, "ClassFactory.CreateInstance", [&] {
            factory->callMethod("CreateInstance")
                .onInterface("VELK.ClassFactory")
                .storeResultsTo(path);
        });
    } catch (const BusCallError& error) {
        if (error.ServerMissing()) {
            throw ClientFailure(kExitNoServer, std::string("the server ") + kDaBusName +
                                                   " is not running on " +
                                                   session.Choice().Description());
        }
        throw;
    }
    path_ = path;
    proxy_ = session.Proxy(kDaBusName, path_);
}

DaServer::~DaServer() {
    try {
        Release();
    } catch (const std::exception&) {
        // The server has gone, or the bus: the instance has gone with it.
    }
}

void DaServer::Release() {
    if (!proxy_) return;
    auto proxy = std::move(proxy_);
    Guarded(kDaBusName, "Object.Release",
            [&] { proxy->callMethod("Release").onInterface(kObject); });
}

ServerStatus DaServer::GetStatus() {
    ServerStatus s;
    Guarded(kDaBusName, "IOPCServer.GetStatus", [&] {
        proxy_->callMethod("GetStatus")
            .onInterface(kServer)
            .storeResultsTo(s.startTime, s.currentTime, s.lastUpdateTime, s.serverState,
                            s.groupCount, s.bandWidth, s.majorVersion, s.minorVersion,
                            s.buildNumber, s.vendorInfo);
    });
    return s;
}

std::uint32_t DaServer::QueryOrganization() {
    std::uint32_t organization = 0;
    Guarded(kDaBusName, "IOPCBrowseServerAddressSpace.QueryOrganization", [&] {
        proxy_->callMethod("QueryOrganization").onInterface(kBrowse).storeResultsTo(organization);
    });
    return organization;
}

void DaServer::ChangeBrowsePosition(std::uint32_t direction, const std::string& name) {
    Guarded(kDaBusName, "IOPCBrowseServerAddressSpace.ChangeBrowsePosition", [&] {
        proxy_->callMethod("ChangeBrowsePosition")
            .onInterface(kBrowse)
            .withArguments(direction, name);
    });
}

std::vector<std::string> DaServer::BrowseItemIds(std::uint32_t filterType) {
    std::vector<std::string> names;
    Guarded(kDaBusName, "IOPCBrowseServerAddressSpace.BrowseOPCItemIDs", [&] {
        proxy_->callMethod("BrowseOPCItemIDs")
            .onInterface(kBrowse)
            .withArguments(filterType, std::string(), std::uint16_t{VT_EMPTY}, std::uint32_t{0})
            .storeResultsTo(names);
    });
    return names;
}

std::string DaServer::GetItemId(const std::string& name) {
    std::string itemId;
    Guarded(kDaBusName, "IOPCBrowseServerAddressSpace.GetItemID", [&] {
        proxy_->callMethod("GetItemID")
            .onInterface(kBrowse)
            .withArguments(name)
            .storeResultsTo(itemId);
    });
    return itemId;
}

std::vector<PropertyInfo> DaServer::QueryAvailableProperties(const std::string& itemId) {
    std::vector<std::uint32_t> ids;
    std::vector<std::string> descriptions;
    std::vector<std::uint16_t> types;
    Guarded(kDaBusName, "IOPCItemProperties.QueryAvailableProperties", [&] {
        proxy_->callMethod("QueryAvailableProperties")
            .onInterface(kProperties)
            .withArguments(itemId)
            .storeResultsTo(ids, descriptions, types);
    });
    std::vector<PropertyInfo> properties;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        properties.push_back({ids[i], i < descriptions.size() ? descriptions[i] : std::string(),
                              i < types.size() ? types[i] : VarType{VT_EMPTY}});
    }
    return properties;
}

std::vector<PropertyValue> DaServer::GetItemProperties(const std::string& itemId,
                                                       const std::vector<std::uint32_t>& ids) {
    std::vector<BusVariant> data;
    std::vector<std::int32_t> errors;
    Guarded(kDaBusName, "IOPCItemProperties.GetItemProperties", [&] {
        proxy_->callMethod("GetItemProperties")
            .onInterface(kProperties)
            .withArguments(itemId, ids)
            .storeResultsTo(data, errors);
    });
    std::vector<PropertyValue> values;
    for (std::size_t i = 0; i < data.size(); ++i) {
        values.push_back({FromBus(data[i]), i < errors.size() ? errors[i] : 0});
    }
    return values;
}

GroupCreated DaServer::AddGroup(const std::string& name, bool active, std::uint32_t updateRate,
                                std::uint32_t clientGroup) {
    GroupCreated group;
    sdbus::ObjectPath path;
    Guarded(kDaBusName, "IOPCServer.AddGroup", [&] {
        proxy_->callMethod("AddGroup")
            .onInterface(kServer)
            .withArguments(name, active, updateRate, clientGroup, false, std::int32_t{0}, false,
                           0.0, std::uint32_t{0x0800})
            .storeResultsTo(group.result, path, group.serverHandle, group.revisedUpdateRate);
    });
    group.path = path;
    return group;
}

void DaServer::RemoveGroup(std::uint32_t serverHandle) {
    Guarded(kDaBusName, "IOPCServer.RemoveGroup", [&] {
        proxy_->callMethod("RemoveGroup").onInterface(kServer).withArguments(serverHandle, false);
    });
}

std::uint32_t DaServer::Advise(const std::string& sinkInterface, const std::string& sinkPath) {
    return AdviseSink(*proxy_, kDaBusName, sinkInterface, sinkPath);
}

void DaServer::Unadvise(const std::string& sinkInterface, std::uint32_t cookie) {
    UnadviseSink(*proxy_, kDaBusName, sinkInterface, cookie);
}

std::vector<DeviceMonitorEntry> DaServer::GetDeviceMonitor() {
    std::vector<MonitorDevice> devices;
    Guarded(kDaBusName, "IDeviceMonitor.GetDeviceMonitor", [&] {
        proxy_->callMethod("GetDeviceMonitor").onInterface(kDeviceMonitor).storeResultsTo(devices);
    });
    std::vector<DeviceMonitorEntry> entries;
    for (const MonitorDevice& device : devices) {
        DeviceMonitorEntry entry{
            device.get<0>(), device.get<1>(), device.get<2>(), device.get<3>(), {}};
        for (const MonitorRow& row : device.get<4>()) {
            entry.rows.push_back(
                {row.get<0>(), row.get<1>(), row.get<2>(), row.get<3>(), row.get<4>()});
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

}  // namespace velk::client
