#pragma once
// Scaling of a BOOL tag: normal (0) or inverted (1).
#include <cstdint>

#include "model/o_tag_data.h"

namespace velk {

class OBinaryData final : public OTagData {
  public:
    static constexpr std::uint16_t kNormal = 0;
    static constexpr std::uint16_t kInverted = 1;

    const char* GetRuntimeClass() const override { return "OBinaryData"; }
    // Inverts a BOOL when the conversion is 1; the same operation in both directions.
    bool RawToEng(Variant& value) const override;
    bool EngToRaw(Variant& value) const override { return RawToEng(value); }
    std::string GetConversionName() const override;
    bool IsEqual(const OTagData& other) const override;
    void CopyAll(const OTagData& source) override;
    std::unique_ptr<OTagData> Clone() const override;

    std::uint32_t initValue = 0;  // "Init Value" check box; configuration only
};

}  // namespace velk
