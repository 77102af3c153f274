#include "tools/client/ae_server.h"

#include "tools/client/bus/bus_call_error.h"
#include "tools/client/bus/client_failure.h"
#include "tools/client/bus/connection_points.h"

namespace velk::client {
namespace {

constexpr const char* kServer = "VELK.OPC.IOPCEventServer";
constexpr const char* kMgt = "VELK.OPC.IOPCEventSubscriptionMgt";
constexpr const char* kBrowser = "VELK.OPC.IOPCEventAreaBrowser";

const std::string kName = kAeBusName;

}  // namespace

AeObject::AeObject(BusSession& session, std::string path)
    : path_(std::move(path)), proxy_(session.Proxy(kAeBusName, path_)) {}

AeObject::~AeObject() {
    try {
        Release();
    } catch (const std::exception&) {
        // The server or the bus has gone, and the object with it.
    }
}

void AeObject::Release() {
    if (!proxy_) return;
    auto proxy = std::move(proxy_);
    Guarded(kName, "Object.Release",
            [&] { proxy->callMethod("Release").onInterface("VELK.Object"); });
}

std::uint32_t AeObject::Advise(const std::string& sinkInterface, const std::string& sinkPath) {
    return AdviseSink(*proxy_, kName, sinkInterface, sinkPath);
}

void AeObject::Unadvise(const std::string& sinkInterface, std::uint32_t cookie) {
    UnadviseSink(*proxy_, kName, sinkInterface, cookie);
}

std::int32_t AeSubscription::SetFilter(std::uint32_t eventTypes,
                                       const std::vector<std::uint32_t>& categories,
                                       std::uint32_t low, std::uint32_t high,
                                       const std::vector<std::string>& areas) {
    std::int32_t result = 0;
    Guarded(kName, "IOPCEventSubscriptionMgt.SetFilter", [&] {
        Proxy()
            .callMethod("SetFilter")
            .onInterface(kMgt)
            .withArguments(eventTypes, categories, low, high, areas, std::vector<std::string>{})
            .storeResultsTo(result);
    });
    return result;
}

void AeSubscription::Refresh(std::uint32_t cookie) {
    Guarded(kName, "IOPCEventSubscriptionMgt.Refresh",
            [&] { Proxy().callMethod("Refresh").onInterface(kMgt).withArguments(cookie); });
}

void AeAreaBrowser::ChangeBrowsePosition(std::uint32_t direction, const std::string& text) {
    Guarded(kName, "IOPCEventAreaBrowser.ChangeBrowsePosition", [&] {
        Proxy()
            .callMethod("ChangeBrowsePosition")
            .onInterface(kBrowser)
            .withArguments(direction, text);
    });
}

std::vector<std::string> AeAreaBrowser::Browse(std::uint32_t browseType,
                                               const std::string& filter) {
    std::int32_t result = 0;
    std::vector<std::string> names;
    Guarded(kName, "IOPCEventAreaBrowser.BrowseOPCAreas", [&] {
        Proxy()
            .callMethod("BrowseOPCAreas")
            .onInterface(kBrowser)
            .withArguments(browseType, filter)
            .storeResultsTo(result, names);
    });
    return names;
}

std::string AeAreaBrowser::QualifiedAreaName(const std::string& area) {
    std::string name;
    Guarded(kName, "IOPCEventAreaBrowser.GetQualifiedAreaName", [&] {
        Proxy()
            .callMethod("GetQualifiedAreaName")
            .onInterface(kBrowser)
            .withArguments(area)
            .storeResultsTo(name);
    });
    return name;
}

std::string AeAreaBrowser::QualifiedSourceName(const std::string& source) {
    std::string name;
    Guarded(kName, "IOPCEventAreaBrowser.GetQualifiedSourceName", [&] {
        Proxy()
            .callMethod("GetQualifiedSourceName")
            .onInterface(kBrowser)
            .withArguments(source)
            .storeResultsTo(name);
    });
    return name;
}

AeServer::AeServer(BusSession& session) : session_(session) {
    auto factory = session.Proxy(kAeBusName, kAeFactoryPath);
    sdbus::ObjectPath path;
    try {
        Guarded(kName, "ClassFactory.CreateInstance", [&] {
            factory->callMethod("CreateInstance")
                .onInterface("VELK.ClassFactory")
                .storeResultsTo(path);
        });
    } catch (const BusCallError& error) {
        if (error.ServerMissing())
            throw ClientFailure(kExitNoServer, std::string("the server ") + kAeBusName +
                                                   " is not running on " +
                                                   session.Choice().Description());
        throw;
    }
    instance_ = std::make_unique<AeObject>(session, path);
}

std::vector<AeCategory> AeServer::QueryEventCategories(std::uint32_t eventTypes) {
    std::vector<std::uint32_t> ids;
    std::vector<std::string> descriptions;
    Guarded(kName, "IOPCEventServer.QueryEventCategories", [&] {
        instance_->Proxy()
            .callMethod("QueryEventCategories")
            .onInterface(kServer)
            .withArguments(eventTypes)
            .storeResultsTo(ids, descriptions);
    });
    std::vector<AeCategory> out;
    for (std::size_t i = 0; i < ids.size(); ++i)
        out.push_back({ids[i], i < descriptions.size() ? descriptions[i] : std::string()});
    return out;
}

std::vector<std::string> AeServer::QueryConditionNames(std::uint32_t category) {
    std::vector<std::string> names;
    Guarded(kName, "IOPCEventServer.QueryConditionNames", [&] {
        instance_->Proxy()
            .callMethod("QueryConditionNames")
            .onInterface(kServer)
            .withArguments(category)
            .storeResultsTo(names);
    });
    return names;
}

std::vector<std::string> AeServer::QuerySubConditionNames(const std::string& condition) {
    std::vector<std::string> names;
    Guarded(kName, "IOPCEventServer.QuerySubConditionNames", [&] {
        instance_->Proxy()
            .callMethod("QuerySubConditionNames")
            .onInterface(kServer)
            .withArguments(condition)
            .storeResultsTo(names);
    });
    return names;
}

std::vector<AeAttribute> AeServer::QueryEventAttributes(std::uint32_t category) {
    std::vector<std::uint32_t> ids;
    std::vector<std::string> descriptions;
    std::vector<std::uint16_t> types;
    Guarded(kName, "IOPCEventServer.QueryEventAttributes", [&] {
        instance_->Proxy()
            .callMethod("QueryEventAttributes")
            .onInterface(kServer)
            .withArguments(category)
            .storeResultsTo(ids, descriptions, types);
    });
    std::vector<AeAttribute> out;
    for (std::size_t i = 0; i < ids.size(); ++i)
        out.push_back({ids[i], i < descriptions.size() ? descriptions[i] : std::string(),
                       i < types.size() ? types[i] : std::uint16_t{0}});
    return out;
}

AeSubscriptionCreated AeServer::CreateEventSubscription(bool active, std::uint32_t bufferTime,
                                                        std::uint32_t maxSize,
                                                        std::uint32_t handle) {
    AeSubscriptionCreated created;
    sdbus::ObjectPath path;
    Guarded(kName, "IOPCEventServer.CreateEventSubscription", [&] {
        instance_->Proxy()
            .callMethod("CreateEventSubscription")
            .onInterface(kServer)
            .withArguments(active, bufferTime, maxSize, handle, std::string())
            .storeResultsTo(created.result, path, created.revisedBufferTime,
                            created.revisedMaxSize);
    });
    created.subscription = std::make_unique<AeSubscription>(session_, path);
    return created;
}

std::unique_ptr<AeAreaBrowser> AeServer::CreateAreaBrowser() {
    sdbus::ObjectPath path;
    Guarded(kName, "IOPCEventServer.CreateAreaBrowser", [&] {
        instance_->Proxy()
            .callMethod("CreateAreaBrowser")
            .onInterface(kServer)
            .storeResultsTo(path);
    });
    return std::make_unique<AeAreaBrowser>(session_, path);
}

std::vector<std::int32_t> AeServer::AckCondition(const std::string& acknowledger,
                                                 const std::string& comment,
                                                 const std::vector<AeAckEntry>& entries) {
    std::vector<sdbus::Struct<std::string, std::string, std::uint64_t, std::uint32_t>> list;
    for (const AeAckEntry& e : entries)
        list.emplace_back(e.source, e.condition, e.activeTime, e.cookie);
    std::vector<std::int32_t> errors;
    Guarded(kName, "IOPCEventServer.AckCondition", [&] {
        instance_->Proxy()
            .callMethod("AckCondition")
            .onInterface(kServer)
            .withArguments(acknowledger, comment, list)
            .storeResultsTo(errors);
    });
    return errors;
}

}  // namespace velk::client
