#include "exchange/csv_format.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "model/o_modbus_tag.h"
#include "model/o_tag.h"
#include "model/variant.h"
#include "platform/text.h"

namespace velk {
namespace {

constexpr const char* kHeaderNames[kCsvColumnCount] = {
    "Name",
    "Description",
    "Data type",
    "Location",
    "Access",
    "InitValue",
    "Conversion",
    "RawMin",
    "RawMax",
    "EngMin",
    "EngMax",
    "Unit",
    "Normal Prty",
    "Normal Text",
    "LoLo/Disc Alarm Value",
    "LoLo/Disc Alarm Prty",
    "LoLo/Disc Alarm Text",
    "Low Alarm Value",
    "Low Alarm Prty",
    "Low Alarm Text",
    "High Alarm Value",
    "High Alarm Prty",
    "High Alarm Text",
    "HiHi Alarm Value",
    "HiHi Alarm Prty",
    "HiHi Alarm Text",
    "Simulation type",
    "Source",
    "Condition",
    "SubCondition",
    "Attribute",
    "Low Process Value",
    "High Process Value",
    "Default Display",
    "Normal Ack",
    "LoLo/Disc Alarm Ack",
    "Low Alarm Ack",
    "High Alarm Ack",
    "HiHi Alarm Ack",
    " Alam Area",
    " Alarm Class",
};

constexpr const char* kFieldHeaderNames[kCsvExtendedColumnCount - kCsvColumnCount] = {
    "Byte Order",
    "Bit",
    "Deadband",
    "On Delay",
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipBlanks(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    return at;
}

std::size_t SkipDigits(std::string_view text, std::size_t at) {
    while (at < text.size() && IsDigit(text[at])) ++at;
    return at;
}

}  // namespace

CsvFormat CsvFormatOfIndex(std::int32_t index) {
    switch (index) {
        case kCsvUnicode:
            return {CsvEncoding::Utf16Le, ','};
        case kCsvUtf8:
            return {CsvEncoding::Utf8, ','};
        case kCsvUnicodeText:
            return {CsvEncoding::Utf16Le, '\t'};
        default:
            return {CsvEncoding::Latin1, ','};
    }
}

std::string CsvHeaderLine(char separator, bool extended) {
    std::string line;
    for (std::size_t i = 0; i < kCsvColumnCount; ++i) {
        if (i != 0) line += separator;
        line += kHeaderNames[i];
    }
    if (extended) {
        for (const char* name : kFieldHeaderNames) (line += separator) += name;
    }
    return line;
}

std::optional<CsvHeader> ParseCsvHeader(std::string_view line) {
    for (const char separator : {',', '\t'}) {
        for (const bool extended : {false, true}) {
            if (EqualsNoCase(line, CsvHeaderLine(separator, extended)))
                return CsvHeader{separator, extended};
        }
    }
    return std::nullopt;
}

std::string FormatGeneral(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return std::string(buffer, result.ptr);
}

std::string FormatDecimal(std::int64_t value) { return std::to_string(value); }

std::int32_t ParseIntegerPrefix(std::string_view text) {
    std::size_t at = SkipBlanks(text);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; at < text.size() && IsDigit(text[at]); ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max())
        value = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

double ParseDecimalPrefix(std::string_view text) {
    const std::size_t start = SkipBlanks(text);
    std::size_t at = start;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    const std::size_t mantissa = at;
    at = SkipDigits(text, at);
    bool anyDigit = at > mantissa;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fraction = at + 1;
        const std::size_t end = SkipDigits(text, fraction);
        if (end > fraction || anyDigit) {
            anyDigit = anyDigit || end > fraction;
            at = end;
        }
    }
    if (!anyDigit) return 0.0;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
        const std::size_t end = SkipDigits(text, exponent);
        if (end > exponent) at = end;
    }
    // from_chars takes no '+' and never looks at the locale.
    double value = 0.0;
    const char* first = text.data() + mantissa;
    const char* last = text.data() + at;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero, as the C library's conversion does.
        const std::size_t e = std::string_view(first, last - first).find_first_of("eE");
        const bool tiny = e != std::string_view::npos && first[e + 1] == '-';
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

std::string AccessText(std::uint16_t rights) {
    switch (rights) {
        case kAccessReadable:
            return "RO";
        case kAccessWritable:
            return "WO";
        case kAccessReadable | kAccessWritable:
            return "RW";
        default:
            return "???";
    }
}

std::uint16_t ParseAccessText(std::string_view text) {
    // Either order of the two letters gives both rights ("RW" and "WR").
    auto at = [text](std::size_t i, char c) { return text.size() > i && text[i] == c; };
    std::uint16_t rights = 0;
    if (at(0, 'R') || at(1, 'R')) rights |= kAccessReadable;
    if (at(0, 'W') || at(1, 'W')) rights |= kAccessWritable;
    return rights;
}

std::optional<CsvLocation> ParseLocationText(std::string_view text) {
    if (text.empty()) return std::nullopt;
    CsvLocation location;
    switch (text[0]) {
        case '0':
            location.kind = kOutputCoil;
            break;
        case '1':
            location.kind = kInputStatus;
            break;
        case '3':
            location.kind = kInputRegister;
            break;
        case '4':
            location.kind = kHoldingRegister;
            break;
        case 'E':
            location.kind = kEventSignal;
            break;
        default:
            return std::nullopt;
    }
    // 0 (no number) wraps to 65535, as an unsigned 16-bit address.
    location.address =
        static_cast<std::uint16_t>(std::int64_t{ParseIntegerPrefix(text.substr(1))} - 1);
    return location;
}

std::uint16_t ParseDataTypeName(std::string_view text) {
    if (EqualsNoCase(text, "BOOL")) return VT_BOOL;
    if (EqualsNoCase(text, "UINT")) return VT_UI2;
    if (EqualsNoCase(text, "LONG")) return VT_I4;
    // An exported ULONG or DOUBLE tag comes back as what it was, not as an INT of one
    // register whose values would be read from half of its registers.
    if (EqualsNoCase(text, "ULONG")) return VT_UI4;
    if (EqualsNoCase(text, "REAL")) return VT_R4;
    if (EqualsNoCase(text, "DOUBLE")) return VT_R8;
    if (EqualsNoCase(text, "STRING")) return VT_BSTR;
    if (EqualsNoCase(text, "LLONG")) return VT_I8;
    if (EqualsNoCase(text, "ULLONG")) return VT_UI8;
    return VT_I2;
}

std::uint16_t RegistersOfImportedType(std::uint16_t type) {
    switch (type) {
        case VT_I8:
        case VT_UI8:
        case VT_R8:
            return 4;
        case VT_I4:
        case VT_UI4:
        case VT_R4:
        case VT_BSTR:
            return 2;
        default:
            return 1;
    }
}

bool EqualsYes(std::string_view text) { return EqualsNoCase(text, "YES"); }

}  // namespace velk
