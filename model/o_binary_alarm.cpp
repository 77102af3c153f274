#include "model/o_binary_alarm.h"

#include "model/ae_event_space.h"
#include "model/alarm_posting.h"
#include "model/o_modbus_tag.h"

namespace velk {
namespace {

// The tag's value as a boolean; false when it has none.
bool CurrentBool(const OModbusTag& tag, bool& out) {
    Variant v = tag.value;
    if (v.Type() != VT_BOOL && Failed(v.ChangeType(VT_BOOL))) return false;
    out = v.AsBool();
    return true;
}

}  // namespace

std::uint16_t OBinaryAlarm::Evaluate(OModbusTag& tag, IEventPoster& poster) {
    bool v = false;
    if (!CurrentBool(tag, v)) return tag.alarmState;

    auto activate = [&](std::uint16_t state) {
        if (tag.alarmState == state) return;
        tag.subconditionIndex = state;  // 1 "Trip", 2 "Set"
        tag.alarmState = state;
        tag.acknowledgeState = (acknowledgeFlags & state) ? state : kAckStateNotRequired;
        tag.activeTime = tag.timestamp;
        tag.normalTime = 0;
        PostTagTransition(poster, tag, state, true, tag.activeTime, tag.activeTime);
    };

    if ((enableFlags & kOnTrue) && v) {
        activate(kOnTrue);
    } else if ((enableFlags & kOnFalse) && !v) {
        activate(kOnFalse);
    } else if (tag.alarmState != 0) {
        const std::uint16_t previous = tag.alarmState;
        tag.acknowledgeState =
            (acknowledgeFlags & kNormalEventBit) ? kNormalEventBit : kAckStateNotRequired;
        tag.alarmState = 0;
        tag.normalTime = tag.timestamp;
        if (enableFlags & kNormalEventBit)
            PostTagTransition(poster, tag, previous, false, tag.normalTime, tag.activeTime);
    }
    return tag.alarmState;
}

std::string OBinaryAlarm::GetConditionName(const AeEventSpace& space) const {
    if (userCondition == 0) return {};
    return space.ConditionName(UserConditionIndex());
}

std::string OBinaryAlarm::GetSubconditionName(const AeEventSpace& space) const {
    if (userCondition == 0) return {};
    return space.SubconditionName(UserSubconditionIndex());
}

std::string OBinaryAlarm::GetAttributeText() const { return attributeFlag ? "TRUE" : "FALSE"; }

bool OBinaryAlarm::IsEqualAll(const OTagAlarm& other) const {
    const auto* o = dynamic_cast<const OBinaryAlarm*>(&other);
    return o != nullptr && IsEqual(*o) && alarmPriority == o->alarmPriority &&
           alarmText == o->alarmText && source == o->source && userCondition == o->userCondition &&
           attributeFlag == o->attributeFlag;
}

void OBinaryAlarm::CopyAll(const OTagAlarm& source) {
    CopyBase(source);
    if (const auto* s = dynamic_cast<const OBinaryAlarm*>(&source)) {
        alarmPriority = s->alarmPriority;
        alarmText = s->alarmText;
        this->source = s->source;
        userCondition = s->userCondition;
        attributeFlag = s->attributeFlag;
    }
}

std::unique_ptr<OTagAlarm> OBinaryAlarm::Clone() const {
    auto copy = std::make_unique<OBinaryAlarm>();
    copy->CopyAll(*this);
    return copy;
}

}  // namespace velk
