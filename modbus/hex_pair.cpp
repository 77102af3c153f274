#include "modbus/hex_pair.h"

namespace velk {

char HexDigit(std::uint8_t nibble) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return kDigits[nibble & 0x0F];
}

std::uint8_t DecodeHexDigit(char c) {
    const auto value = static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) - '0');
    if (value <= 9) {
        return value;
    }
    return static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) - 55);
}

bool IsUpperHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

std::uint8_t DecodeHexPair(char high, char low) {
    return static_cast<std::uint8_t>(((DecodeHexDigit(high) & 0x0F) << 4) |
                                     (DecodeHexDigit(low) & 0x0F));
}

}  // namespace velk
