#include "opcae/bus/ae_subscription_bus_object.h"

#include <functional>

#include "core/trace_file.h"
#include "opc/bus/argument_limits.h"
#include "opc/bus/connection_point_container.h"
#include "opcae/bus/ae_bus_names.h"
#include "opcae/bus/ae_bus_values.h"
#include "opcae/bus/remote_event_sink.h"
#include "platform/dbus/bus_call_arguments.h"

namespace velk {

using namespace aebus;

AeSubscriptionBusObject::AeSubscriptionBusObject(std::shared_ptr<OPCEventSubscription> subscription,
                                                 std::weak_ptr<OPCEventServer> owner,
                                                 std::shared_ptr<BusSinkChannel> sinks,
                                                 std::shared_ptr<SinkCallWindow> queue,
                                                 std::shared_ptr<void> quotaSlot)
    : subscription_(std::move(subscription)),
      owner_(std::move(owner)),
      sinks_(std::move(sinks)),
      queue_(std::move(queue)),
      quotaSlot_(std::move(quotaSlot)) {}

AeSubscriptionBusObject::~AeSubscriptionBusObject() {
    if (auto owner = owner_.lock()) owner->ReleaseSubscription(subscription_.get());
}

std::vector<BusInterface> AeSubscriptionBusObject::Interfaces() {
    OPCEventSubscription& s = *subscription_;
    BusInterface mgt{
        kIOPCEventSubscriptionMgt,
        {{"SetFilter",
          "uauuuasas",
          {"eventTypes", "categories", "lowSeverity", "highSeverity", "areas", "sources"},
          "i",
          {"hresult"},
          [this](BusCall& c) { return SetFilter(c); }},
         {"GetFilter",
          "",
          {},
          "uauuuasas",
          {"eventTypes", "categories", "lowSeverity", "highSeverity", "areas", "sources"},
          [this](BusCall&) { return GetFilter(); }},
         {"SelectReturnedAttributes",
          "uau",
          {"category", "attributeIds"},
          "",
          {},
          [this](BusCall& c) { return SelectReturnedAttributes(c); }},
         {"GetReturnedAttributes",
          "u",
          {"category"},
          "au",
          {"attributeIds"},
          [this](BusCall& c) { return GetReturnedAttributes(c); }},
         {"Refresh",
          "u",
          {"connection"},
          "",
          {},
          [&s](BusCall& c) { return ReplyOf(s.Refresh(UInt32Arg(c, 0))); }},
         {"CancelRefresh",
          "u",
          {"connection"},
          "",
          {},
          [&s](BusCall& c) { return ReplyOf(s.CancelRefresh(UInt32Arg(c, 0))); },
          // It must reach the client's Refresh while that runs.
          true},
         {"GetState",
          "",
          {},
          "buuu",
          {"active", "bufferTime", "maxSize", "clientHandle"},
          [this](BusCall&) { return GetState(); }},
         {"SetState",
          "abauauu",
          {"active", "bufferTime", "maxSize", "clientHandle"},
          "iuu",
          {"hresult", "revisedBufferTime", "revisedMaxSize"},
          [this](BusCall& c) { return SetState(c); }}}};
    BusInterface mgt2{kIOPCEventSubscriptionMgt2,
                      {{"SetKeepAlive",
                        "u",
                        {"keepAliveTime"},
                        "iu",
                        {"hresult", "revisedKeepAliveTime"},
                        [this](BusCall& c) { return SetKeepAlive(c); }},
                       {"GetKeepAlive", "", {}, "u", {"keepAliveTime"}, [&s](BusCall&) {
                            std::uint32_t time = 0;
                            const HRESULT r = s.GetKeepAlive(&time);
                            return ReplyOf(r, {BusValue::UInt32(time)});
                        }}}};
    BusInterface points = ConnectionPointContainer(
        {kIOPCEventSink, "IOPCEventSink", std::bind_front(&AeSubscriptionBusObject::Advise, this),
         std::bind_front(&AeSubscriptionBusObject::Unadvise, this)});
    return WithArgumentLimits({std::move(mgt), std::move(mgt2), std::move(points)});
}

BusReply AeSubscriptionBusObject::SetFilter(BusCall& call) {
    const std::vector<std::uint32_t> categories = UInt32List(call.arguments[1]);
    const std::vector<std::string> areas = StringList(call.arguments[4]);
    const std::vector<std::string> sources = StringList(call.arguments[5]);
    const HRESULT r = subscription_->SetFilter(
        UInt32Arg(call, 0), static_cast<std::uint32_t>(categories.size()), ArrayOf(categories),
        UInt32Arg(call, 2), UInt32Arg(call, 3), static_cast<std::uint32_t>(areas.size()),
        ArrayOf(areas), static_cast<std::uint32_t>(sources.size()), ArrayOf(sources));
    return ReplyOf(r, {BusValue::Int32(r)});
}

BusReply AeSubscriptionBusObject::GetFilter() {
    std::uint32_t types = 0, low = 0, high = 0;
    std::vector<std::uint32_t> categories;
    std::vector<std::string> areas, sources;
    const HRESULT r = subscription_->GetFilter(&types, &categories, &low, &high, &areas, &sources);
    return ReplyOf(
        r, {BusValue::UInt32(types), BusValue::UInt32Array(categories), BusValue::UInt32(low),
            BusValue::UInt32(high), BusValue::StringArray(areas), BusValue::StringArray(sources)});
}

BusReply AeSubscriptionBusObject::SelectReturnedAttributes(BusCall& call) {
    const std::vector<std::uint32_t> ids = UInt32List(call.arguments[1]);
    return ReplyOf(subscription_->SelectReturnedAttributes(
        UInt32Arg(call, 0), static_cast<std::uint32_t>(ids.size()), ArrayOf(ids)));
}

BusReply AeSubscriptionBusObject::GetReturnedAttributes(BusCall& call) {
    std::vector<std::uint32_t> ids;
    const HRESULT r = subscription_->GetReturnedAttributes(UInt32Arg(call, 0), &ids);
    return ReplyOf(r, {BusValue::UInt32Array(ids)});
}

BusReply AeSubscriptionBusObject::GetState() {
    bool active = false;
    std::uint32_t bufferTime = 0, maxSize = 0, clientHandle = 0;
    const HRESULT r = subscription_->GetState(&active, &bufferTime, &maxSize, &clientHandle);
    return ReplyOf(r, {BusValue::Bool(active), BusValue::UInt32(bufferTime),
                       BusValue::UInt32(maxSize), BusValue::UInt32(clientHandle)});
}

BusReply AeSubscriptionBusObject::SetState(BusCall& call) {
    // An empty list leaves the value as it is, as a null pointer does.
    const BusValue::Items& activeList = call.arguments[0].Children();
    const std::vector<std::uint32_t> bufferList = UInt32List(call.arguments[1]);
    const std::vector<std::uint32_t> sizeList = UInt32List(call.arguments[2]);
    const bool active = !activeList.empty() && *activeList[0].Get<bool>();
    std::uint32_t revisedTime = 0, revisedSize = 0;
    const HRESULT r = subscription_->SetState(activeList.empty() ? nullptr : &active,
                                              bufferList.empty() ? nullptr : bufferList.data(),
                                              sizeList.empty() ? nullptr : sizeList.data(),
                                              UInt32Arg(call, 3), &revisedTime, &revisedSize);
    return ReplyOf(
        r, {BusValue::Int32(r), BusValue::UInt32(revisedTime), BusValue::UInt32(revisedSize)});
}

BusReply AeSubscriptionBusObject::SetKeepAlive(BusCall& call) {
    std::uint32_t revised = 0;
    const HRESULT r = subscription_->SetKeepAlive(UInt32Arg(call, 0), &revised);
    return ReplyOf(r, {BusValue::Int32(r), BusValue::UInt32(revised)});
}

BusReply AeSubscriptionBusObject::Advise(const std::string& sinkPath) {
    std::uint32_t cookie = 0;
    const HRESULT r =
        subscription_->Advise(std::make_shared<RemoteEventSink>(queue_, sinkPath), &cookie);
    return ReplyOf(r, {BusValue::UInt32(cookie)});
}

BusReply AeSubscriptionBusObject::Unadvise(std::uint32_t cookie) {
    return ReplyOf(subscription_->Unadvise(cookie));
}

}  // namespace velk
