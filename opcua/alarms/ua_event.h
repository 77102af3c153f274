#pragma once
// Alarm transitions and acknowledgements as UA events: the event types with the fields each
// declares (by browse path, the supertypes' fields inherited), the condition's state as the
// AE side holds it, and the event built from that state.
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "opcua/basic_types.h"
#include "opcua/node_id.h"
#include "opcua/variant.h"
#include "platform/clock.h"

namespace velk::ua {

// One event type: its id, its supertype's id (0 for BaseEventType) and the browse paths of
// the fields it adds, the path's names joined by '/'.
struct EventTypeInfo {
    std::uint32_t id = 0;
    std::uint32_t supertype = 0;
    std::string_view name;
    std::vector<std::string_view> fields;
};

// The known event type of an id (namespace 0, numeric), null otherwise.
const EventTypeInfo* FindEventType(const NodeId& type);
// True when type is ancestor or a subtype of it.
bool IsSubtypeOf(std::uint32_t type, std::uint32_t ancestor);
// True when the path names a field that type declares or inherits.
bool TypeHasField(std::uint32_t type, std::string_view path);

// What kind of condition an AE alarm is over UA.
enum class ConditionKind : std::uint8_t {
    kLimit,      // an analog alarm: ExclusiveLimitAlarmType
    kOffNormal,  // a binary alarm: OffNormalAlarmType
    kDevice,     // a device's communication or buffer overrun alarm: SystemOffNormalAlarmType
};

// A condition's state as the AE server reports it for one transition or acknowledgement.
struct ConditionSnapshot {
    std::uint32_t cookie = 0;  // the AE condition cookie: tag or device alarm id
    ConditionKind kind = ConditionKind::kOffNormal;
    std::string conditionName;     // the AE condition ("Analog Level", "Device Comm", ...)
    std::string subconditionName;  // the AE sub-condition while active ("High", "Trip", ...)
    std::string sourceName;        // the AE event's source
    NodeId sourceNode;
    std::string message;
    std::uint32_t priority = 0;  // the AE severity, unclamped
    FileTime time = 0;           // the transition's (or acknowledgement's) time
    FileTime activeTime = 0;
    bool active = false;
    bool acked = true;
    bool enabled = true;
    std::uint16_t quality = 0xC0;  // the OPC quality of the tag
    std::string comment;
    std::string clientUserId;  // who last acknowledged or commented
    // Analog alarms: the configured limits (LoLo, Low, High, HiHi), absent when that level
    // is not enabled; and the level now active (OAnalogAlarm's state bit, 0 when normal).
    std::array<std::optional<double>, 4> limits{};
    std::uint16_t limitStateBit = 0;
};

// An event: its type and field values by browse path; conditionId for condition events.
struct UaEvent {
    std::uint32_t eventType = 0;
    NodeId conditionId;
    std::map<std::string, Variant, std::less<>> fields;

    // The field's value, null when the event has none.
    Variant Field(std::string_view path) const;
    // The EventId field's bytes.
    ByteString EventId() const;
};

// Unique EventIds: a counter behind the moment the source was made, so ids of one run never
// repeat and ids of a restarted server do not meet those of the run before.
class EventIdSource {
  public:
    explicit EventIdSource(FileTime start) : start_(start) {}
    ByteString Next();

  private:
    FileTime start_;
    std::atomic<std::uint64_t> next_{1};
};

// The node of an AE condition in a namespace of this server, and back (0 when the node is
// none of them).
NodeId ConditionNodeId(std::uint16_t namespaceIndex, std::uint32_t cookie);
std::uint32_t CookieOfConditionNode(const NodeId& node);

// The type that reports a condition of the kind.
std::uint32_t EventTypeOfKind(ConditionKind kind);
// The OPC quality of a tag as a UA status code.
StatusCode QualityStatus(std::uint16_t opcQuality);
// The AE priority on the UA severity scale: both run 1 to 1000, so the value is kept; a tag
// alarm's priority is not range checked when configured, so it is held within the scale.
std::uint16_t SeverityOfPriority(std::uint32_t priority);

// The condition event of a snapshot; receiveTime is when the server learnt of it.
UaEvent BuildConditionEvent(const ConditionSnapshot& condition, std::uint16_t namespaceIndex,
                            ByteString eventId, FileTime receiveTime);
// The events that bracket a refresh (RefreshStartEventType, RefreshEndEventType), with the
// Server object as their source.
UaEvent BuildRefreshEvent(bool start, ByteString eventId, FileTime now);

}  // namespace velk::ua
