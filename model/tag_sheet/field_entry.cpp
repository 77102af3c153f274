#include "model/tag_sheet/field_entry.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace velk {
namespace {

std::string Trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

bool AllDigits(const std::string& text, std::size_t from) {
    if (from >= text.size()) return false;
    for (std::size_t i = from; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

}  // namespace

std::string EnterIntegerBetweenMessage(std::int64_t low, std::int64_t high) {
    return "Enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".";
}

std::optional<std::int32_t> ParseSignedEntry(const std::string& text) {
    const std::string t = Trimmed(text);
    const std::size_t digits = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
    if (!AllDigits(t, digits)) return std::nullopt;
    std::int64_t value = 0;
    const char* first = t.data() + digits;
    auto [end, ec] = std::from_chars(first, t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    if (t[0] == '-') value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::optional<std::uint32_t> ParseUnsignedEntry(const std::string& text) {
    const std::string t = Trimmed(text);
    if (!AllDigits(t, 0)) return std::nullopt;
    std::uint32_t value = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
    return value;
}

std::optional<double> ParseNumberEntry(const std::string& text) {
    const std::string t = Trimmed(text);
    if (t.empty()) return std::nullopt;
    // Only decimal notation: no hexadecimal floats, no "inf" or "nan" words.
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.' &&
            c != 'e' && c != 'E')
            return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string FormatNumberEntry(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return "0";
    return std::string(buffer, end);
}

void FieldReader::Refuse(int field, std::string message) {
    error_ = FieldError{field, std::move(message)};
}

void FieldReader::ReadSigned(int field, const std::string& text, std::int32_t& out) {
    if (error_) return;
    if (auto v = ParseSignedEntry(text)) {
        out = *v;
    } else {
        Refuse(field, kMsgEnterInteger);
    }
}

void FieldReader::ReadUnsigned(int field, const std::string& text, std::uint32_t& out) {
    if (error_) return;
    if (auto v = ParseUnsignedEntry(text)) {
        out = *v;
    } else {
        Refuse(field, kMsgEnterPositiveInteger);
    }
}

void FieldReader::ReadNumber(int field, const std::string& text, double& out) {
    if (error_) return;
    if (auto v = ParseNumberEntry(text)) {
        out = *v;
    } else {
        Refuse(field, kMsgEnterNumber);
    }
}

void FieldReader::ReadSignedInRange(int field, const std::string& text, std::int32_t low,
                                    std::int32_t high, std::int32_t& out) {
    if (error_) return;
    std::int32_t value = 0;
    ReadSigned(field, text, value);
    if (error_) return;
    if (value < low || value > high) {
        Refuse(field, EnterIntegerBetweenMessage(low, high));
        return;
    }
    out = value;
}

void FieldReader::ReadUnsignedInRange(int field, const std::string& text, std::uint32_t low,
                                      std::uint32_t high, std::uint32_t& out) {
    if (error_) return;
    std::uint32_t value = 0;
    ReadUnsigned(field, text, value);
    if (error_) return;
    if (value < low || value > high) {
        RefuseRange(field, low, high);
        return;
    }
    out = value;
}

void FieldReader::ReadNonNegativeNumber(int field, const std::string& text, double& out) {
    if (error_) return;
    const std::optional<double> v = ParseNumberEntry(text);
    if (!v) {
        Refuse(field, kMsgEnterNumber);
    } else if (*v < 0.0) {
        Refuse(field, kMsgEnterNonNegativeNumber);
    } else {
        out = *v;
    }
}

void FieldReader::RefuseRange(int field, std::int64_t low, std::int64_t high) {
    if (!error_) Refuse(field, EnterIntegerBetweenMessage(low, high));
}

}  // namespace velk
