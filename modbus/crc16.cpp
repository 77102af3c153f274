#include "modbus/crc16.h"

#include <array>

namespace velk {
namespace {

struct CrcTables {
    std::array<std::uint8_t, 256> high{};
    std::array<std::uint8_t, 256> low{};
};

// The two byte tables of the Modbus CRC, derived once from the polynomial so that no
// hand-copied constant can be wrong.
constexpr CrcTables MakeTables() {
    CrcTables tables;
    for (unsigned index = 0; index < 256; ++index) {
        unsigned crc = index;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? (crc >> 1) ^ 0xA001u : crc >> 1;
        }
        tables.high[index] = static_cast<std::uint8_t>(crc >> 8);
        tables.low[index] = static_cast<std::uint8_t>(crc & 0xFFu);
    }
    return tables;
}

constexpr CrcTables kTables = MakeTables();

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint8_t crcLow = 0xFF;
    std::uint8_t crcHigh = 0xFF;
    for (std::uint8_t byte : bytes) {
        const std::uint8_t index = crcLow ^ byte;
        crcLow = crcHigh ^ kTables.low[index];
        crcHigh = kTables.high[index];
    }
    return static_cast<std::uint16_t>((crcHigh << 8) | crcLow);
}

}  // namespace velk
