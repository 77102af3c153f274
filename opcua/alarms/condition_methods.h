#pragma once
// The condition methods of the UA front (Acknowledge, AddComment, Enable, Disable,
// ConditionRefresh, ConditionRefresh2) over the AE server's alarm state, and the condition
// events the UA clients see. An acknowledgement is the AE server's own: it changes the
// state under the AE locks, tells the AE subscribers and the redundant peer, and comes back
// here as the acknowledgement record, which becomes the AckedState event.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "opcua/alarms/ua_event.h"

namespace velk {
class IClock;
}

namespace velk::ua {

// The AE server's conditions as the UA front reaches them.
class IAlarmConditionAccess {
  public:
    virtual ~IAlarmConditionAccess() = default;
    // The condition's present state; nullopt for a cookie of no alarm.
    virtual std::optional<ConditionSnapshot> Find(std::uint32_t cookie) const = 0;
    // Every condition that is active or waits for its acknowledgement.
    virtual std::vector<ConditionSnapshot> Retained() const = 0;
    // The AE acknowledgement of the condition by user; false when the AE server refused it.
    virtual bool Acknowledge(const ConditionSnapshot& condition, const std::string& user,
                             const std::string& comment) = 0;
};

// Who calls a method: the session's user name and whether its role may only read.
struct MethodCaller {
    std::string userName;
    bool viewer = false;
};

class ConditionMethods {
  public:
    // events receives every condition event for the UA clients.
    ConditionMethods(IAlarmConditionAccess& access, const IClock& clock,
                     std::uint16_t namespaceIndex, std::function<void(const UaEvent&)> events);

    // An AE record (a transition or an acknowledgement) turned into its snapshot: the
    // condition's UA event, with a new EventId, goes to the clients. Disabled conditions
    // report nothing.
    void OnConditionChange(ConditionSnapshot snapshot);

    StatusCode Acknowledge(const NodeId& condition, const ByteString& eventId,
                           const LocalizedText& comment, const MethodCaller& caller);
    StatusCode AddComment(const NodeId& condition, const ByteString& eventId,
                          const LocalizedText& comment, const MethodCaller& caller);
    StatusCode Enable(const NodeId& condition, const MethodCaller& caller);
    StatusCode Disable(const NodeId& condition, const MethodCaller& caller);
    // The events of a refresh, for the one subscription (or monitored item) that asked:
    // RefreshStartEvent, the retained conditions, RefreshEndEvent.
    std::vector<UaEvent> ConditionRefresh();

    // EventIds kept per condition for the acknowledgement of an earlier event.
    static constexpr std::size_t kEventIdsPerCondition = 16;

  private:
    // What the UA front adds to the AE state: comments, the last user, the enabled state
    // (the AE server has no disabling of its own) and the condition's recent EventIds.
    struct UaSide {
        std::string comment;
        std::string clientUserId;
        bool enabled = true;
        std::deque<ByteString> eventIds;
    };
    // The condition's state with the UA side applied; nullopt for an unknown condition.
    std::optional<ConditionSnapshot> Current(std::uint32_t cookie);
    UaEvent Emit(ConditionSnapshot snapshot, bool send);
    bool KnowsEvent(std::uint32_t cookie, const ByteString& eventId) const;

    IAlarmConditionAccess& access_;
    const IClock& clock_;
    std::uint16_t namespaceIndex_;
    std::function<void(const UaEvent&)> events_;
    EventIdSource eventIds_;
    // UA acknowledgement lock: taken before the AE server's locks (ServerListLock and on).
    std::mutex acknowledgeMutex_;
    mutable std::mutex mutex_;  // guards uaSide_; never held while calling access_
    std::map<std::uint32_t, UaSide> uaSide_;
};

}  // namespace velk::ua
