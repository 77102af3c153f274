#pragma once
// One communication alarm of a device: code 1 port #1, 2 port #2, 3 communication to the
// device, 4 event buffer overrun. Holds its condition state itself.
#include <cstdint>
#include <memory>
#include <string>

#include "model/o_tag_alarm.h"
#include "platform/clock.h"

namespace velk {

class ODevice;

class ODeviceAlarm final : public OTagAlarm {
  public:
    // Enable and acknowledge bits of the failure part: bit 0 for codes 1 to 3, bit 1 for 4.
    static constexpr std::uint16_t kCommFailureBit = 0x0001;
    static constexpr std::uint16_t kOverrunFailureBit = 0x0002;

    // Takes its id from nextObjectId.
    ODeviceAlarm();
    // A copy takes the configuration and state but a new id of its own.
    ODeviceAlarm(const ODeviceAlarm& other);
    // Assignment copies the configured fields only; id and condition state stay.
    ODeviceAlarm& operator=(const ODeviceAlarm& other);

    const char* GetRuntimeClass() const override { return "ODeviceAlarm"; }
    std::string GetSource() const override { return {}; }
    bool IsEqualAll(const OTagAlarm& other) const override;
    void CopyAll(const OTagAlarm& source) override;
    std::unique_ptr<OTagAlarm> Clone() const override;

    // Evaluates the device's status bits for code 1, 2 or 3; returns the last status.
    std::uint16_t EvaluateComm(ODevice& device, std::uint16_t code, IEventPoster& poster);
    // Sets the device's status time to now, then evaluates the overrun state for code 4.
    std::uint16_t EvaluateOverrun(ODevice& device, std::uint16_t code, FileTime now,
                                  IEventPoster& poster);
    // The acknowledgement of the condition: state 0, acknowledge time T.
    void Acknowledge(FileTime when);
    // Fills in the dialog defaults for the alarm's code when its failure priority is 0.
    void ApplyDefaultTexts(std::uint16_t code);

    std::uint32_t id = 0;  // AE cookie of the condition
    std::uint16_t failurePriority = 0;
    std::string failureText;
    std::string source;  // event source name when not empty
    // Condition state (not stored).
    std::uint16_t lastStatus = 0;
    std::uint16_t acknowledgeState = 0;
    FileTime activeTime = 0;
    FileTime acknowledgeTime = 0;
    FileTime normalTime = 0;

  private:
    std::uint16_t Apply(ODevice& device, std::uint16_t code, std::uint16_t status,
                        IEventPoster& poster);
};

}  // namespace velk
