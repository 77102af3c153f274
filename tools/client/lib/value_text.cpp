#include "tools/client/lib/value_text.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "tools/client/lib/time_text.h"

namespace velk::client {
namespace {

struct TypeInfo {
    VarType type;
    const char* name;
};

constexpr TypeInfo kTypeNames[] = {
    {VT_EMPTY, "VT_EMPTY"}, {VT_NULL, "VT_NULL"},   {VT_I2, "VT_I2"},     {VT_I4, "VT_I4"},
    {VT_R4, "VT_R4"},       {VT_R8, "VT_R8"},       {VT_CY, "VT_CY"},     {VT_DATE, "VT_DATE"},
    {VT_BSTR, "VT_BSTR"},   {VT_ERROR, "VT_ERROR"}, {VT_BOOL, "VT_BOOL"}, {VT_I1, "VT_I1"},
    {VT_UI1, "VT_UI1"},     {VT_UI2, "VT_UI2"},     {VT_UI4, "VT_UI4"},   {VT_I8, "VT_I8"},
    {VT_UI8, "VT_UI8"},     {VT_INT, "VT_INT"},     {VT_UINT, "VT_UINT"},
};

struct IntegerRange {
    bool isSigned;
    std::int64_t low;
    std::uint64_t high;
};

bool IntegerRangeOf(VarType type, IntegerRange& range) {
    switch (type) {
        case VT_I1:
            range = {true, -128, 127};
            return true;
        case VT_I2:
            range = {true, -32768, 32767};
            return true;
        case VT_I4:
        case VT_INT:
            range = {true, std::numeric_limits<std::int32_t>::min(), 0x7FFFFFFFull};
            return true;
        case VT_I8:
            range = {true, std::numeric_limits<std::int64_t>::min(),
                     static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())};
            return true;
        case VT_UI1:
            range = {false, 0, 0xFFull};
            return true;
        case VT_UI2:
            range = {false, 0, 0xFFFFull};
            return true;
        case VT_UI4:
        case VT_UINT:
            range = {false, 0, 0xFFFFFFFFull};
            return true;
        case VT_UI8:
            range = {false, 0, std::numeric_limits<std::uint64_t>::max()};
            return true;
        default:
            return false;
    }
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + '"';
}

template <class Number>
std::string Shortest(Number value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// A 64-bit real to 15 significant digits, as many as every double holds exactly, so that
// the rounding residue of scaling (7.000000000000001) reads as what it means (7).
std::string RealText(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

ParsedValue Refuse(std::string_view text, VarType type, const std::string& why) {
    ParsedValue parsed;
    parsed.problem = "bad value \"" + std::string(text) + "\" for " + TypeName(type) + ": " + why;
    return parsed;
}

ParsedValue Accept(ClientValue value) {
    ParsedValue parsed;
    parsed.ok = true;
    parsed.value = std::move(value);
    return parsed;
}

ParsedValue ParseBool(std::string_view text) {
    const std::string word = Lower(Trimmed(text));
    if (word == "true" || word == "1" || word == "-1" || word == "on" || word == "yes") {
        return Accept(ClientValue::Bool(true));
    }
    if (word == "false" || word == "0" || word == "off" || word == "no") {
        return Accept(ClientValue::Bool(false));
    }
    return Refuse(text, VT_BOOL, "not true/false, 1/0, on/off or yes/no");
}

ParsedValue ParseInteger(std::string_view text, VarType type, const IntegerRange& range) {
    std::string_view digits = Trimmed(text);
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto result =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || result.ec == std::errc::invalid_argument ||
        result.ptr != digits.data() + digits.size()) {
        return Refuse(text, type, "not a whole number");
    }
    const std::string limits =
        "out of range " + std::to_string(range.low) + " to " + std::to_string(range.high);
    if (result.ec == std::errc::result_out_of_range) return Refuse(text, type, limits);
    if (!range.isSigned) {
        if (negative && magnitude != 0) return Refuse(text, type, limits);
        if (magnitude > range.high) return Refuse(text, type, limits);
        return Accept(ClientValue::Unsigned(type, magnitude));
    }
    const std::uint64_t lowMagnitude = static_cast<std::uint64_t>(-(range.low + 1)) + 1;
    if (negative ? magnitude > lowMagnitude : magnitude > range.high)
        return Refuse(text, type, limits);
    const std::int64_t value =
        negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return Accept(ClientValue::Signed(type, value));
}

ParsedValue ParseReal(std::string_view text, VarType type) {
    const std::string_view digits = Trimmed(text);
    double value = 0.0;
    const char* begin = digits.data();
    if (!digits.empty() && digits.front() == '+') ++begin;
    const auto result = std::from_chars(begin, digits.data() + digits.size(), value);
    if (digits.empty() || result.ec == std::errc::invalid_argument ||
        result.ptr != digits.data() + digits.size()) {
        return Refuse(text, type, "not a number");
    }
    if (result.ec == std::errc::result_out_of_range || !std::isfinite(value)) {
        return Refuse(text, type, "not a finite number in range");
    }
    if (type == VT_R4 && std::fabs(value) > std::numeric_limits<float>::max()) {
        return Refuse(text, type, "out of the range of a 32-bit real");
    }
    if (type == VT_R4) value = static_cast<float>(value);
    return Accept(ClientValue::Real(type, value));
}

}  // namespace

std::string TypeName(VarType type) {
    if (type & VT_ARRAY) return "VT_ARRAY | " + TypeName(static_cast<VarType>(type & ~VT_ARRAY));
    for (const TypeInfo& info : kTypeNames) {
        if (info.type == type) return info.name;
    }
    char text[16];
    std::snprintf(text, sizeof text, "VT_0x%04X", type);
    return text;
}

std::string ValueText(const ClientValue& value) {
    if (const auto* elements = value.AsElements()) {
        std::string text = "[";
        for (std::size_t i = 0; i < elements->size(); ++i) {
            if (i) text += ", ";
            text += ValueText((*elements)[i]);
        }
        return text + "]";
    }
    switch (value.Type()) {
        case VT_EMPTY:
            return "(empty)";
        case VT_NULL:
            return "(null)";
        case VT_DATE:
            return value.AsReal() ? AutomationDateText(*value.AsReal()) : "(invalid date)";
        case VT_CY:
            if (const auto* units = value.AsSigned()) {
                // Currency counts ten-thousandths.
                const std::int64_t whole = *units / 10000;
                const std::int64_t part = *units % 10000;
                char text[48];
                std::snprintf(text, sizeof text, "%s%lld.%04lld",
                              (*units < 0 && whole == 0) ? "-" : "", static_cast<long long>(whole),
                              static_cast<long long>(part < 0 ? -part : part));
                return text;
            }
            break;
        case VT_ERROR:
            if (const auto* code = value.AsSigned()) {
                char text[16];
                std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(*code));
                return text;
            }
            break;
        default:
            break;
    }
    if (const auto* flag = value.AsBool()) return *flag ? "true" : "false";
    if (const auto* number = value.AsSigned()) return std::to_string(*number);
    if (const auto* number = value.AsUnsigned()) return std::to_string(*number);
    if (const auto* real = value.AsReal()) {
        return value.Type() == VT_R4 ? Shortest(static_cast<float>(*real)) : RealText(*real);
    }
    if (const auto* text = value.AsText()) return Quoted(*text);
    return "(" + TypeName(value.Type()) + ")";
}

ParsedValue ParseValue(std::string_view text, VarType type) {
    IntegerRange range{};
    if (type == VT_BOOL) return ParseBool(text);
    if (IntegerRangeOf(type, range)) return ParseInteger(text, type, range);
    if (type == VT_R4 || type == VT_R8) return ParseReal(text, type);
    if (type == VT_BSTR) return Accept(ClientValue::Text(std::string(text)));
    return Refuse(text, type, "values of this type cannot be written from the command line");
}

}  // namespace velk::client
