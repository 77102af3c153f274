#pragma once
// Discrete alarm of a BOOL tag. Enable and acknowledge bit 0: alarm when the value is false
// ("Trip"); bit 1: alarm when it is true ("Set").
#include <cstdint>
#include <string>

#include "model/o_tag_alarm.h"

namespace velk {

class OBinaryAlarm final : public OTagAlarm {
  public:
    static constexpr std::uint16_t kOnFalse = 0x0001;
    static constexpr std::uint16_t kOnTrue = 0x0002;

    const char* GetRuntimeClass() const override { return "OBinaryAlarm"; }
    std::uint16_t Evaluate(OModbusTag& tag, IEventPoster& poster) override;
    std::string GetSource() const override { return source; }
    // The user condition's name from the AE condition tables, or empty when none.
    std::string GetConditionName(const AeEventSpace& space) const override;
    std::string GetSubconditionName(const AeEventSpace& space) const override;
    // "TRUE" or "FALSE".
    std::string GetAttributeText() const override;
    bool IsEqualAll(const OTagAlarm& other) const override;
    void CopyAll(const OTagAlarm& source) override;
    std::unique_ptr<OTagAlarm> Clone() const override;

    // Index of the user condition and subcondition (0 when none is chosen).
    std::uint16_t UserConditionIndex() const {
        return static_cast<std::uint16_t>(userCondition >> 16);
    }
    std::uint16_t UserSubconditionIndex() const {
        return static_cast<std::uint16_t>(userCondition & 0xFFFF);
    }

    std::uint16_t alarmPriority = 0;
    std::string alarmText;
    std::string source;               // event source name instead of the tag's, when not empty
    std::uint32_t userCondition = 0;  // condition index << 16 | subcondition index, or 0
    std::uint32_t attributeFlag = 0;  // value of the "SimpleCondition" attribute
};

}  // namespace velk
