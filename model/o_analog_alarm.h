#pragma once
// Limit alarms of a numeric tag at four levels: LoLo and Low alarm below their limits, High
// and HiHi above. Comparisons are strict; no hysteresis, no delay.
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
};

}  // namespace velk
