#include "opcae/bus/ae_server_bus_object.h"

#include <functional>

#include "core/trace_file.h"
#include "opc/bus/argument_limits.h"
#include "opc/bus/common_bus_interface.h"
#include "opc/bus/connection_point_container.h"
#include "opc/bus/remote_shutdown_sink.h"
#include "opcae/bus/ae_area_browser_bus_object.h"
#include "opcae/bus/ae_bus_names.h"
#include "opcae/bus/ae_bus_values.h"
#include "opcae/bus/ae_subscription_bus_object.h"
#include "opcae/opc_event_area_browser.h"
#include "opcae/opc_event_subscription.h"
#include "platform/dbus/bus_call_arguments.h"

namespace velk {

using namespace aebus;

namespace {

bool SubscriptionAnswers(const std::string& interface) {
    return interface.empty() || interface == "VELK.Object" ||
           interface == kIOPCEventSubscriptionMgt || interface == kIOPCEventSubscriptionMgt2 ||
           interface == kConnectionPointContainerInterface;
}

}  // namespace

AeServerBusObject::AeServerBusObject(std::shared_ptr<OPCEventServer> server,
                                     std::shared_ptr<BusSinkChannel> sinks,
                                     std::shared_ptr<SinkCallWindow> queue,
                                     std::shared_ptr<ClientQuota> subscriptions,
                                     std::shared_ptr<void> place)
    : server_(std::move(server)),
      sinks_(std::move(sinks)),
      queue_(std::move(queue)),
      subscriptions_(std::move(subscriptions)),
      place_(std::move(place)) {}

std::vector<BusInterface> AeServerBusObject::Interfaces() {
    OPCEventServer& s = *server_;
    BusInterface server{
        kIOPCEventServer,
        {{"GetStatus",
          "",
          {},
          "tttuqqqs",
          {"startTime", "currentTime", "lastUpdateTime", "serverState", "majorVersion",
           "minorVersion", "buildNumber", "vendorInfo"},
          [this](BusCall&) { return GetStatus(); }},
         {"CreateEventSubscription",
          "buuus",
          {"active", "bufferTime", "maxSize", "clientHandle", "interface"},
          "iouu",
          {"hresult", "subscription", "revisedBufferTime", "revisedMaxSize"},
          [this](BusCall& c) { return CreateEventSubscription(c); }},
         {"QueryAvailableFilters",
          "",
          {},
          "u",
          {"filterMask"},
          [&s](BusCall&) {
              std::uint32_t mask = 0;
              const HRESULT r = s.QueryAvailableFilters(&mask);
              return ReplyOf(r, {BusValue::UInt32(mask)});
          }},
         {"QueryEventCategories",
          "u",
          {"eventTypes"},
          "auas",
          {"ids", "descriptions"},
          [this](BusCall& c) { return QueryEventCategories(c); }},
         {"QueryConditionNames",
          "u",
          {"category"},
          "as",
          {"names"},
          [this](BusCall& c) { return QueryConditionNames(c); }},
         {"QuerySubConditionNames",
          "s",
          {"condition"},
          "as",
          {"names"},
          [this](BusCall& c) { return QuerySubConditionNames(c); }},
         {"QuerySourceConditions",
          "s",
          {"source"},
          "as",
          {"names"},
          [this](BusCall& c) { return QuerySourceConditions(c); }},
         {"QueryEventAttributes",
          "u",
          {"category"},
          "auasaq",
          {"ids", "descriptions", "types"},
          [this](BusCall& c) { return QueryEventAttributes(c); }},
         {"TranslateToItemIDs",
          "sussau",
          {"source", "category", "condition", "subcondition", "attributeIds"},
          "",
          {},
          [&s](BusCall&) { return ReplyOf(s.TranslateToItemIDs()); }},
         {"GetConditionState",
          "ssau",
          {"source", "condition", "attributeIds"},
          "",
          {},
          [this](BusCall& c) { return GetConditionState(c); }},
         {"EnableConditionByArea",
          "as",
          {"areas"},
          "",
          {},
          [this](BusCall& c) { return ConditionsBy(c, &OPCEventServer::EnableConditionByArea); }},
         {"EnableConditionBySource",
          "as",
          {"sources"},
          "",
          {},
          [this](BusCall& c) { return ConditionsBy(c, &OPCEventServer::EnableConditionBySource); }},
         {"DisableConditionByArea",
          "as",
          {"areas"},
          "",
          {},
          [this](BusCall& c) { return ConditionsBy(c, &OPCEventServer::DisableConditionByArea); }},
         {"DisableConditionBySource",
          "as",
          {"sources"},
          "",
          {},
          [this](BusCall& c) {
              return ConditionsBy(c, &OPCEventServer::DisableConditionBySource);
          }},
         {"AckCondition",
          "ssa(sstu)",
          {"acknowledgerId", "comment", "conditions"},
          "ai",
          {"errors"},
          [this](BusCall& c) { return AckCondition(c); }},
         {"CreateAreaBrowser", "", {}, "o", {"browser"}, [this](BusCall& c) {
              return CreateAreaBrowser(c);
          }}}};

    BusInterface points = ConnectionPointContainer(
        {kShutdownSinkInterface, "IOPCShutdown", std::bind_front(&AeServerBusObject::Advise, this),
         std::bind_front(&AeServerBusObject::Unadvise, this)});
    return WithArgumentLimits({CommonBusInterface(s), std::move(server), std::move(points)});
}

BusReply AeServerBusObject::GetStatus() {
    OPCEventServerStatus status;
    const HRESULT r = server_->GetStatus(&status);
    return ReplyOf(r,
                   {BusValue::UInt64(status.startTime), BusValue::UInt64(status.currentTime),
                    BusValue::UInt64(status.lastUpdateTime), BusValue::UInt32(status.serverState),
                    BusValue::UInt16(status.majorVersion), BusValue::UInt16(status.minorVersion),
                    BusValue::UInt16(status.buildNumber), BusValue::String(status.vendorInfo)});
}

BusReply AeServerBusObject::CreateEventSubscription(BusCall& call) {
    // A subscription that would not answer for the requested interface is not made; the call
    // is traced with the error the client gets.
    if (!SubscriptionAnswers(TextArg(call, 4))) {
        TraceResult("Called IOPCEventServer::CreateEventSubscription", E_NOINTERFACE, true);
        return BusReply::Fail(E_NOINTERFACE, TextArg(call, 4));
    }
    // Each subscription runs a delivery thread: a client gets no more than its quota.
    std::shared_ptr<void> slot = subscriptions_->Take();
    if (!slot) return BusReply::Fail(E_OUTOFMEMORY, "subscriptions per client");
    std::shared_ptr<OPCEventSubscription> subscription;
    std::uint32_t revisedTime = 0;
    std::uint32_t revisedSize = 0;
    const HRESULT r = server_->CreateEventSubscription(BoolArg(call, 0), UInt32Arg(call, 1),
                                                       UInt32Arg(call, 2), UInt32Arg(call, 3),
                                                       &subscription, &revisedTime, &revisedSize);
    if (Failed(r)) return BusReply::Fail(r);
    const std::string path = call.scope.ExportChild(
        "Subscription", std::make_unique<AeSubscriptionBusObject>(subscription, server_, sinks_,
                                                                  queue_, std::move(slot)));
    if (path.empty()) {
        server_->ReleaseSubscription(subscription.get());
        return BusReply::Fail(E_FAIL);
    }
    return ReplyOf(r, {BusValue::Int32(r), BusValue::ObjectPath(path),
                       BusValue::UInt32(revisedTime), BusValue::UInt32(revisedSize)});
}

BusReply AeServerBusObject::QueryEventCategories(BusCall& call) {
    std::vector<std::uint32_t> ids;
    std::vector<std::string> descriptions;
    const HRESULT r = server_->QueryEventCategories(UInt32Arg(call, 0), &ids, &descriptions);
    return ReplyOf(r, {BusValue::UInt32Array(ids), BusValue::StringArray(descriptions)});
}

BusReply AeServerBusObject::QueryConditionNames(BusCall& call) {
    std::vector<std::string> names;
    const HRESULT r = server_->QueryConditionNames(UInt32Arg(call, 0), &names);
    return ReplyOf(r, {BusValue::StringArray(names)});
}

BusReply AeServerBusObject::QuerySubConditionNames(BusCall& call) {
    std::vector<std::string> names;
    const HRESULT r = server_->QuerySubConditionNames(TextArg(call, 0).c_str(), &names);
    return ReplyOf(r, {BusValue::StringArray(names)});
}

BusReply AeServerBusObject::QuerySourceConditions(BusCall& call) {
    std::vector<std::string> names;
    const HRESULT r = server_->QuerySourceConditions(TextArg(call, 0).c_str(), &names);
    return ReplyOf(r, {BusValue::StringArray(names)});
}

BusReply AeServerBusObject::QueryEventAttributes(BusCall& call) {
    std::vector<std::uint32_t> ids;
    std::vector<std::string> descriptions;
    std::vector<std::uint16_t> types;
    const HRESULT r =
        server_->QueryEventAttributes(UInt32Arg(call, 0), &ids, &descriptions, &types);
    BusValue::Items typeItems;
    for (std::uint16_t t : types) typeItems.push_back(BusValue::UInt16(t));
    return ReplyOf(r, {BusValue::UInt32Array(ids), BusValue::StringArray(descriptions),
                       BusValue::Array("q", std::move(typeItems))});
}

BusReply AeServerBusObject::GetConditionState(BusCall& call) {
    const std::vector<std::uint32_t> ids = UInt32List(call.arguments[2]);
    OPCConditionState* state = nullptr;
    return ReplyOf(server_->GetConditionState(TextArg(call, 0).c_str(), TextArg(call, 1).c_str(),
                                              static_cast<std::uint32_t>(ids.size()), ArrayOf(ids),
                                              &state));
}

BusReply AeServerBusObject::ConditionsBy(BusCall& call,
                                         HRESULT (OPCEventServer::*method)(std::uint32_t,
                                                                           const std::string*)) {
    const std::vector<std::string> names = StringList(call.arguments[0]);
    return ReplyOf(((*server_).*method)(static_cast<std::uint32_t>(names.size()),
                                        names.empty() ? nullptr : names.data()));
}

BusReply AeServerBusObject::AckCondition(BusCall& call) {
    std::vector<AckConditionEntry> entries;
    for (const BusValue& item : call.arguments[2].Children()) {
        const BusValue::Items& f = item.Children();
        entries.push_back(
            {*f[0].Text(), *f[1].Text(), *f[2].Get<std::uint64_t>(), *f[3].Get<std::uint32_t>()});
    }
    std::vector<HRESULT> errors;
    const HRESULT r =
        server_->AckCondition(entries, TextArg(call, 0).c_str(), TextArg(call, 1).c_str(), &errors);
    BusValue::Items codes;
    for (HRESULT e : errors) codes.push_back(BusValue::Int32(e));
    return ReplyOf(r, {BusValue::Array("i", std::move(codes))});
}

BusReply AeServerBusObject::CreateAreaBrowser(BusCall& call) {
    std::unique_ptr<OPCEventAreaBrowser> browser;
    const HRESULT r = server_->CreateAreaBrowser(&browser);
    if (Failed(r)) return BusReply::Fail(r);
    const std::string path = call.scope.ExportChild(
        "AreaBrowser", std::make_unique<AeAreaBrowserBusObject>(std::move(browser)));
    if (path.empty()) return BusReply::Fail(E_FAIL);
    return BusReply::Ok({BusValue::ObjectPath(path)});
}

BusReply AeServerBusObject::Advise(const std::string& sinkPath) {
    std::uint32_t cookie = 0;
    const HRESULT r =
        server_->AdviseShutdown(std::make_shared<RemoteShutdownSink>(
                                    [sinks = sinks_](BusSinkCall c, BusSinkCompletion done) {
                                        sinks->Call(std::move(c), std::move(done));
                                    },
                                    sinkPath),
                                &cookie);
    return ReplyOf(r, {BusValue::UInt32(cookie)});
}

BusReply AeServerBusObject::Unadvise(std::uint32_t cookie) {
    return ReplyOf(server_->UnadviseShutdown(cookie));
}

}  // namespace velk
