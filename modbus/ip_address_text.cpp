#include "modbus/ip_address_text.h"

#include <array>
#include <cstring>

namespace velk {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

int DigitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9') {
        value = c - '0';
    } else if (c >= 'a' && c <= 'f') {
        value = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
        value = c - 'A' + 10;
    }
    return value < base ? value : -1;
}

// Reads one number part at pos; false when there is no digit or it exceeds 32 bits.
bool ReadPart(std::string_view text, std::size_t& pos, std::uint32_t& part) {
    int base = 10;
    if (pos < text.size() && text[pos] == '0') {
        base = 8;
        ++pos;
        if (pos < text.size() && (text[pos] == 'x' || text[pos] == 'X')) {
            base = 16;
            ++pos;
        } else {
            --pos;  // the leading zero is itself an octal digit
        }
    }
    std::uint64_t value = 0;
    std::size_t digits = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = DigitValue(text[pos], base);
        if (digit < 0) break;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > 0xFFFFFFFFull) return false;
        ++digits;
    }
    // A bare "0x" has no digits and is malformed.
    if (digits == 0) return false;
    part = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

std::uint32_t AddressFromOctets(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    const std::array<std::uint8_t, 4> octets{a, b, c, d};
    std::uint32_t address = 0;
    std::memcpy(&address, octets.data(), sizeof address);
    return address;
}

std::uint32_t DottedToAddress(std::string_view text) {
    std::array<std::uint32_t, 4> parts{};
    std::size_t count = 0;
    std::size_t pos = 0;
    for (;;) {
        if (count == parts.size() || !ReadPart(text, pos, parts[count])) return kInvalidAddress;
        ++count;
        if (pos < text.size() && text[pos] == '.') {
            ++pos;
            continue;
        }
        break;
    }
    if (pos < text.size() && !IsSpace(text[pos])) return kInvalidAddress;

    // The last part fills the octets the earlier parts left.
    std::uint32_t value = parts[count - 1];
    const std::uint32_t lastLimit = count == 1 ? 0xFFFFFFFFu : (0xFFFFFFFFu >> (8 * (count - 1)));
    if (value > lastLimit) return kInvalidAddress;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (parts[i] > 0xFF) return kInvalidAddress;
        value |= parts[i] << (8 * (3 - i));
    }
    return AddressFromOctets(
        static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
        static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value));
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
