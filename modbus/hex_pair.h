#pragma once
// Hexadecimal character pairs of Modbus ASCII frames: upper-case digits, high nibble first.
#include <cstdint>

namespace velk {

// The upper-case digit of the low four bits.
char HexDigit(std::uint8_t nibble);

// c - '0' for a digit, otherwise c - 55 ('A'..'F' give 10..15); other characters give a
// meaningless nibble, so callers check IsUpperHexDigit where it matters.
std::uint8_t DecodeHexDigit(char c);

// True for '0'..'9' and 'A'..'F' only.
bool IsUpperHexDigit(char c);

// The byte written as the two characters high, low.
std::uint8_t DecodeHexPair(char high, char low);

}  // namespace velk
