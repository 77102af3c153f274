#pragma once
// The one reading of an IPv4 address text, for every address field: a device's channel and
// gateway addresses, the redundant peer and the gateway towards it, whether the text is
// typed into a dialog, used to connect, to lay a route or to check who is calling. So a text
// that one use accepts no other use refuses.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velk {

// The text without the blanks (spaces, tabs, line ends) around it.
std::string_view TrimAddressBlanks(std::string_view text);

// The address of a dotted text: blanks around it are ignored; otherwise exactly four decimal
// numbers 0 to 255 joined by dots, none with a leading zero ("010" could mean 8 or 10). The
// address is in network byte order (the first number in the lowest memory byte). None for
// any other text, the empty one included.
std::optional<std::uint32_t> ParseIpv4Address(std::string_view text);

// The text as a valid address is written ("a.b.c.d"), or none when it is none.
std::optional<std::string> CanonicalIpv4Text(std::string_view text);

}  // namespace velk
