#include "opcae/opc_event_subscription.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "core/trace_file.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/o_device.h"
#include "opc/opc_call_trace.h"
#include "opc/opc_result.h"
#include "opcae/match_pattern.h"
#include "platform/clock.h"

namespace velk {

using opc_calls::Traced;

namespace {

constexpr const char* kMgt = "Called IOPCEventSubscriptionMgt::";
constexpr const char* kMgt2 = "Called IOPCEventSubscriptionMgt2::";
constexpr std::uint32_t kBacklogPauseMs = 10;
constexpr std::uint32_t kZeroBufferActiveWaitMs = 10;
constexpr std::uint32_t kZeroBufferInactiveWaitMs = 1000;
constexpr auto kStopWait = std::chrono::milliseconds(5000);

const AeEventSpace& SpaceOf(const AeServerContext& context) {
    return context.eventSpace ? *context.eventSpace : context.document->EventSpace();
}

}  // namespace

std::uint32_t OPCEventSubscription::ReviseBufferTime(std::uint32_t requested) {
    return requested == 0 ? kDefaultBufferTime : requested;
}

std::uint32_t OPCEventSubscription::ReviseMaxSize(std::uint32_t requested) {
    return (requested == 0 || requested >= kMaxEventsPerCall) ? kMaxEventsPerCall : requested;
}

OPCEventSubscription::OPCEventSubscription(const AeServerContext& context,
                                           std::shared_ptr<std::atomic<FileTime>> ownerLastUpdate,
                                           bool active, std::uint32_t bufferTime,
                                           std::uint32_t maxSize, std::uint32_t clientHandle)
    : context_(context),
      ownerLastUpdate_(std::move(ownerLastUpdate)),
      space_(SpaceOf(context)),
      active_(active),
      bufferTime_(ReviseBufferTime(bufferTime)),
      maxSize_(ReviseMaxSize(maxSize)),
      clientHandle_(clientHandle),
      capacity_(std::max<std::size_t>(context.subscriptionQueueCapacity, 1)) {
    if (!ownerLastUpdate_) ownerLastUpdate_ = std::make_shared<std::atomic<FileTime>>(0);
    running_ = true;
    if (context_.startDeliveryThreads && context_.deliveryPool) {
        delivery_ = context_.deliveryPool->Register(
            [this] { return std::chrono::milliseconds(DeliverOnce()); });
        deliveryRefused_ = delivery_ == nullptr;
    }
    Trace("OPC AE subscription object created");
}

OPCEventSubscription::~OPCEventSubscription() {
    StopDelivery();
    {
        std::lock_guard lock(queueLock_);
        queue_.clear();
    }
    connections_.Clear();
    Trace("OPC AE subscription object destroyed");
}

// --- delivery passes ------------------------------------------------------------------

void OPCEventSubscription::StopDelivery() {
    running_ = false;
    std::unique_ptr<TimedPassPool::Registration> delivery;
    {
        std::lock_guard lock(deliveryLock_);
        delivery.swap(delivery_);
    }
    if (!delivery) return;
    if (!delivery->Cancel(kStopWait)) {
        // The pass is inside a client call; its state lives in this object, so the object
        // must not go before the pass has returned.
        Trace("OPC AE subscription waits for its delivery thread");
        delivery->WaitIdle();
    }
}

std::uint32_t OPCEventSubscription::DeliverOnce() {
    const std::uint32_t t0 = context_.clock->TickCount();
    const bool active = active_.load();
    const std::uint32_t maxSize = maxSize_.load();
    std::size_t n = 0;
    if (active) {
        std::lock_guard lock(queueLock_);
        const std::size_t length = queue_.size();
        n = std::min<std::size_t>(length, maxSize);
        if (length > maxSize)
            backlog_ += maxSize;
        else
            backlog_ = 0;
    }
    const std::uint32_t keepAlive = keepAlive_.load();
    if (n != 0 || keepAlive != 0) {
        Filter filter;
        {
            std::lock_guard lock(filterLock_);
            filter = filter_;
        }
        const AeEventBuilder builder = Builder();
        std::vector<OnEventStruct> events;
        events.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            std::unique_ptr<BEvent> record;
            {
                std::lock_guard lock(queueLock_);
                if (queue_.empty()) break;
                record = std::move(queue_.front());
                queue_.pop_front();
                if (queue_.empty()) overflowing_ = false;
            }
            OnEventStruct event;
            if (BuildForDelivery(*record, filter, builder, event))
                events.push_back(std::move(event));
        }
        if (!events.empty() || keepAlive != 0) {
            const std::uint32_t handle = clientHandle_.load();
            for (const auto& sink : connections_.Sinks())
                sink->OnEvent(handle, false, false, events);
            TouchOwner();
        }
    }
    // The wait before the next pass.
    const std::uint32_t bufferTime = bufferTime_.load();
    const std::uint32_t now = context_.clock->TickCount();
    std::uint32_t elapsed = now >= t0 ? now - t0 : 0;
    if (elapsed > bufferTime) elapsed = 0;
    if (active) {
        if (backlog_ >= kMaxEventsPerCall) {
            backlog_ = 0;
            return kBacklogPauseMs;
        }
        if (backlog_ != 0) return 0;
        return bufferTime == 0 ? kZeroBufferActiveWaitMs : bufferTime - elapsed;
    }
    return bufferTime == 0 ? kZeroBufferInactiveWaitMs : bufferTime - elapsed;
}

bool OPCEventSubscription::BuildForDelivery(const BEvent& record, const Filter& filter,
                                            const AeEventBuilder& builder,
                                            OnEventStruct& out) const {
    BuiltEvent built;
    {
        // The record's tag or device alarm is read as the evaluation leaves it.
        std::lock_guard tagData(context_.document->Locks().tagData);
        if (!builder.FromRecord(record, built)) return false;
    }
    return BuildFiltered(built, filter, out);
}

bool OPCEventSubscription::BuildFiltered(BuiltEvent& built, const Filter& filter,
                                         OnEventStruct& out) const {
    std::string matched;
    // Filter test on a snapshot of the filter.
    if ((filter.eventTypes & OPC_CONDITION_EVENT) == 0) return false;
    if (filter.categories != 0 && (filter.categories & built.event.eventCategory) == 0)
        return false;
    if (built.event.severity < filter.low || built.event.severity > filter.high) return false;
    if (!filter.areas.empty()) {
        auto it = std::find_if(filter.areas.begin(), filter.areas.end(),
                               [&](const std::string& p) { return MatchPattern(built.area, p); });
        if (it == filter.areas.end()) return false;
        matched = *it;
    }
    AeEventBuilder::AddAttributes(built, AttributeIds(filter, built.categoryIndex),
                                  filter.areas.empty() ? nullptr : &matched);
    out = std::move(built.event);
    return true;
}

std::vector<std::uint32_t> OPCEventSubscription::AttributeIds(const Filter& filter,
                                                              int categoryIndex) const {
    std::vector<std::uint32_t> ids;
    if (categoryIndex < 0 || static_cast<std::size_t>(categoryIndex) >= kCategoryCount) return ids;
    const auto& attributes = space_.Attributes();
    for (std::uint32_t index : filter.attributes[static_cast<std::size_t>(categoryIndex)])
        if (index < attributes.size()) ids.push_back(attributes[index].id);
    return ids;
}

AeEventBuilder OPCEventSubscription::Builder() const {
    return AeEventBuilder(space_,
                          context_.document ? context_.document->Settings() : ModelSettings{});
}

FileTime OPCEventSubscription::Now() const { return context_.clock->NowUtc(); }

void OPCEventSubscription::TouchOwner() { ownerLastUpdate_->store(Now()); }

// --- queue ----------------------------------------------------------------------------

void OPCEventSubscription::AppendLocked(std::unique_ptr<BEvent> record) {
    if (queue_.size() >= capacity_) {
        queue_.pop_front();
        ++dropped_;
        if (!overflowing_) {
            overflowing_ = true;
            Trace("OPC AE subscription queue full: the oldest events are dropped");
        }
    }
    queue_.push_back(std::move(record));
}

void OPCEventSubscription::Enqueue(const BEvent& record) {
    auto copy = std::make_unique<BEvent>(record);
    std::lock_guard lock(queueLock_);
    AppendLocked(std::move(copy));
}

std::size_t OPCEventSubscription::QueueLength() const {
    std::lock_guard lock(queueLock_);
    return queue_.size();
}

// --- connections ----------------------------------------------------------------------

HRESULT OPCEventSubscription::Advise(std::shared_ptr<IOPCEventSink> sink, std::uint32_t* cookie) {
    const char* text = "Called IConnectionPoint<IOPCEventSink>::Advise";
    if (cookie == nullptr || !sink) {
        TraceResult(text, E_INVALIDARG, true);
        return E_INVALIDARG;
    }
    *cookie = connections_.Add(std::move(sink));
    TraceResult(text, S_OK, true);
    return S_OK;
}

HRESULT OPCEventSubscription::Unadvise(std::uint32_t cookie) {
    const HRESULT result = connections_.Remove(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
    TraceResult("Called IConnectionPoint<IOPCEventSink>::Unadvise", result, true);
    return result;
}

// --- filter ---------------------------------------------------------------------------

HRESULT OPCEventSubscription::SetFilter(std::uint32_t eventTypes, std::uint32_t categoryCount,
                                        const std::uint32_t* categories, std::uint32_t lowSeverity,
                                        std::uint32_t highSeverity, std::uint32_t areaCount,
                                        const std::string* areas, std::uint32_t sourceCount,
                                        const std::string* sources) {
    const bool typesOk = eventTypes != 0 && (eventTypes & ~kAllEventTypes) == 0;
    if (!typesOk || categories == nullptr || areas == nullptr || sources == nullptr ||
        lowSeverity < 1 || highSeverity > 1000 || highSeverity < lowSeverity)
        return Traced(kMgt, "SetFilter", E_INVALIDARG);

    std::string description =
        "     Event type filter: " + std::to_string(static_cast<std::int32_t>(eventTypes));
    HRESULT result = S_OK;
    std::uint32_t categoryBits = 0;
    if (categoryCount != 0) {
        description += "\r\n     Category filters: ";
        for (std::uint32_t i = 0; i < categoryCount; ++i) {
            if (space_.CategoryIndex(categories[i]) < 0) {
                result = E_INVALIDARG;
                continue;
            }
            categoryBits |= categories[i];
            description += std::to_string(static_cast<std::int32_t>(categories[i])) + "  ";
        }
    }
    description += "\r\n     Area filters: ";
    for (std::uint32_t i = 0; i < areaCount; ++i) description += areas[i] + "  ";
    if (sourceCount != 0) {
        description += "\r\n     Source filters: ";
        for (std::uint32_t i = 0; i < sourceCount; ++i) description += sources[i] + "  ";
        if (result == S_OK) result = S_FALSE;
    }
    description +=
        "\r\n     Severity filters: " + std::to_string(static_cast<std::int32_t>(lowSeverity)) +
        "  " + std::to_string(static_cast<std::int32_t>(highSeverity));
    {
        std::lock_guard lock(filterLock_);
        // The areas are taken even when the call then fails.
        filter_.areas.assign(areas, areas + areaCount);
        if (result == S_OK) {
            filter_.eventTypes = eventTypes;
            filter_.categories = categoryBits;
            filter_.low = lowSeverity;
            filter_.high = highSeverity;
        }
    }
    Trace(description);
    return Traced(kMgt, "SetFilter", result);
}

HRESULT OPCEventSubscription::GetFilter(std::uint32_t* eventTypes,
                                        std::vector<std::uint32_t>* categories,
                                        std::uint32_t* lowSeverity, std::uint32_t* highSeverity,
                                        std::vector<std::string>* areas,
                                        std::vector<std::string>* sources) const {
    if (!eventTypes || !categories || !lowSeverity || !highSeverity || !areas || !sources)
        return Traced(kMgt, "GetFilter", E_INVALIDARG);
    std::lock_guard lock(filterLock_);
    *eventTypes = filter_.eventTypes;
    categories->clear();
    for (const auto& category : space_.Categories())
        if (filter_.categories & category.id) categories->push_back(category.id);
    *lowSeverity = filter_.low;
    *highSeverity = filter_.high;
    *areas = filter_.areas;
    sources->clear();
    return Traced(kMgt, "GetFilter", S_OK);
}

HRESULT OPCEventSubscription::SelectReturnedAttributes(std::uint32_t category, std::uint32_t count,
                                                       const std::uint32_t* attributeIds) {
    const int index = space_.CategoryIndex(category);
    if (index < 0 || static_cast<std::size_t>(index) >= kCategoryCount || attributeIds == nullptr)
        return Traced(kMgt, "SelectReturnedAttributes", E_INVALIDARG);
    const AeCategory& entry = space_.Categories()[static_cast<std::size_t>(index)];
    if (count > entry.attributeIds.size())
        return Traced(kMgt, "SelectReturnedAttributes", E_INVALIDARG);
    const auto& attributes = space_.Attributes();
    std::vector<bool> selected(attributes.size(), false);
    HRESULT result = S_OK;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t id = attributeIds[i];
        const bool inCategory = std::find(entry.attributeIds.begin(), entry.attributeIds.end(),
                                          id) != entry.attributeIds.end();
        auto at = std::find_if(attributes.begin(), attributes.end(),
                               [&](const AeAttribute& a) { return a.id == id; });
        if (!inCategory || at == attributes.end()) {
            result = E_INVALIDARG;
            continue;
        }
        selected[static_cast<std::size_t>(at - attributes.begin())] = true;
    }
    std::vector<std::uint32_t> indexes;
    for (std::uint32_t i = 0; i < selected.size(); ++i)
        if (selected[i]) indexes.push_back(i);
    {
        std::lock_guard lock(filterLock_);
        filter_.attributes[static_cast<std::size_t>(index)] = std::move(indexes);
    }
    return Traced(kMgt, "SelectReturnedAttributes", result);
}

HRESULT OPCEventSubscription::GetReturnedAttributes(
    std::uint32_t category, std::vector<std::uint32_t>* attributeIds) const {
    const int index = space_.CategoryIndex(category);
    if (index < 0 || static_cast<std::size_t>(index) >= kCategoryCount || attributeIds == nullptr)
        return Traced(kMgt, "GetReturnedAttributes", E_INVALIDARG);
    std::lock_guard lock(filterLock_);
    *attributeIds = AttributeIds(filter_, index);
    return Traced(kMgt, "GetReturnedAttributes", S_OK);
}

// --- state ----------------------------------------------------------------------------

HRESULT OPCEventSubscription::GetState(bool* active, std::uint32_t* bufferTime,
                                       std::uint32_t* maxSize, std::uint32_t* clientHandle) const {
    if (active) *active = active_.load();
    if (bufferTime) *bufferTime = bufferTime_.load();
    if (maxSize) *maxSize = maxSize_.load();
    if (clientHandle) *clientHandle = clientHandle_.load();
    return Traced(kMgt, "GetState", S_OK);
}

HRESULT OPCEventSubscription::SetState(const bool* active, const std::uint32_t* bufferTime,
                                       const std::uint32_t* maxSize, std::uint32_t clientHandle,
                                       std::uint32_t* revisedBufferTime,
                                       std::uint32_t* revisedMaxSize) {
    HRESULT result = S_OK;
    if (active) active_ = *active;
    if (bufferTime) bufferTime_ = *bufferTime;
    if (maxSize) {
        const std::uint32_t revised = ReviseMaxSize(*maxSize);
        maxSize_ = revised;
        if (revised != *maxSize) result = OPC_S_INVALIDMAXSIZE;
    }
    clientHandle_ = clientHandle;
    if (revisedBufferTime) {
        *revisedBufferTime = bufferTime_.load();
        TraceResult("OPCEventSubscription::SetState(...) -> [out] pdwRevisedBufferTime as",
                    static_cast<std::int32_t>(*revisedBufferTime), false);
    }
    if (revisedMaxSize) {
        *revisedMaxSize = maxSize_.load();
        TraceResult("OPCEventSubscription::SetState(...) -> [out] pdwRevisedMaxSize as",
                    static_cast<std::int32_t>(*revisedMaxSize), false);
    }
    return Traced(kMgt, "SetState", result);
}

HRESULT OPCEventSubscription::SetKeepAlive(std::uint32_t keepAliveTime, std::uint32_t* revised) {
    const std::uint32_t stored = std::max(keepAliveTime, bufferTime_.load());
    keepAlive_ = stored;
    if (revised == nullptr) return Traced(kMgt2, "SetKeepAlive", E_INVALIDARG);
    *revised = stored;
    return Traced(kMgt2, "SetKeepAlive",
                  stored != keepAliveTime ? OPC_S_INVALIDKEEPALIVETIME : S_OK);
}

HRESULT OPCEventSubscription::GetKeepAlive(std::uint32_t* keepAliveTime) const {
    if (keepAliveTime == nullptr) return Traced(kMgt2, "GetKeepAlive", E_INVALIDARG);
    *keepAliveTime = keepAlive_.load();
    return Traced(kMgt2, "GetKeepAlive", S_OK);
}

// --- refresh --------------------------------------------------------------------------

void OPCEventSubscription::QueueDeviceConditions() {
    if (context_.document == nullptr) return;
    for (ODevice* device : context_.document->Devices()) {
        for (std::uint16_t code = kAlarmPort1; code <= kAlarmBufferOverrun; ++code) {
            auto record = std::make_unique<BEvent>();
            {
                std::lock_guard tagData(context_.document->Locks().tagData);
                const bool present = code == kAlarmBufferOverrun
                                         ? device->overrunState != 0
                                         : (device->statusBits & code) == code;
                if (!present) continue;
                const ODeviceAlarm& alarm = *device->AlarmOfCode(code);
                record->code = code;
                record->active = 1;
                record->device = device;
                record->eventTime = alarm.acknowledgeState == kAckStateAcknowledged
                                        ? alarm.acknowledgeTime
                                        : alarm.activeTime;
                record->activeTime = alarm.activeTime;
            }
            std::lock_guard lock(queueLock_);
            AppendLocked(std::move(record));
        }
    }
}

HRESULT OPCEventSubscription::Refresh(std::uint32_t connection) {
    refreshCancel_ = false;
    const std::shared_ptr<IOPCEventSink> sink = connections_.Find(connection);
    if (!sink) return Traced(kMgt, "Refresh", E_INVALIDARG);
    QueueDeviceConditions();

    Filter filter;
    {
        std::lock_guard lock(filterLock_);
        filter = filter_;
    }
    const std::uint32_t maxSize = maxSize_.load();
    const std::uint32_t handle = clientHandle_.load();
    const AeEventBuilder builder = Builder();
    std::vector<OnEventStruct> events;
    try {
        events.reserve(maxSize);
    } catch (const std::bad_alloc&) {
        return Traced(kMgt, "Refresh", E_OUTOFMEMORY);
    }
    if (context_.document != nullptr) {
        for (OModbusTag* tag : context_.document->documentTagList) {
            if (refreshCancel_) break;
            BuiltEvent built;
            {
                std::lock_guard tagData(context_.document->Locks().tagData);
                if (!builder.FromTagCondition(*tag, built)) continue;
            }
            OnEventStruct event;
            if (!BuildFiltered(built, filter, event)) continue;
            events.push_back(std::move(event));
            if (events.size() >= maxSize) {
                sink->OnEvent(handle, true, false, events);
                events.clear();
            }
        }
    }
    if (!events.empty()) sink->OnEvent(handle, true, false, events);
    sink->OnEvent(handle, true, true, {});
    refreshCancel_ = false;
    TouchOwner();
    return Traced(kMgt, "Refresh", S_OK);
}

HRESULT OPCEventSubscription::CancelRefresh(std::uint32_t /*connection*/) {
    refreshCancel_ = true;
    return Traced(kMgt, "CancelRefresh", S_OK);
}

}  // namespace velk
