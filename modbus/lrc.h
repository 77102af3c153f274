#pragma once
// Longitudinal redundancy check of Modbus ASCII frames.
#include <cstdint>
#include <span>

namespace velk {

// Two's complement of the byte sum modulo 256 over the decoded bytes
// (slave address, function code, data).
std::uint8_t Lrc(std::span<const std::uint8_t> bytes);

}  // namespace velk
