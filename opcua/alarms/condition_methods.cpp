#include "opcua/alarms/condition_methods.h"

#include <algorithm>

#include "opcua/alarms/ua_alarm_ids.h"
#include "platform/clock.h"

namespace velk::ua {

ConditionMethods::ConditionMethods(IAlarmConditionAccess& access, const IClock& clock,
                                   std::uint16_t namespaceIndex,
                                   std::function<void(const UaEvent&)> events)
    : access_(access),
      clock_(clock),
      namespaceIndex_(namespaceIndex),
      events_(std::move(events)),
      eventIds_(clock.NowUtc()) {}

std::optional<ConditionSnapshot> ConditionMethods::Current(std::uint32_t cookie) {
    if (cookie == 0) return std::nullopt;
    std::optional<ConditionSnapshot> snapshot = access_.Find(cookie);
    if (!snapshot) return std::nullopt;
    std::lock_guard lock(mutex_);
    const UaSide& side = uaSide_[cookie];
    snapshot->comment = side.comment;
    snapshot->clientUserId = side.clientUserId;
    snapshot->enabled = side.enabled;
    return snapshot;
}

UaEvent ConditionMethods::Emit(ConditionSnapshot snapshot, bool send) {
    UaEvent event;
    {
        std::lock_guard lock(mutex_);
        UaSide& side = uaSide_[snapshot.cookie];
        ByteString id = eventIds_.Next();
        side.eventIds.push_back(id);
        if (side.eventIds.size() > kEventIdsPerCondition) side.eventIds.pop_front();
        event = BuildConditionEvent(snapshot, namespaceIndex_, std::move(id), clock_.NowUtc());
    }
    if (send && events_) events_(event);
    return event;
}

bool ConditionMethods::KnowsEvent(std::uint32_t cookie, const ByteString& eventId) const {
    std::lock_guard lock(mutex_);
    const auto it = uaSide_.find(cookie);
    if (it == uaSide_.end()) return false;
    const auto& ids = it->second.eventIds;
    return std::find(ids.begin(), ids.end(), eventId) != ids.end();
}

void ConditionMethods::OnConditionChange(ConditionSnapshot snapshot) {
    {
        std::lock_guard lock(mutex_);
        UaSide& side = uaSide_[snapshot.cookie];
        // An acknowledgement names its acknowledger, from UA, AE or the peer alike.
        if (!snapshot.clientUserId.empty()) side.clientUserId = snapshot.clientUserId;
        snapshot.clientUserId = side.clientUserId;
        snapshot.comment = side.comment;
        snapshot.enabled = side.enabled;
        if (!side.enabled) return;
    }
    Emit(std::move(snapshot), true);
}

StatusCode ConditionMethods::Acknowledge(const NodeId& condition, const ByteString& eventId,
                                         const LocalizedText& comment, const MethodCaller& caller) {
    if (caller.viewer) return kBadUserAccessDenied;
    const std::uint32_t cookie = CookieOfConditionNode(condition);
    // One acknowledgement at a time, so that two clients cannot both find the state
    // unacknowledged; the AE server's own locks are taken inside.
    std::lock_guard acknowledging(acknowledgeMutex_);
    const std::optional<ConditionSnapshot> current = Current(cookie);
    if (!current) return kBadNodeIdUnknown;
    if (!KnowsEvent(cookie, eventId)) return kBadEventIdUnknown;
    if (!current->enabled) return kBadConditionDisabled;
    if (current->acked) return kBadConditionBranchAlreadyAcked;
    {
        std::lock_guard lock(mutex_);
        UaSide& side = uaSide_[cookie];
        if (!comment.text.empty()) side.comment = comment.text;
        side.clientUserId = caller.userName;
    }
    return access_.Acknowledge(*current, caller.userName, comment.text) ? kGood : kBadInternalError;
}

StatusCode ConditionMethods::AddComment(const NodeId& condition, const ByteString& eventId,
                                        const LocalizedText& comment, const MethodCaller& caller) {
    if (caller.viewer) return kBadUserAccessDenied;
    const std::uint32_t cookie = CookieOfConditionNode(condition);
    std::optional<ConditionSnapshot> current = Current(cookie);
    if (!current) return kBadNodeIdUnknown;
    if (!KnowsEvent(cookie, eventId)) return kBadEventIdUnknown;
    if (!current->enabled) return kBadConditionDisabled;
    {
        std::lock_guard lock(mutex_);
        UaSide& side = uaSide_[cookie];
        side.comment = comment.text;
        side.clientUserId = caller.userName;
    }
    current->comment = comment.text;
    current->clientUserId = caller.userName;
    current->time = clock_.NowUtc();
    Emit(std::move(*current), true);
    return kGood;
}

StatusCode ConditionMethods::Enable(const NodeId& condition, const MethodCaller& caller) {
    if (caller.viewer) return kBadUserAccessDenied;
    std::optional<ConditionSnapshot> current = Current(CookieOfConditionNode(condition));
    if (!current) return kBadNodeIdUnknown;
    if (current->enabled) return kBadConditionAlreadyEnabled;
    {
        std::lock_guard lock(mutex_);
        uaSide_[current->cookie].enabled = true;
    }
    current->enabled = true;
    current->time = clock_.NowUtc();
    Emit(std::move(*current), true);
    return kGood;
}

StatusCode ConditionMethods::Disable(const NodeId& condition, const MethodCaller& caller) {
    if (caller.viewer) return kBadUserAccessDenied;
    std::optional<ConditionSnapshot> current = Current(CookieOfConditionNode(condition));
    if (!current) return kBadNodeIdUnknown;
    if (!current->enabled) return kBadConditionAlreadyDisabled;
    {
        std::lock_guard lock(mutex_);
        uaSide_[current->cookie].enabled = false;
    }
    // The last event of the condition tells the clients it is disabled (and not retained).
    current->enabled = false;
    current->time = clock_.NowUtc();
    Emit(std::move(*current), true);
    return kGood;
}

std::vector<UaEvent> ConditionMethods::ConditionRefresh() {
    std::vector<UaEvent> events;
    events.push_back(BuildRefreshEvent(true, eventIds_.Next(), clock_.NowUtc()));
    for (ConditionSnapshot snapshot : access_.Retained()) {
        {
            std::lock_guard lock(mutex_);
            const UaSide& side = uaSide_[snapshot.cookie];
            if (!side.enabled) continue;
            snapshot.comment = side.comment;
            snapshot.clientUserId = side.clientUserId;
        }
        events.push_back(Emit(std::move(snapshot), false));
    }
    events.push_back(BuildRefreshEvent(false, eventIds_.Next(), clock_.NowUtc()));
    return events;
}

}  // namespace velk::ua
