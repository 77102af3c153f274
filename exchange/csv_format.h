#pragma once
// The CSV tag list format: the header lines, the column numbers, the four export formats
// and the field texts shared by the exporter and the importer.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velk {

inline constexpr std::size_t kCsvColumnCount = 41;

// 0-based column indexes.
enum CsvColumn : std::size_t {
    kColName = 0,
    kColDescription,
    kColDataType,
    kColLocation,
    kColAccess,
    kColInitValue,
    kColConversion,
    kColRawMin,
    kColRawMax,
    kColEngMin,
    kColEngMax,
    kColUnit,
    kColNormalPriority,
    kColNormalText,
    kColLoLoValue,  // LoLo limit, or the discrete alarm state; then priority and text
    kColLowValue = kColLoLoValue + 3,
    kColHighValue = kColLowValue + 3,
    kColHiHiValue = kColHighValue + 3,
    kColSimulation = kColHiHiValue + 3,
    kColSource,
    kColCondition,
    kColSubcondition,
    kColAttribute,
    kColLowProcess,
    kColHighProcess,
    kColDefaultDisplay,
    kColNormalAck,
    kColLoLoAck,  // then Low, High, HiHi
    kColArea = kColLoLoAck + 4,
    kColAlarmClass,
};
static_assert(kColAlarmClass + 1 == kCsvColumnCount);

// The field columns after the 41: a tag's byte order and register bit, an analog alarm's
// deadband and on-delay (ms). A list has them only when one of its tags sets one of them.
enum CsvFieldColumn : std::size_t {
    kColByteOrder = kCsvColumnCount,
    kColRegisterBit,
    kColDeadband,
    kColOnDelay,
};
inline constexpr std::size_t kCsvExtendedColumnCount = kColOnDelay + 1;

// The export formats, by the export dialog's filter index.
inline constexpr std::int32_t kCsvAnsi = 1;
inline constexpr std::int32_t kCsvUnicode = 2;
inline constexpr std::int32_t kCsvUtf8 = 3;
inline constexpr std::int32_t kCsvUnicodeText = 4;

enum class CsvEncoding { Latin1, Utf16Le, Utf8 };

struct CsvFormat {
    CsvEncoding encoding = CsvEncoding::Latin1;
    char separator = ',';
};

// The format of a filter index; an index outside 1..4 (a document that never chose one)
// is the first format.
CsvFormat CsvFormatOfIndex(std::int32_t index);

// The header line without its line end, for the separator; with the field columns when
// extended.
std::string CsvHeaderLine(char separator, bool extended = false);

struct CsvHeader {
    char separator = ',';
    bool extended = false;
};
// The separator and columns of a header line (case ignored); none for any other line.
std::optional<CsvHeader> ParseCsvHeader(std::string_view line);

// "%g" (six significant digits, shorter of fixed and exponential) and "%d", always with
// "." as the decimal point whatever the process locale.
std::string FormatGeneral(double value);
std::string FormatDecimal(std::int64_t value);

// A decimal integer prefix after leading blanks (empty or non-numeric text gives 0),
// saturated to 32 bits.
std::int32_t ParseIntegerPrefix(std::string_view text);
// A floating-point prefix after leading blanks: sign, digits, "." and digits, exponent
// (empty or non-numeric text gives 0).
double ParseDecimalPrefix(std::string_view text);

// "RO", "WO", "RW", or "???" for no rights.
std::string AccessText(std::uint16_t rights);
// Read right for 'R', write right for 'W', each in the first or second place.
std::uint16_t ParseAccessText(std::string_view text);

struct CsvLocation {
    std::int32_t kind = 0;
    std::uint16_t address = 0;
};
// The location kind from the first character, the address from the rest minus 1; none
// for an unknown first character or an empty text.
std::optional<CsvLocation> ParseLocationText(std::string_view text);

// Data type code of an import name (case ignored): BOOL, INT, UINT, LONG, ULONG, REAL,
// DOUBLE, STRING, LLONG, ULLONG; every other name is INT.
std::uint16_t ParseDataTypeName(std::string_view text);
// The registers an imported tag of that type takes (a STRING two, as imports set it).
std::uint16_t RegistersOfImportedType(std::uint16_t type);

// Import's name rules, case ignored.
bool EqualsYes(std::string_view text);

}  // namespace velk
