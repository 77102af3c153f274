#include "model/o_device_alarm.h"

#include "model/alarm_posting.h"
#include "model/o_device.h"
#include "model/object_id.h"

namespace velk {

ODeviceAlarm::ODeviceAlarm() : id(TakeNextObjectId()) {}

ODeviceAlarm::ODeviceAlarm(const ODeviceAlarm& other)
    : OTagAlarm(other),
      id(TakeNextObjectId()),
      failurePriority(other.failurePriority),
      failureText(other.failureText),
      source(other.source),
      lastStatus(other.lastStatus),
      acknowledgeState(other.acknowledgeState),
      activeTime(other.activeTime),
      acknowledgeTime(other.acknowledgeTime),
      normalTime(other.normalTime) {}

ODeviceAlarm& ODeviceAlarm::operator=(const ODeviceAlarm& other) {
    if (&other != this) CopyAll(other);
    return *this;
}

bool ODeviceAlarm::IsEqualAll(const OTagAlarm& other) const {
    const auto* o = dynamic_cast<const ODeviceAlarm*>(&other);
    return o != nullptr && IsEqual(*o) && failurePriority == o->failurePriority &&
           failureText == o->failureText && source == o->source;
}

void ODeviceAlarm::CopyAll(const OTagAlarm& source) {
    CopyBase(source);
    if (const auto* s = dynamic_cast<const ODeviceAlarm*>(&source)) {
        failurePriority = s->failurePriority;
        failureText = s->failureText;
        this->source = s->source;
    }
}

std::unique_ptr<OTagAlarm> ODeviceAlarm::Clone() const {
    auto copy = std::make_unique<ODeviceAlarm>();
    copy->CopyAll(*this);
    return copy;
}

std::uint16_t ODeviceAlarm::EvaluateComm(ODevice& device, std::uint16_t code,
                                         IEventPoster& poster) {
    return Apply(device, code, device.statusBits, poster);
}

std::uint16_t ODeviceAlarm::EvaluateOverrun(ODevice& device, std::uint16_t code, FileTime now,
                                            IEventPoster& poster) {
    device.statusTime = now;
    return Apply(device, code, device.overrunState, poster);
}

std::uint16_t ODeviceAlarm::Apply(ODevice& device, std::uint16_t code, std::uint16_t status,
                                  IEventPoster& poster) {
    const std::uint16_t failureBit =
        code == kAlarmBufferOverrun ? kOverrunFailureBit : kCommFailureBit;
    const bool failing = (status & code) == code;
    const bool wasFailing = (lastStatus & code) == code;

    if (failing) {
        // A failure while the failure part is disabled changes nothing, so it is raised
        // at the first evaluation after the part is enabled.
        if ((enableFlags & failureBit) && !wasFailing) {
            acknowledgeState = (acknowledgeFlags & failureBit) ? failureBit : kAckStateNotRequired;
            lastStatus = status;
            activeTime = device.statusTime;
            PostDeviceTransition(poster, device, code, true, activeTime, activeTime);
        }
        return lastStatus;
    }
    if (wasFailing) {
        acknowledgeState =
            (acknowledgeFlags & kNormalEventBit) ? kNormalEventBit : kAckStateNotRequired;
        lastStatus = status;
        normalTime = device.statusTime;
        if (enableFlags & kNormalEventBit)
            PostDeviceTransition(poster, device, code, false, normalTime, activeTime);
    }
    return lastStatus;
}

void ODeviceAlarm::Acknowledge(FileTime when) {
    acknowledgeState = kAckStateAcknowledged;
    acknowledgeTime = when;
}

void ODeviceAlarm::ApplyDefaultTexts(std::uint16_t code) {
    if (failurePriority != 0) return;
    struct Defaults {
        std::uint16_t failurePriority;
        const char* failureText;
        std::uint16_t normalPriority;
        const char* normalText;
    };
    static constexpr Defaults kDefaults[] = {
        {900, "communication lost on P1", 150, "communication back on P1"},
        {900, "communication lost on P2", 150, "communication back on P2"},
        {1000, "communication failure", 100, "communication OK"},
        {800, "buffer overrun", 200, "buffer OK"},
    };
    if (code < 1 || code > 4) return;
    const Defaults& d = kDefaults[code - 1];
    failurePriority = d.failurePriority;
    failureText = d.failureText;
    normalPriority = d.normalPriority;
    normalText = d.normalText;
}

}  // namespace velk
