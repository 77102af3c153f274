#pragma once
// The alarm definition of a tag (and the base of the device communication alarms):
// configuration plus the rule that turns a fresh value into condition transitions.
#include <cstdint>
#include <memory>
#include <string>

#include "model/o_object.h"

namespace velk {

class AeEventSpace;
class IEventPoster;
class OModbusTag;

// Bit 15 of the enable and acknowledge flags: the return-to-normal event.
inline constexpr std::uint16_t kNormalEventBit = 0x8000;
// Acknowledge-state values besides the waiting state bits.
inline constexpr std::uint16_t kAckStateAcknowledged = 0;
inline constexpr std::uint16_t kAckStateNotRequired = 0xFFFF;

// True when an acknowledge state counts as acknowledged (0 or 0xFFFF).
inline bool IsAcknowledgedState(std::uint16_t acknowledgeState) {
    return acknowledgeState == kAckStateAcknowledged || acknowledgeState == kAckStateNotRequired;
}

class OTagAlarm : public OObject {
  public:
    const char* GetRuntimeClass() const override { return "OTagAlarm"; }

    // Copies the configuration of another alarm unless it is this object.
    void Assign(const OTagAlarm& source);
    // Compares the base fields only.
    bool IsEqual(const OTagAlarm& other) const;
    // Evaluates the tag's fresh value (TagDataLock held by the caller); returns the alarm
    // state afterwards. The base class does nothing and returns 0.
    virtual std::uint16_t Evaluate(OModbusTag& tag, IEventPoster& poster);
    virtual std::string GetSource() const { return {}; }
    // The user condition's names in the document's event space.
    virtual std::string GetConditionName(const AeEventSpace& /*space*/) const { return {}; }
    virtual std::string GetSubconditionName(const AeEventSpace& /*space*/) const { return {}; }
    virtual std::string GetAttributeText() const { return {}; }
    // Copies the base fields.
    void CopyBase(const OTagAlarm& source);
    // Compares every configured field (never the runtime state); alarms of different
    // classes are never equal.
    virtual bool IsEqualAll(const OTagAlarm& other) const;
    // Copies every configured field of an alarm of the same class (base fields otherwise).
    virtual void CopyAll(const OTagAlarm& source) { CopyBase(source); }
    // A new alarm of the same class with the same configuration.
    virtual std::unique_ptr<OTagAlarm> Clone() const;

    bool IsEnabled() const { return enableFlags != 0; }

    std::uint16_t enableFlags = 0;       // per class; bit 15 the normal event
    std::uint16_t acknowledgeFlags = 0;  // same layout: which states need acknowledgement
    std::uint16_t normalPriority = 0;
    std::string normalText;
    std::string area;             // the "Area" attribute of the tag's events
    std::int32_t alarmClass = 0;  // the "Class" attribute of the tag's events
};

}  // namespace velk
