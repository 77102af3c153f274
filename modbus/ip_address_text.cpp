#include "modbus/ip_address_text.h"

#include <array>
#include <cstring>

#include "platform/ipv4_address.h"

namespace velk {

std::uint32_t AddressFromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    const std::array<std::uint8_t, 4> octets{a, b, c, d};
    std::uint32_t address = 0;
    std::memcpy(&address, octets.data(), sizeof address);
    return address;
}

std::uint32_t DottedToAddress(std::string_view text) {
    return ParseIpv4Address(text).value_or(kInvalidAddress);
}

std::string AddressToDotted(std::uint32_t address) {
    std::array<std::uint8_t, 4> octets{};
    std::memcpy(octets.data(), &address, sizeof address);
    std::string text;
    for (std::size_t i = 0; i < octets.size(); ++i) {
        if (i > 0) text += '.';
        text += std::to_string(octets[i]);
    }
    return text;
}

}  // namespace velk
