#pragma once
// Dotted IPv4 texts as the configuration stores them, and 32-bit addresses in network byte
// order (first octet in the lowest memory byte) as the route functions take them.
#include <cstdint>
#include <string>
#include <string_view>

namespace velk {

// The value for an empty or malformed text (also the value of "255.255.255.255").
inline constexpr std::uint32_t kInvalidAddress = 0xFFFFFFFFu;

// The address a dotted text names, with the classic inet_addr rules: one to four parts,
// each decimal, octal (leading 0) or hexadecimal (0x); the last part fills the remaining
// octets; the text may end with whitespace and anything after it. Empty or malformed texts
// give kInvalidAddress.
std::uint32_t DottedToAddress(std::string_view text);

// "a.b.c.d" of an address in network byte order.
std::string AddressToDotted(std::uint32_t address);

// The address of four octets, in network byte order, whatever the host's byte order.
std::uint32_t AddressFromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);

}  // namespace velk
