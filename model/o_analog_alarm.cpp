#include "model/o_analog_alarm.h"

#include "model/alarm_posting.h"
#include "model/o_modbus_tag.h"

namespace velk {
namespace {

// Subcondition index of an alarm state: 1 LoLo 4, 2 Low 5, 4 High 6, 8 HiHi 7.
std::uint16_t SubconditionOfState(std::uint16_t state) {
    switch (state) {
        case OAnalogAlarm::kLoLoBit:
            return 4;
        case OAnalogAlarm::kLowBit:
            return 5;
        case OAnalogAlarm::kHighBit:
            return 6;
        case OAnalogAlarm::kHiHiBit:
            return 7;
        default:
            return 0;
    }
}

}  // namespace

std::uint16_t OAnalogAlarm::Evaluate(OModbusTag& tag, IEventPoster& poster) {
    double x = 0.0;
    if (!tag.value.ToDouble(x)) return tag.alarmState;

    // The first check that holds decides; comparisons are strict.
    std::uint16_t state = 0;
    if ((enableFlags & kLoLoBit) && x < levelLimit[kLoLo]) {
        state = kLoLoBit;
    } else if ((enableFlags & kHiHiBit) && x > levelLimit[kHiHi]) {
        state = kHiHiBit;
    } else if ((enableFlags & kLowBit) && x < levelLimit[kLow]) {
        state = kLowBit;
    } else if ((enableFlags & kHighBit) && x > levelLimit[kHigh]) {
        state = kHighBit;
    }

    if (state != 0) {
        if (state == tag.alarmState) return state;
        // A move between two levels posts only the new level's activation.
        const std::uint16_t sub = SubconditionOfState(state);
        tag.subconditionIndex = sub;
        tag.alarmState = state;
        tag.acknowledgeState = (acknowledgeFlags & state) ? state : kAckStateNotRequired;
        tag.activeTime = tag.timestamp;
        tag.normalTime = 0;
        PostTagTransition(poster, tag, sub, true, tag.activeTime, tag.activeTime);
    } else if (tag.alarmState != 0) {
        const std::uint16_t previousSub = SubconditionOfState(tag.alarmState);
        tag.acknowledgeState =
            (acknowledgeFlags & kNormalEventBit) ? kNormalEventBit : kAckStateNotRequired;
        tag.alarmState = 0;
        tag.normalTime = tag.timestamp;
        if (enableFlags & kNormalEventBit)
            PostTagTransition(poster, tag, previousSub, false, tag.normalTime, tag.activeTime);
    }
    return tag.alarmState;
}

bool OAnalogAlarm::IsEqualAll(const OTagAlarm& other) const {
    const auto* o = dynamic_cast<const OAnalogAlarm*>(&other);
    return o != nullptr && IsEqual(*o) && levelPriority == o->levelPriority &&
           levelText == o->levelText && levelLimit == o->levelLimit;
}

void OAnalogAlarm::CopyAll(const OTagAlarm& source) {
    CopyBase(source);
    if (const auto* s = dynamic_cast<const OAnalogAlarm*>(&source)) {
        levelPriority = s->levelPriority;
        levelText = s->levelText;
        levelLimit = s->levelLimit;
    }
}

std::unique_ptr<OTagAlarm> OAnalogAlarm::Clone() const {
    auto copy = std::make_unique<OAnalogAlarm>();
    copy->CopyAll(*this);
    return copy;
}

}  // namespace velk
