#pragma once
// A tag at a Modbus location of its device.
#include <cstdint>
#include <memory>
#include <string>

#include "model/o_tag.h"

namespace velk {

// Location kinds.
inline constexpr std::int32_t kInputStatus = 0;
inline constexpr std::int32_t kOutputCoil = 1;
inline constexpr std::int32_t kInputRegister = 2;
inline constexpr std::int32_t kHoldingRegister = 3;
inline constexpr std::int32_t kEventSignal = 4;

// The kinds that hold bits rather than registers.
inline constexpr bool IsBitKind(std::int32_t kind) {
    return kind == kInputStatus || kind == kOutputCoil;
}

// Simulation kinds.
inline constexpr std::int16_t kSimulationNone = 0;
inline constexpr std::int16_t kSimulationRamp = 1;
inline constexpr std::int16_t kSimulationSine = 2;
inline constexpr std::int16_t kSimulationRandom = 3;

class OModbusTag final : public OTag {
  public:
    explicit OModbusTag(FileTime creationTime = 0) : OTag(creationTime) {}

    const char* GetRuntimeClass() const override { return "OModbusTag"; }
    void CopyFrom(const OTag& source) override;
    // A new tag (new id) carrying a copy of this one's configuration.
    std::unique_ptr<OModbusTag> Duplicate(FileTime creationTime) const;

    // What the tag property sheet does when the location changes: bit locations take BOOL,
    // register locations never BOOL (INT instead); read-only locations lose write access,
    // writable ones gain it. The size follows the data type for the fixed-size types.
    void ApplyLocationRules();
    // True when the data type is allowed at the location.
    bool IsTypeAllowedAtLocation() const;

    std::string GetLocationName() const;
    // "400001" for holding register 0, "E00010" for event signal 9, empty for unknown kinds.
    std::string GetAddressText() const;
    std::string GetSimulationName() const;
    bool IsEventSignal() const { return locationKind == kEventSignal; }
    bool HasEnabledAlarm() const { return alarm && alarm->IsEnabled(); }

    std::int32_t locationKind = kOutputCoil;
    std::uint16_t address = 0;
    std::uint16_t size = 0;
    std::int16_t simulationKind = kSimulationRamp;
    std::int32_t rampCounter = 0;  // copied, not stored
};

std::string LocationKindName(std::int32_t kind);
std::string SimulationKindName(std::int16_t kind);

}  // namespace velk
