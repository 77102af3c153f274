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

// Level index of a single alarm-state bit.
std::size_t LevelOf(std::uint16_t state) {
    switch (state) {
        case OAnalogAlarm::kLoLoBit:
            return OAnalogAlarm::kLoLo;
        case OAnalogAlarm::kLowBit:
            return OAnalogAlarm::kLow;
        case OAnalogAlarm::kHighBit:
            return OAnalogAlarm::kHigh;
        default:
            return OAnalogAlarm::kHiHi;
    }
}

bool IsLowSide(std::uint16_t state) {
    return state == OAnalogAlarm::kLoLoBit || state == OAnalogAlarm::kLowBit;
}

// 100-nanosecond units of a file time per millisecond.
constexpr FileTime kFileTimePerMs = 10000;

}  // namespace

std::uint16_t OAnalogAlarm::ExceededLevel(double x) const {
    // The first check that holds decides; comparisons are strict.
    if ((enableFlags & kLoLoBit) && x < levelLimit[kLoLo]) return kLoLoBit;
    if ((enableFlags & kHiHiBit) && x > levelLimit[kHiHi]) return kHiHiBit;
    if ((enableFlags & kLowBit) && x < levelLimit[kLow]) return kLowBit;
    if ((enableFlags & kHighBit) && x > levelLimit[kHigh]) return kHighBit;
    return 0;
}

bool OAnalogAlarm::HoldsWithinDeadband(std::uint16_t state, double x) const {
    if (!(deadband > 0.0) || (enableFlags & state) == 0) return false;
    const double limit = levelLimit[LevelOf(state)];
    return IsLowSide(state) ? x < limit + deadband : x > limit - deadband;
}

bool OAnalogAlarm::IsEscalation(std::uint16_t from, std::uint16_t to) {
    if (to == 0 || to == from) return false;
    if (from == 0 || IsLowSide(from) != IsLowSide(to)) return true;
    return to == kLoLoBit || to == kHiHiBit;
}

std::uint16_t OAnalogAlarm::Evaluate(OModbusTag& tag, IEventPoster& poster) {
    double x = 0.0;
    if (!tag.value.ToDouble(x)) return tag.alarmState;

    std::uint16_t state = ExceededLevel(x);
    // Within the deadband the active level stays, unless the value went on to the outer
    // level of the same side.
    if (tag.alarmState != 0 && state != tag.alarmState &&
        !(state != 0 && IsLowSide(state) == IsLowSide(tag.alarmState) &&
          IsEscalation(tag.alarmState, state)) &&
        HoldsWithinDeadband(tag.alarmState, x)) {
        state = tag.alarmState;
    }
    if (onDelay != 0 && IsEscalation(tag.alarmState, state)) {
        // Active only after the limit has stayed exceeded for the delay, measured in the
        // values' own time stamps; meanwhile the state stays as it is. A pending level that
        // moves on to the outer level of its side keeps the time its side's limit was first
        // exceeded; a time stamp that went back starts the delay again.
        const bool sameSide =
            tag.pendingState != 0 && IsLowSide(tag.pendingState) == IsLowSide(state);
        if (!sameSide || tag.timestamp < tag.pendingSince) tag.pendingSince = tag.timestamp;
        tag.pendingState = state;
        if (tag.timestamp - tag.pendingSince < FileTime{onDelay} * kFileTimePerMs)
            return tag.alarmState;
    }
    tag.pendingState = 0;

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
           levelText == o->levelText && levelLimit == o->levelLimit && deadband == o->deadband &&
           onDelay == o->onDelay;
}

void OAnalogAlarm::CopyAll(const OTagAlarm& source) {
    CopyBase(source);
    if (const auto* s = dynamic_cast<const OAnalogAlarm*>(&source)) {
        levelPriority = s->levelPriority;
        levelText = s->levelText;
        levelLimit = s->levelLimit;
        deadband = s->deadband;
        onDelay = s->onDelay;
    }
}

std::unique_ptr<OTagAlarm> OAnalogAlarm::Clone() const {
    auto copy = std::make_unique<OAnalogAlarm>();
    copy->CopyAll(*this);
    return copy;
}

}  // namespace velk
