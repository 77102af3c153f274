#pragma once
// A tag at a Modbus location of its device.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

// Byte orders of a tag's 32- and 64-bit values, A being the most significant byte: ABCD
// sends the high word first, high byte first in each register. Texts follow the byte half
// only: BADC and DCBA put the first character in a register's low byte. A tag without an
// order of its own takes the device's Word Swap (set: ABCD, clear: CDAB; texts high byte
// first).
inline constexpr std::int16_t kByteOrderDevice = 0;
inline constexpr std::int16_t kByteOrderABCD = 1;
inline constexpr std::int16_t kByteOrderCDAB = 2;
inline constexpr std::int16_t kByteOrderBADC = 3;
inline constexpr std::int16_t kByteOrderDCBA = 4;

// The bit number of a tag that is no single bit of a register.
inline constexpr std::int16_t kNoRegisterBit = -1;
inline constexpr std::int16_t kHighestRegisterBit = 15;

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
    // A BOOL tag that is one bit (0 to 15) of an input or holding register.
    bool IsRegisterBit() const;
    // The byte order its values are read and written in, given the device's Word Swap.
    std::int16_t EffectiveByteOrder(bool deviceWordSwap) const;
    // True when a setting of the field quirks (byte order, register bit) differs from its
    // default; such tags need the extended record in the file and the extra CSV columns.
    bool HasFieldSettings() const;

    std::int32_t locationKind = kOutputCoil;
    std::uint16_t address = 0;
    std::uint16_t size = 0;
    std::int16_t simulationKind = kSimulationRamp;
    std::int32_t rampCounter = 0;  // copied, not stored
    std::int16_t byteOrder = kByteOrderDevice;
    std::int16_t registerBit = kNoRegisterBit;
};

std::string LocationKindName(std::int32_t kind);
std::string SimulationKindName(std::int16_t kind);
// "ABCD", "CDAB", "BADC", "DCBA"; empty for the device's order and unknown values.
std::string ByteOrderName(std::int16_t order);
// The order of a name (case ignored); the device's order for an empty text; none for
// any other text.
std::optional<std::int16_t> ParseByteOrderName(std::string_view name);

}  // namespace velk
