#include "opcua/alarms/ua_event.h"

#include <algorithm>
#include <charconv>

#include "opcua/alarms/ua_alarm_ids.h"

namespace velk::ua {
namespace {

const std::vector<EventTypeInfo>& EventTypes() {
    static const std::vector<EventTypeInfo> types = {
        {ids::kBaseEventType,
         0,
         "BaseEventType",
         {"EventId", "EventType", "SourceNode", "SourceName", "Time", "ReceiveTime", "Message",
          "Severity"}},
        {ids::kSystemEventType, ids::kBaseEventType, "SystemEventType", {}},
        {ids::kRefreshStartEventType, ids::kSystemEventType, "RefreshStartEventType", {}},
        {ids::kRefreshEndEventType, ids::kSystemEventType, "RefreshEndEventType", {}},
        {ids::kConditionType,
         ids::kBaseEventType,
         "ConditionType",
         {"ConditionName", "BranchId", "Retain", "EnabledState", "EnabledState/Id", "Quality",
          "LastSeverity", "Comment", "ClientUserId"}},
        {ids::kAcknowledgeableConditionType,
         ids::kConditionType,
         "AcknowledgeableConditionType",
         {"AckedState", "AckedState/Id"}},
        {ids::kAlarmConditionType,
         ids::kAcknowledgeableConditionType,
         "AlarmConditionType",
         {"ActiveState", "ActiveState/Id", "ActiveState/EffectiveDisplayName",
          "ActiveState/TransitionTime"}},
        {ids::kLimitAlarmType,
         ids::kAlarmConditionType,
         "LimitAlarmType",
         {"HighHighLimit", "HighLimit", "LowLimit", "LowLowLimit"}},
        {ids::kExclusiveLimitAlarmType,
         ids::kLimitAlarmType,
         "ExclusiveLimitAlarmType",
         {"LimitState/CurrentState", "LimitState/CurrentState/Id"}},
        {ids::kDiscreteAlarmType, ids::kAlarmConditionType, "DiscreteAlarmType", {}},
        {ids::kOffNormalAlarmType, ids::kDiscreteAlarmType, "OffNormalAlarmType", {}},
        {ids::kSystemOffNormalAlarmType, ids::kOffNormalAlarmType, "SystemOffNormalAlarmType", {}},
    };
    return types;
}

const EventTypeInfo* TypeById(std::uint32_t id) {
    for (const auto& type : EventTypes())
        if (type.id == id) return &type;
    return nullptr;
}

constexpr std::string_view kConditionPrefix = "Condition.";

DateTime Time(FileTime t) { return DateTime{static_cast<std::int64_t>(t)}; }
LocalizedText Text(std::string text) { return LocalizedText{"", std::move(text)}; }

// The AE limit state bit (LoLo 1, Low 2, High 4, HiHi 8) as the state machine's state.
struct LimitState {
    std::uint32_t id;
    std::string_view name;
};
std::optional<LimitState> LimitStateOf(std::uint16_t bit) {
    switch (bit) {
        case 1:
            return LimitState{ids::kLimitStateLowLow, "LowLow"};
        case 2:
            return LimitState{ids::kLimitStateLow, "Low"};
        case 4:
            return LimitState{ids::kLimitStateHigh, "High"};
        case 8:
            return LimitState{ids::kLimitStateHighHigh, "HighHigh"};
        default:
            return std::nullopt;
    }
}

}  // namespace

const EventTypeInfo* FindEventType(const NodeId& type) {
    if (type.namespaceIndex != 0) return nullptr;
    const auto* id = std::get_if<std::uint32_t>(&type.identifier);
    return id ? TypeById(*id) : nullptr;
}

bool IsSubtypeOf(std::uint32_t type, std::uint32_t ancestor) {
    for (const EventTypeInfo* t = TypeById(type); t != nullptr; t = TypeById(t->supertype))
        if (t->id == ancestor) return true;
    return false;
}

bool TypeHasField(std::uint32_t type, std::string_view path) {
    for (const EventTypeInfo* t = TypeById(type); t != nullptr; t = TypeById(t->supertype))
        if (std::find(t->fields.begin(), t->fields.end(), path) != t->fields.end()) return true;
    return false;
}

Variant UaEvent::Field(std::string_view path) const {
    const auto it = fields.find(path);
    return it == fields.end() ? Variant{} : it->second;
}

ByteString UaEvent::EventId() const {
    const Variant id = Field("EventId");
    const auto* bytes = std::get_if<ByteString>(&id.scalar);
    return bytes ? *bytes : ByteString{};
}

ByteString EventIdSource::Next() {
    const std::uint64_t n = next_.fetch_add(1, std::memory_order_relaxed);
    ByteString id;
    id.bytes.resize(16);
    for (int i = 0; i < 8; ++i) {
        id.bytes[i] = static_cast<std::uint8_t>(start_ >> (8 * i));
        id.bytes[8 + i] = static_cast<std::uint8_t>(n >> (8 * i));
    }
    return id;
}

NodeId ConditionNodeId(std::uint16_t namespaceIndex, std::uint32_t cookie) {
    return NodeId::String(namespaceIndex, std::string(kConditionPrefix) + std::to_string(cookie));
}

std::uint32_t CookieOfConditionNode(const NodeId& node) {
    const auto* text = std::get_if<std::string>(&node.identifier);
    if (text == nullptr || !text->starts_with(kConditionPrefix)) return 0;
    const char* first = text->data() + kConditionPrefix.size();
    const char* last = text->data() + text->size();
    std::uint32_t cookie = 0;
    const auto [end, error] = std::from_chars(first, last, cookie);
    return error == std::errc{} && end == last && first != last ? cookie : 0;
}

std::uint32_t EventTypeOfKind(ConditionKind kind) {
    switch (kind) {
        case ConditionKind::kLimit:
            return ids::kExclusiveLimitAlarmType;
        case ConditionKind::kOffNormal:
            return ids::kOffNormalAlarmType;
        case ConditionKind::kDevice:
            return ids::kSystemOffNormalAlarmType;
    }
    return ids::kAlarmConditionType;
}

StatusCode QualityStatus(std::uint16_t opcQuality) {
    switch (opcQuality & 0xC0) {
        case 0xC0:
            return kGood;
        case 0x40:
            return kUncertain;
        default:
            break;
    }
    switch (opcQuality & 0xFC) {
        case 0x18:  // communication failure
            return kBadNoCommunication;
        case 0x1C:  // out of service (an inactive item)
            return kBadOutOfService;
        default:
            return kBad;
    }
}

std::uint16_t SeverityOfPriority(std::uint32_t priority) {
    return static_cast<std::uint16_t>(std::clamp<std::uint32_t>(priority, 1, 1000));
}

UaEvent BuildConditionEvent(const ConditionSnapshot& c, std::uint16_t namespaceIndex,
                            ByteString eventId, FileTime receiveTime) {
    UaEvent e;
    e.eventType = EventTypeOfKind(c.kind);
    e.conditionId = ConditionNodeId(namespaceIndex, c.cookie);
    auto& f = e.fields;
    const std::uint16_t severity = SeverityOfPriority(c.priority);
    f["EventId"] = Variant::Scalar(std::move(eventId));
    f["EventType"] = Variant::Scalar(NodeId::Numeric(0, e.eventType));
    f["SourceNode"] = Variant::Scalar(c.sourceNode);
    f["SourceName"] = Variant::Scalar(c.sourceName);
    f["Time"] = Variant::Scalar(Time(c.time));
    f["ReceiveTime"] = Variant::Scalar(Time(receiveTime));
    f["Message"] = Variant::Scalar(Text(c.message));
    f["Severity"] = Variant::Scalar(severity);

    f["ConditionName"] = Variant::Scalar(c.conditionName);
    f["BranchId"] = Variant::Scalar(NodeId{});
    // A condition stays of interest while it is active or waits for its acknowledgement.
    f["Retain"] = Variant::Scalar(c.enabled && (c.active || !c.acked));
    f["EnabledState"] = Variant::Scalar(Text(c.enabled ? "Enabled" : "Disabled"));
    f["EnabledState/Id"] = Variant::Scalar(c.enabled);
    f["Quality"] = Variant::Scalar(QualityStatus(c.quality));
    f["LastSeverity"] = Variant::Scalar(severity);
    f["Comment"] = Variant::Scalar(Text(c.comment));
    f["ClientUserId"] = Variant::Scalar(c.clientUserId);

    f["AckedState"] = Variant::Scalar(Text(c.acked ? "Acknowledged" : "Unacknowledged"));
    f["AckedState/Id"] = Variant::Scalar(c.acked);

    f["ActiveState"] = Variant::Scalar(Text(c.active ? "Active" : "Inactive"));
    f["ActiveState/Id"] = Variant::Scalar(c.active);
    // The sub-condition tells which state of the alarm is active.
    f["ActiveState/EffectiveDisplayName"] = Variant::Scalar(
        Text(c.active && !c.subconditionName.empty() ? c.subconditionName
                                                     : (c.active ? "Active" : "Inactive")));
    f["ActiveState/TransitionTime"] = Variant::Scalar(Time(c.activeTime));

    if (c.kind == ConditionKind::kLimit) {
        static constexpr std::array<std::string_view, 4> kLimitFields = {
            "LowLowLimit", "LowLimit", "HighLimit", "HighHighLimit"};
        for (std::size_t i = 0; i < kLimitFields.size(); ++i)
            if (c.limits[i]) f[std::string(kLimitFields[i])] = Variant::Scalar(*c.limits[i]);
        // The state machine has a current state only while a limit is passed.
        if (const auto state = LimitStateOf(c.active ? c.limitStateBit : 0)) {
            f["LimitState/CurrentState"] = Variant::Scalar(Text(std::string(state->name)));
            f["LimitState/CurrentState/Id"] = Variant::Scalar(NodeId::Numeric(0, state->id));
        }
    }
    return e;
}

UaEvent BuildRefreshEvent(bool start, ByteString eventId, FileTime now) {
    UaEvent e;
    e.eventType = start ? ids::kRefreshStartEventType : ids::kRefreshEndEventType;
    auto& f = e.fields;
    f["EventId"] = Variant::Scalar(std::move(eventId));
    f["EventType"] = Variant::Scalar(NodeId::Numeric(0, e.eventType));
    f["SourceNode"] = Variant::Scalar(NodeId::Numeric(0, ids::kServer));
    f["SourceName"] = Variant::Scalar(std::string("Server"));
    f["Time"] = Variant::Scalar(Time(now));
    f["ReceiveTime"] = Variant::Scalar(Time(now));
    f["Message"] =
        Variant::Scalar(Text(start ? "ConditionRefresh started" : "ConditionRefresh done"));
    f["Severity"] = Variant::Scalar(std::uint16_t{1});
    return e;
}

}  // namespace velk::ua
