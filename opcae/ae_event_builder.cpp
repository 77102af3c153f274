#include "opcae/ae_event_builder.h"

#include "model/ae_event_space.h"
#include "model/b_event.h"
#include "model/o_analog_alarm.h"
#include "model/o_binary_alarm.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"

namespace velk {
namespace {

// Category indexes of the table.
constexpr int kIndexDevice = 0;
constexpr int kIndexDiscrete = 1;
constexpr int kIndexAnalog = 2;
constexpr int kIndexUserDefined = 3;

std::string MessageText(const std::string& description, const std::string& levelText) {
    if (description.empty()) return levelText;
    return description + " " + levelText;
}

const OBinaryAlarm* BinaryAlarmOf(const OModbusTag& tag) {
    return tag.IsBool() ? dynamic_cast<const OBinaryAlarm*>(tag.alarm.get()) : nullptr;
}

// Subcondition of an analog alarm state (1 LoLo, 2 Low, 4 High, 8 HiHi), 0 for others.
std::uint16_t AnalogSubcondition(std::uint16_t alarmState) {
    switch (alarmState) {
        case OAnalogAlarm::kLoLoBit:
            return AeEventSpace::kSubLoLo;
        case OAnalogAlarm::kLowBit:
            return AeEventSpace::kSubLow;
        case OAnalogAlarm::kHighBit:
            return AeEventSpace::kSubHigh;
        case OAnalogAlarm::kHiHiBit:
            return AeEventSpace::kSubHiHi;
        default:
            return 0;
    }
}

// The alarm fields the returned attributes show, copied under TagDataLock.
AlarmAttributes AttributesOf(const OTagAlarm* alarm) {
    AlarmAttributes copy;
    if (alarm == nullptr) return copy;
    const auto* binary = dynamic_cast<const OBinaryAlarm*>(alarm);
    copy.simpleCondition = binary != nullptr && binary->attributeFlag != 0;
    copy.area = alarm->area;
    copy.alarmClass = alarm->alarmClass;
    return copy;
}

// New state and acknowledgement fields of a transition (empty acknowledger) or an
// acknowledgement record.
void FillStates(BuiltEvent& out, bool active, std::uint16_t acknowledgeState,
                const std::string& acknowledger) {
    OnEventStruct& e = out.event;
    if (acknowledger.empty()) {
        const bool acked = IsAcknowledgedState(acknowledgeState);
        e.changeMask = OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_MESSAGE;
        e.newState = OPC_CONDITION_ENABLED;
        if (active) e.newState |= OPC_CONDITION_ACTIVE;
        if (acked) e.newState |= OPC_CONDITION_ACKED;
        e.ackRequired = !acked;
        e.actorId.clear();
        return;
    }
    e.changeMask = OPC_CHANGE_ACK_STATE;
    e.newState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED;
    if (active) e.newState |= OPC_CONDITION_ACTIVE;
    e.ackRequired = false;
    e.actorId = acknowledger;
}

}  // namespace

std::string DeviceSourceSuffix(std::uint16_t code) {
    switch (code) {
        case kAlarmPort1:
            return "__P1";
        case kAlarmPort2:
            return "__P2";
        case kAlarmCommunication:
            return "__CF";
        case kAlarmBufferOverrun:
            return "__BO";
        default:
            return {};
    }
}

AeEventBuilder::Level AeEventBuilder::TagLevel(const OModbusTag& tag, std::uint16_t code,
                                               bool active) const {
    Level level;
    const OTagAlarm& alarm = *tag.alarm;
    level.severity = alarm.normalPriority;
    level.text = alarm.normalText;
    level.subcondition = code;
    if (const OBinaryAlarm* binary = BinaryAlarmOf(tag)) {
        level.categoryIndex = kIndexDiscrete;
        if (binary->userCondition != 0) {
            level.categoryIndex = kIndexUserDefined;
            // The high half names the condition; a condition without sub-conditions stores
            // a low half that names none.
            level.condition = binary->UserConditionIndex();
            level.subcondition = binary->UserSubconditionIndex();
        }
        if (active) {
            level.severity = binary->alarmPriority;
            level.text = binary->alarmText;
        }
        return level;
    }
    level.categoryIndex = kIndexAnalog;
    const auto* analog = dynamic_cast<const OAnalogAlarm*>(&alarm);
    if (active && analog != nullptr && code >= AeEventSpace::kSubLoLo &&
        code <= AeEventSpace::kSubHiHi) {
        const std::size_t at = code - AeEventSpace::kSubLoLo;
        level.severity = analog->levelPriority[at];
        level.text = analog->levelText[at];
    }
    return level;
}

std::string AeEventBuilder::TagSourceName(const OModbusTag& tag, const std::string& area) const {
    std::string name = tag.name;
    if (const OBinaryAlarm* binary = BinaryAlarmOf(tag); binary && !binary->source.empty())
        name = binary->source;
    if (!settings_.fullTagPath) return name;
    return area + settings_.areaDelimiter + name;
}

void AeEventBuilder::FillTagFields(const OModbusTag& tag, const Level& level, bool active,
                                   BuiltEvent& out) const {
    OnEventStruct& e = out.event;
    const auto& categories = space_.Categories();
    out.categoryIndex = level.categoryIndex;
    out.area = tag.group ? tag.group->GetAreaPath(settings_.areaDelimiter) : std::string();
    out.alarm = AttributesOf(tag.alarm.get());
    e.eventType = OPC_CONDITION_EVENT;
    e.eventCategory = categories[static_cast<std::size_t>(level.categoryIndex)].id;
    e.severity = level.severity;
    const int condition =
        level.condition >= 0 ? level.condition : space_.ConditionOfSubcondition(level.subcondition);
    e.conditionName =
        condition >= 0 ? space_.ConditionName(static_cast<std::uint16_t>(condition)) : "";
    e.subconditionName = active ? space_.SubconditionName(level.subcondition) : "";
    e.message = MessageText(tag.description, level.text);
    e.source = TagSourceName(tag, out.area);
    e.quality = tag.quality;
    e.cookie = tag.id;
}

bool AeEventBuilder::FromRecord(const BEvent& record, BuiltEvent& out) const {
    out = BuiltEvent{};
    const bool active = record.active != 0;
    if (record.tag != nullptr) {
        const OModbusTag& tag = *record.tag;
        if (!tag.alarm) return false;
        FillTagFields(tag, TagLevel(tag, record.code, active), active, out);
        out.valueText = record.valueText;
        FillStates(out, active, tag.acknowledgeState, record.acknowledger);
    } else if (record.device != nullptr) {
        ODevice& device = *record.device;
        const ODeviceAlarm* alarm = device.AlarmOfCode(record.code);
        if (alarm == nullptr) return false;
        OnEventStruct& e = out.event;
        out.categoryIndex = kIndexDevice;
        out.area = device.name;
        out.alarm = AttributesOf(alarm);
        e.eventType = OPC_CONDITION_EVENT;
        e.eventCategory = space_.Categories()[kIndexDevice].id;
        e.severity = active ? alarm->failurePriority : alarm->normalPriority;
        e.conditionName = space_.ConditionName(AeEventSpace::kDeviceComm);
        e.subconditionName = active ? space_.SubconditionName(AeEventSpace::kSubCommFail) : "";
        e.message =
            MessageText(device.description, active ? alarm->failureText : alarm->normalText);
        if (!alarm->source.empty())
            e.source = settings_.fullTagPath ? device.name + settings_.areaDelimiter + alarm->source
                                             : alarm->source;
        else
            e.source = settings_.fullTagPath
                           ? device.name + settings_.areaDelimiter + DeviceSourceSuffix(record.code)
                           : device.name + DeviceSourceSuffix(record.code);
        e.quality = kQualityGood;
        e.cookie = alarm->id;
        FillStates(out, active, alarm->acknowledgeState, record.acknowledger);
    } else {
        return false;
    }
    out.event.time = record.eventTime;
    out.event.activeTime = record.activeTime;
    return true;
}

bool AeEventBuilder::FromTagCondition(const OModbusTag& tag, BuiltEvent& out) const {
    out = BuiltEvent{};
    if (!tag.alarm || tag.alarmState == 0) return false;
    std::uint16_t code = 0;
    if (BinaryAlarmOf(tag) != nullptr)
        code = tag.alarmState == OBinaryAlarm::kOnFalse ? AeEventSpace::kSubTrip
                                                        : AeEventSpace::kSubSet;
    else
        code = AnalogSubcondition(tag.alarmState);
    FillTagFields(tag, TagLevel(tag, code, true), true, out);
    OnEventStruct& e = out.event;
    const bool acked = IsAcknowledgedState(tag.acknowledgeState);
    e.changeMask = OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_ACK_STATE | OPC_CHANGE_ENABLE_STATE |
                   OPC_CHANGE_MESSAGE;
    e.newState = OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE;
    if (acked) e.newState |= OPC_CONDITION_ACKED;
    e.ackRequired = !acked;
    e.time = tag.acknowledgeState == kAckStateAcknowledged ? tag.acknowledgeTime : tag.activeTime;
    e.activeTime = tag.activeTime;
    out.valueText = tag.value.ToText();
    return true;
}

void AeEventBuilder::AddAttributes(BuiltEvent& built,
                                   const std::vector<std::uint32_t>& attributeIds,
                                   const std::string* matchedArea) {
    OnEventStruct& e = built.event;
    e.attributes.clear();
    if (attributeIds.empty()) return;
    if (e.changeMask & OPC_CHANGE_ACTIVE_STATE) e.changeMask |= OPC_CHANGE_ATTRIBUTE;
    const AlarmAttributes& alarm = built.alarm;
    for (std::uint32_t id : attributeIds) {
        switch (id) {
            case 110:
                e.attributes.push_back(Variant::Bool(alarm.simpleCondition));
                break;
            case 111:
                e.attributes.push_back(Variant::Text(matchedArea ? *matchedArea : built.area));
                break;
            case 112:
                e.attributes.push_back(Variant::Text(built.valueText));
                break;
            case 113:
                e.attributes.push_back(Variant::Text(alarm.area));
                break;
            case 114:
                e.attributes.push_back(Variant::Int32(alarm.alarmClass));
                break;
            default:
                e.attributes.emplace_back();  // VT_NULL
                break;
        }
    }
}

}  // namespace velk
