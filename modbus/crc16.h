#pragma once
// Modbus CRC-16 of RTU frames: reflected polynomial 0xA001, start value 0xFFFF, no final XOR.
// The low byte goes on the line first.
#include <cstddef>
#include <cstdint>
#include <span>

namespace velk {

// CRC-16 over the bytes, computed with the two 256-entry tables (high and low byte).
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

}  // namespace velk
