#pragma once
// Limit alarms of a numeric tag at four levels: LoLo and Low alarm below their limits, High
// and HiHi above. Comparisons are strict. A deadband holds an active level until the value
// is back by more than the deadband inside its limit; an on-delay makes a level active
// only when its limit has stayed exceeded that long (a limit that clears sooner raises
// nothing). Both are off by default.
#include <array>
#include <cstdint>
#include <string>

#include "model/o_tag_alarm.h"

namespace velk {

class OAnalogAlarm final : public OTagAlarm {
  public:
    // Level indexes of the arrays, in stored order.
    enum Level { kLoLo = 0, kLow = 1, kHigh = 2, kHiHi = 3 };
    // Enable and acknowledge bits, also the alarm-state values of the levels.
    static constexpr std::uint16_t kLoLoBit = 0x0001;
    static constexpr std::uint16_t kLowBit = 0x0002;
    static constexpr std::uint16_t kHighBit = 0x0004;
    static constexpr std::uint16_t kHiHiBit = 0x0008;

    const char* GetRuntimeClass() const override { return "OAnalogAlarm"; }
    // A value that is no number (a text tag) leaves the condition state as it is.
    std::uint16_t Evaluate(OModbusTag& tag, IEventPoster& poster) override;
    bool IsEqualAll(const OTagAlarm& other) const override;
    void CopyAll(const OTagAlarm& source) override;
    std::unique_ptr<OTagAlarm> Clone() const override;

    std::array<std::uint16_t, 4> levelPriority{};  // LoLo, Low, High, HiHi
    std::array<std::string, 4> levelText{};
    std::array<double, 4> levelLimit{};
    double deadband = 0.0;      // engineering units, for the return from every level
    std::uint32_t onDelay = 0;  // milliseconds a limit stays exceeded before it is active

    // True when the deadband or the on-delay is set: the alarm needs the extended record.
    bool HasFieldSettings() const { return deadband != 0.0 || onDelay != 0; }

  private:
    // The level the value exceeds, LoLo and HiHi first; 0 for none.
    std::uint16_t ExceededLevel(double x) const;
    // Whether an active level still holds within the deadband.
    bool HoldsWithinDeadband(std::uint16_t state, double x) const;
    // Whether a move from one state to another is an activation the on-delay applies to:
    // from normal, or to the outer level of the same side.
    static bool IsEscalation(std::uint16_t from, std::uint16_t to);
};

}  // namespace velk
