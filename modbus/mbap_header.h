#pragma once
// The MBAP header that starts every Modbus TCP frame: transaction identifier, protocol
// identifier (0), length of what follows the length field, unit identifier.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace velk {

inline constexpr std::size_t kMbapHeaderSize = 7;
// Bytes 0 to 5: everything before the unit identifier.
inline constexpr std::size_t kMbapPrefixSize = 6;

struct MbapHeader {
    std::uint16_t transactionId = 0;
    std::uint16_t protocolId = 0;
    std::uint16_t length = 0;  // bytes after the length field: unit identifier and PDU
    std::uint8_t unitId = 0;
};

// Writes the six bytes before the unit identifier, most significant bytes first.
// frame must have room for kMbapPrefixSize bytes.
void WriteMbapPrefix(std::span<std::uint8_t> frame, std::uint16_t transactionId,
                     std::uint16_t length);

// Reads the header of a frame; none when fewer than kMbapHeaderSize bytes are given.
std::optional<MbapHeader> ReadMbapHeader(std::span<const std::uint8_t> frame);

}  // namespace velk
