#pragma once
// Scaling of a numeric tag: none (0), linear (1) or square root (2) between a raw range and
// an engineering range. No guard against empty ranges: IEEE arithmetic decides, the clamp
// catches infinities, a NaN is passed on.
#include <cstdint>
#include <string>

#include "model/o_tag_data.h"

namespace velk {

class OAnalogData final : public OTagData {
  public:
    static constexpr std::uint16_t kNone = 0;
    static constexpr std::uint16_t kLinear = 1;
    static constexpr std::uint16_t kSquareRoot = 2;

    const char* GetRuntimeClass() const override { return "OAnalogData"; }
    // Convert a double in place (false, untouched, for any other type): convert, then clamp.
    bool RawToEng(Variant& value) const override;
    // Clamp to the engineering range first, then convert back.
    bool EngToRaw(Variant& value) const override;
    std::string GetConversionName() const override;
    bool IsEqual(const OTagData& other) const override;
    void CopyAll(const OTagData& source) override;
    std::unique_ptr<OTagData> Clone() const override;

    // The number forms of the two directions, for callers that hold doubles.
    double RawToEngValue(double x) const;
    double EngToRawValue(double y) const;
    // What the scaling page does when "&None" is chosen: ranges, process limits and units
    // back to their defaults.
    void ResetRanges();

    double initValue = 0.0;  // configuration only
    double engineeringMinimum = 0.0;
    double engineeringMaximum = 100.0;
    double rawMinimum = 0.0;
    double rawMaximum = 10000.0;
    double lowProcess = 0.0;
    double highProcess = 100.0;
    std::string units;
};

}  // namespace velk
