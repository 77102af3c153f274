#include "platform/ipv4_address.h"

#include <array>
#include <cstring>

namespace velk {
namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::string_view TrimAddressBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<std::uint32_t> ParseIpv4Address(std::string_view text) {
    text = TrimAddressBlanks(text);
    std::array<std::uint8_t, 4> octets{};
    std::size_t pos = 0;
    for (std::size_t i = 0; i < octets.size(); ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != '.') return std::nullopt;
            ++pos;
        }
        const std::size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
            value = value * 10 + static_cast<unsigned>(text[pos] - '0');
            ++pos;
        }
        const std::size_t digits = pos - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
        octets[i] = static_cast<std::uint8_t>(value);
    }
    if (pos != text.size()) return std::nullopt;
    std::uint32_t address = 0;
    std::memcpy(&address, octets.data(), sizeof address);
    return address;
}

std::optional<std::string> CanonicalIpv4Text(std::string_view text) {
    if (!ParseIpv4Address(text)) return std::nullopt;
    return std::string(TrimAddressBlanks(text));
}

}  // namespace velk
