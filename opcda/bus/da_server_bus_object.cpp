#include "opcda/bus/da_server_bus_object.h"

#include <functional>

#include "core/trace_file.h"
#include "opc/bus/argument_limits.h"
#include "opc/bus/common_bus_interface.h"
#include "opc/bus/connection_point_container.h"
#include "opcda/bus/bus_variant.h"
#include "opcda/bus/da_group_bus_object.h"
#include "opcda/opc_server.h"
#include "platform/dbus/bus_call_arguments.h"

namespace velk {

using namespace dabus;

namespace {

constexpr const char* kServer = "VELK.OPC.IOPCServer";
constexpr const char* kBrowse = "VELK.OPC.IOPCBrowseServerAddressSpace";
constexpr const char* kItemProperties = "VELK.OPC.IOPCItemProperties";
constexpr const char* kDeviceMonitor = "VELK.Server.IDeviceMonitor";
constexpr std::uint32_t kItemIdBatch = 256;

EnumInterface EnumInterfaceOf(const std::string& name) {
    if (name == "IEnumString") return EnumInterface::String;
    if (name == "IEnumUnknown") return EnumInterface::Unknown;
    return EnumInterface::Other;
}

BusValue StringArrayOf(const std::vector<std::string>& texts) {
    return BusValue::StringArray(texts);
}

}  // namespace

DaServerBusObject::DaServerBusObject(DaBusContext context, std::shared_ptr<OPCServer> server,
                                     DeviceMonitorSource deviceMonitor)
    : context_(std::move(context)),
      server_(std::move(server)),
      deviceMonitor_(std::move(deviceMonitor)) {}

DaServerBusObject::~DaServerBusObject() {
    for (std::uint32_t cookie : shutdownCookies_) server_->UnadviseShutdown(cookie);
    context_.releases->Release(std::move(server_));
    context_.releases->Release(std::move(context_.moduleLock));
}

std::vector<BusInterface> DaServerBusObject::Interfaces() {
    return WithArgumentLimits({Server(), CommonBusInterface(*server_), Browse(), ItemProperties(),
                               ConnectionPoints(), DeviceMonitor()});
}

BusInterface DaServerBusObject::Server() {
    return {kServer,
            {{"AddGroup",
              "sbuubibdu",
              {"name", "active", "requestedUpdateRate", "hClientGroup", "hasTimeBias", "timeBias",
               "hasPercentDeadband", "percentDeadband", "lcid"},
              "iouu",
              {"hresult", "group", "hServerGroup", "revisedUpdateRate"},
              [this](BusCall& c) { return AddGroup(c); }},
             {"GetErrorString",
              "iu",
              {"error", "locale"},
              "s",
              {"text"},
              [this](BusCall& c) {
                  std::string text;
                  HRESULT hr = server_->GetErrorString(Int32Arg(c, 0), UInt32Arg(c, 1), &text);
                  return ReplyOf(hr, {BusValue::String(text)});
              }},
             {"GetGroupByName",
              "s",
              {"name"},
              "o",
              {"group"},
              [this](BusCall& c) {
                  std::shared_ptr<OPCGroup> group;
                  HRESULT hr = server_->GetGroupByName(&TextArg(c, 0), &group);
                  if (Failed(hr)) return BusReply::Fail(hr);
                  std::string path = GroupObjectPath(c.scope, context_, group);
                  if (path.empty())
                      return BusReply::Fail(E_FAIL, "the group could not be exported");
                  return BusReply::Ok({BusValue::ObjectPath(path)});
              }},
             {"GetStatus",
              "",
              {},
              "tttuuuqqqs",
              {"startTime", "currentTime", "lastUpdateTime", "serverState", "groupCount",
               "bandWidth", "majorVersion", "minorVersion", "buildNumber", "vendorInfo"},
              [this](BusCall&) { return GetStatus(); }},
             {"RemoveGroup",
              "ub",
              {"hServerGroup", "force"},
              "",
              {},
              [this](BusCall& c) {
                  return ReplyOf(server_->RemoveGroup(UInt32Arg(c, 0), BoolArg(c, 1)));
              }},
             {"CreateGroupEnumerator",
              "us",
              {"scope", "enumInterface"},
              "iasao",
              {"hresult", "names", "groups"},
              [this](BusCall& c) { return CreateGroupEnumerator(c); }}}};
}

BusReply DaServerBusObject::AddGroup(BusCall& call) {
    const std::string& name = TextArg(call, 0);
    const std::int32_t bias = Int32Arg(call, 5);
    const float deadband = static_cast<float>(DoubleArg(call, 7));
    std::shared_ptr<OPCGroup> group;
    std::uint32_t hServer = 0, revised = 0;
    HRESULT hr = server_->AddGroup(
        name.empty() ? nullptr : &name, BoolArg(call, 1), UInt32Arg(call, 2), UInt32Arg(call, 3),
        BoolArg(call, 4) ? &bias : nullptr, BoolArg(call, 6) ? &deadband : nullptr,
        UInt32Arg(call, 8), &group, &hServer, &revised);
    if (Failed(hr)) return BusReply::Fail(hr);
    std::string path = ExportGroupObject(call.scope, context_, group);
    if (path.empty()) {
        // A group the client cannot reach must not stay in its table.
        group.reset();
        server_->RemoveGroup(hServer, true);
        return BusReply::Fail(E_FAIL, "the group could not be exported");
    }
    return BusReply::Ok({BusValue::Int32(hr), BusValue::ObjectPath(path), BusValue::UInt32(hServer),
                         BusValue::UInt32(revised)});
}

BusReply DaServerBusObject::GetStatus() {
    OPCSERVERSTATUS s;
    HRESULT hr = server_->GetStatus(&s);
    return ReplyOf(hr, {BusValue::UInt64(s.startTime), BusValue::UInt64(s.currentTime),
                        BusValue::UInt64(s.lastUpdateTime), BusValue::UInt32(s.serverState),
                        BusValue::UInt32(s.groupCount), BusValue::UInt32(s.bandWidth),
                        BusValue::UInt16(s.majorVersion), BusValue::UInt16(s.minorVersion),
                        BusValue::UInt16(s.buildNumber), BusValue::String(s.vendorInfo)});
}

BusReply DaServerBusObject::CreateGroupEnumerator(BusCall& call) {
    std::vector<std::string> names;
    std::vector<std::shared_ptr<OPCGroup>> groups;
    HRESULT hr = server_->CreateGroupEnumerator(UInt32Arg(call, 0),
                                                EnumInterfaceOf(TextArg(call, 1)), &names, &groups);
    if (Failed(hr)) return BusReply::Fail(hr);
    BusValue::Items paths;
    for (auto& group : groups) {
        std::string path = GroupObjectPath(call.scope, context_, group);
        if (path.empty()) return BusReply::Fail(E_FAIL, "a group could not be exported");
        paths.push_back(BusValue::ObjectPath(path));
    }
    return ReplyWithCode(hr, {StringArrayOf(names), BusValue::Array("o", std::move(paths))});
}

BusInterface DaServerBusObject::Browse() {
    return {kBrowse,
            {{"QueryOrganization",
              "",
              {},
              "u",
              {"organization"},
              [this](BusCall&) {
                  std::uint32_t organization = 0;
                  HRESULT hr = server_->QueryOrganization(&organization);
                  return ReplyOf(hr, {BusValue::UInt32(organization)});
              }},
             {"ChangeBrowsePosition",
              "us",
              {"direction", "name"},
              "",
              {},
              [this](BusCall& c) {
                  return ReplyOf(server_->ChangeBrowsePosition(UInt32Arg(c, 0), TextArg(c, 1)));
              }},
             {"BrowseOPCItemIDs",
              "usqu",
              {"browseFilterType", "filterCriteria", "dataTypeFilter", "accessRightsFilter"},
              "as",
              {"names"},
              [this](BusCall& c) { return BrowseOPCItemIDs(c); }},
             {"GetItemID",
              "s",
              {"itemDataID"},
              "s",
              {"itemID"},
              [this](BusCall& c) {
                  std::string itemID;
                  HRESULT hr = server_->GetItemID(TextArg(c, 0), &itemID);
                  return ReplyOf(hr, {BusValue::String(itemID)});
              }},
             {"BrowseAccessPaths", "s", {"itemID"}, "as", {"accessPaths"}, [this](BusCall& c) {
                  HRESULT hr = server_->BrowseAccessPaths(TextArg(c, 0));
                  return ReplyOf(hr, {BusValue::StringArray({})});
              }}}};
}

BusReply DaServerBusObject::BrowseOPCItemIDs(BusCall& call) {
    std::unique_ptr<CEnumItemIDs> enumerator;
    HRESULT hr = server_->BrowseOPCItemIDs(UInt32Arg(call, 0), TextArg(call, 1), UInt16Arg(call, 2),
                                           UInt32Arg(call, 3), &enumerator);
    if (Failed(hr)) return BusReply::Fail(hr);
    std::vector<std::string> all;
    while (enumerator) {
        std::vector<std::string> batch;
        HRESULT next = enumerator->Next(kItemIdBatch, batch);
        all.insert(all.end(), batch.begin(), batch.end());
        if (next != S_OK || batch.empty()) break;
    }
    return BusReply::Ok({StringArrayOf(all)});
}

BusInterface DaServerBusObject::ItemProperties() {
    return {kItemProperties,
            {{"QueryAvailableProperties",
              "s",
              {"itemID"},
              "auasaq",
              {"propertyIDs", "descriptions", "dataTypes"},
              [this](BusCall& c) { return QueryAvailableProperties(c); }},
             {"GetItemProperties",
              "sau",
              {"itemID", "propertyIDs"},
              "a(qv)ai",
              {"data", "errors"},
              [this](BusCall& c) { return GetItemProperties(c); }},
             {"LookupItemIDs",
              "sau",
              {"itemID", "propertyIDs"},
              "asai",
              {"newItemIDs", "errors"},
              [this](BusCall& c) { return LookupItemIDs(c); }}}};
}

BusReply DaServerBusObject::QueryAvailableProperties(BusCall& call) {
    std::vector<ItemPropertyInfo> properties;
    HRESULT hr = server_->QueryAvailableProperties(&TextArg(call, 0), &properties);
    if (Failed(hr)) return BusReply::Fail(hr);
    std::vector<std::uint32_t> ids;
    std::vector<std::string> descriptions;
    std::vector<std::uint16_t> types;
    for (const ItemPropertyInfo& p : properties) {
        ids.push_back(p.id);
        descriptions.push_back(p.description);
        types.push_back(p.type);
    }
    return BusReply::Ok(
        {BusValue::UInt32Array(ids), StringArrayOf(descriptions), UInt16Array(types)});
}

BusReply DaServerBusObject::GetItemProperties(BusCall& call) {
    std::vector<OpcValue> values;
    std::vector<HRESULT> errors;
    HRESULT hr = server_->GetItemProperties(&TextArg(call, 0), UInt32sOf(call.arguments[1]),
                                            &values, &errors);
    if (Failed(hr)) return BusReply::Fail(hr);
    BusValue::Items data;
    for (const OpcValue& v : values) data.push_back(OpcValueToBus(v));
    return BusReply::Ok(
        {BusValue::Array(kBusVariantSignature, std::move(data)), HresultArray(errors)});
}

BusReply DaServerBusObject::LookupItemIDs(BusCall& call) {
    std::vector<std::string> newItemIDs;
    std::vector<HRESULT> errors;
    HRESULT hr = server_->LookupItemIDs(&TextArg(call, 0), UInt32sOf(call.arguments[1]),
                                        &newItemIDs, &errors);
    return ReplyOf(hr, {StringArrayOf(newItemIDs), HresultArray(errors)});
}

BusInterface DaServerBusObject::ConnectionPoints() {
    return ConnectionPointContainer({kShutdownSinkInterface, "IOPCShutdown",
                                     std::bind_front(&DaServerBusObject::Advise, this),
                                     std::bind_front(&DaServerBusObject::Unadvise, this)});
}

BusReply DaServerBusObject::Advise(const std::string& sinkPath) {
    std::uint32_t cookie = 0;
    HRESULT hr = server_->AdviseShutdown(
        std::make_shared<ShutdownClientSink>(context_.sinks, sinkPath), &cookie);
    if (Failed(hr)) return BusReply::Fail(hr);
    shutdownCookies_.insert(cookie);
    return BusReply::Ok({BusValue::UInt32(cookie)});
}

BusReply DaServerBusObject::Unadvise(std::uint32_t cookie) {
    HRESULT hr = server_->UnadviseShutdown(cookie);
    if (Succeeded(hr)) shutdownCookies_.erase(cookie);
    return ReplyOf(hr);
}

BusInterface DaServerBusObject::DeviceMonitor() {
    return {kDeviceMonitor,
            {{"GetDeviceMonitor", "", {}, "a(sbssa(suuub))", {"devices"}, [this](BusCall&) {
                  return GetDeviceMonitor();
              }}}};
}

BusReply DaServerBusObject::GetDeviceMonitor() {
    std::vector<DeviceMonitorModel> models;
    if (deviceMonitor_) models = deviceMonitor_();
    BusValue::Items devices;
    for (const DeviceMonitorModel& m : models) {
        BusValue::Items rows;
        for (const DeviceMonitorRow& r : m.rows) {
            rows.push_back(
                BusValue::Struct({BusValue::String(r.label), BusValue::UInt32(r.total),
                                  BusValue::UInt32(r.channel[0]), BusValue::UInt32(r.channel[1]),
                                  BusValue::Bool(r.totalOnly)}));
        }
        devices.push_back(BusValue::Struct(
            {BusValue::String(m.deviceName), BusValue::Bool(m.secondaryActive),
             BusValue::String(m.channelNames[0]), BusValue::String(m.channelNames[1]),
             BusValue::Array("(suuub)", std::move(rows))}));
    }
    return BusReply::Ok({BusValue::Array("(sbssa(suuub))", std::move(devices))});
}

}  // namespace velk
