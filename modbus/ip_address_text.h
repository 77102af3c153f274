#pragma once
// Dotted IPv4 texts as the configuration stores them, and 32-bit addresses in network byte
// order (first octet in the lowest memory byte) as the route functions take them.
#include <cstdint>
#include <string>
#include <string_view>

namespace velk {

// Shown by a dialog whose address field holds a text that is no address.
inline constexpr std::string_view kEnterIpAddressMessage =
    "Enter an IP address such as 192.168.1.10, or leave the field empty.";

// The value for an empty or malformed text (also the value of "255.255.255.255").
inline constexpr std::uint32_t kInvalidAddress = 0xFFFFFFFFu;

// The address a dotted text names, read as every address field is read
// (ParseIpv4Address, platform/ipv4_address.h: blanks around it ignored, four decimal numbers
// 0-255); kInvalidAddress for any other text, the empty one included.
std::uint32_t DottedToAddress(std::string_view text);

// "a.b.c.d" of an address in network byte order.
std::string AddressToDotted(std::uint32_t address);

// The address of four octets, in network byte order, whatever the host's byte order.
std::uint32_t AddressFromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);

}  // namespace velk
