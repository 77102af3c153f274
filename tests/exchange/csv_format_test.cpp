// Field texts of the CSV tag list: numbers, access, locations, data types, header lines.
#include "exchange/csv_format.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>

#include "model/o_modbus_tag.h"
#include "model/o_tag.h"
#include "model/variant.h"

namespace velk {
namespace {

std::string PrintfG(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

TEST(CsvNumbers, GeneralFormatMatchesTheCLibrarysPercentG) {
    const double values[] = {0.0,    1.0,     -2.5,      100.0,     1e6,         123456789.0,
                             0.0001, 0.00001, 1.0 / 3.0, 99999.95,  999999.5,    -1e-300,
                             1e300,  65535.0, 0.1 + 0.2, 12345.678, -0.000123456};
    for (double value : values) EXPECT_EQ(FormatGeneral(value), PrintfG(value)) << value;
}

TEST(CsvNumbers, GeneralFormatIgnoresTheProcessLocale) {
    // The GUI toolkit sets the user's locale; a decimal comma would split the field.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no de_DE locale";
    EXPECT_EQ(FormatGeneral(1.5), "1.5");
    EXPECT_EQ(ParseDecimalPrefix("2.25"), 2.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(CsvNumbers, IntegerPrefix) {
    EXPECT_EQ(ParseIntegerPrefix(""), 0);
    EXPECT_EQ(ParseIntegerPrefix("abc"), 0);
    EXPECT_EQ(ParseIntegerPrefix("12x"), 12);
    EXPECT_EQ(ParseIntegerPrefix("-7"), -7);
    EXPECT_EQ(ParseIntegerPrefix("+9"), 9);
    EXPECT_EQ(ParseIntegerPrefix("  42"), 42);
    EXPECT_EQ(ParseIntegerPrefix("3.9"), 3);
    EXPECT_EQ(ParseIntegerPrefix("99999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(ParseIntegerPrefix("-99999999999999"), std::numeric_limits<std::int32_t>::min());
}

TEST(CsvNumbers, DecimalPrefix) {
    EXPECT_EQ(ParseDecimalPrefix(""), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("x1"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("-"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("."), 0.0);
    EXPECT_EQ(ParseDecimalPrefix("1.5e3x"), 1500.0);
    EXPECT_EQ(ParseDecimalPrefix("1e"), 1.0);
    EXPECT_EQ(ParseDecimalPrefix("2E-2"), 0.02);
    EXPECT_EQ(ParseDecimalPrefix(".5"), 0.5);
    EXPECT_EQ(ParseDecimalPrefix("7."), 7.0);
    EXPECT_EQ(ParseDecimalPrefix("+3.25"), 3.25);
    EXPECT_EQ(ParseDecimalPrefix("-0.75"), -0.75);
    EXPECT_EQ(ParseDecimalPrefix("1,5"), 1.0);
    EXPECT_EQ(ParseDecimalPrefix(" 12"), 12.0);
    EXPECT_EQ(ParseDecimalPrefix("nan"), 0.0);
    EXPECT_TRUE(std::isinf(ParseDecimalPrefix("1e999")));
    EXPECT_EQ(ParseDecimalPrefix("1e-999"), 0.0);
    EXPECT_EQ(ParseDecimalPrefix(FormatGeneral(-1.23457e-05)), -1.23457e-05);
}

TEST(CsvAccess, TextsBothWays) {
    EXPECT_EQ(AccessText(kAccessReadable), "RO");
    EXPECT_EQ(AccessText(kAccessWritable), "WO");
    EXPECT_EQ(AccessText(kAccessReadable | kAccessWritable), "RW");
    EXPECT_EQ(AccessText(0), "???");
    EXPECT_EQ(ParseAccessText("R"), kAccessReadable);
    EXPECT_EQ(ParseAccessText("RO"), kAccessReadable);
    EXPECT_EQ(ParseAccessText("W"), kAccessWritable);
    EXPECT_EQ(ParseAccessText("WO"), kAccessWritable);
    EXPECT_EQ(ParseAccessText("RW"), kAccessReadable | kAccessWritable);
    EXPECT_EQ(ParseAccessText("WR"), kAccessReadable | kAccessWritable);
    EXPECT_EQ(ParseAccessText("rw"), 0);
    EXPECT_EQ(ParseAccessText(""), 0);
    EXPECT_EQ(ParseAccessText("???"), 0);
    EXPECT_EQ(ParseAccessText("XW"), kAccessWritable);
    EXPECT_EQ(ParseAccessText("XR"), kAccessReadable);
    EXPECT_EQ(ParseAccessText("ROW"), kAccessReadable);
}

TEST(CsvLocation, PrefixSelectsTableAndTheRestIsOneBased) {
    struct Case {
        const char* text;
        std::int32_t kind;
        std::uint16_t address;
    };
    const Case cases[] = {{"000001", kOutputCoil, 0},     {"100001", kInputStatus, 0},
                          {"300001", kInputRegister, 0},  {"400010", kHoldingRegister, 9},
                          {"E00001", kEventSignal, 0},    {"E65536", kEventSignal, 65535},
                          {"4", kHoldingRegister, 65535}, {"165536", kInputStatus, 65535},
                          {"0", kOutputCoil, 65535}};
    for (const Case& c : cases) {
        const auto location = ParseLocationText(c.text);
        ASSERT_TRUE(location.has_value()) << c.text;
        EXPECT_EQ(location->kind, c.kind) << c.text;
        EXPECT_EQ(location->address, c.address) << c.text;
    }
    for (const char* bad : {"", "200001", "e00001", "500001", " 400001", "X"})
        EXPECT_FALSE(ParseLocationText(bad).has_value()) << bad;
}

TEST(CsvLocation, ExportTextReadsBackAsTheSameLocation) {
    for (std::int32_t kind :
         {kInputStatus, kOutputCoil, kInputRegister, kHoldingRegister, kEventSignal}) {
        for (std::uint16_t address : {0, 1, 9, 9998, 65534}) {
            OModbusTag tag;
            tag.locationKind = kind;
            tag.address = address;
            const auto location = ParseLocationText(tag.GetAddressText());
            ASSERT_TRUE(location.has_value());
            EXPECT_EQ(location->kind, kind);
            EXPECT_EQ(location->address, address);
        }
    }
}

TEST(CsvDataType, ImportNames) {
    EXPECT_EQ(ParseDataTypeName("BOOL"), VT_BOOL);
    EXPECT_EQ(ParseDataTypeName("bool"), VT_BOOL);
    EXPECT_EQ(ParseDataTypeName("INT"), VT_I2);
    EXPECT_EQ(ParseDataTypeName("Uint"), VT_UI2);
    EXPECT_EQ(ParseDataTypeName("LONG"), VT_I4);
    EXPECT_EQ(ParseDataTypeName("real"), VT_R4);
    EXPECT_EQ(ParseDataTypeName("STRING"), VT_BSTR);
    EXPECT_EQ(ParseDataTypeName("double"), VT_R8);
    EXPECT_EQ(ParseDataTypeName("ULONG"), VT_UI4);
    EXPECT_EQ(ParseDataTypeName("???"), VT_I2);
    EXPECT_EQ(ParseDataTypeName(""), VT_I2);
}

TEST(CsvHeader, CommaAndTabLines) {
    const std::string comma =
        "Name,Description,Data type,Location,Access,InitValue,Conversion,RawMin,RawMax,EngMin,"
        "EngMax,Unit,Normal Prty,Normal Text,LoLo/Disc Alarm Value,LoLo/Disc Alarm Prty,"
        "LoLo/Disc Alarm Text,Low Alarm Value,Low Alarm Prty,Low Alarm Text,High Alarm Value,"
        "High Alarm Prty,High Alarm Text,HiHi Alarm Value,HiHi Alarm Prty,HiHi Alarm Text,"
        "Simulation type,Source,Condition,SubCondition,Attribute,Low Process Value,"
        "High Process Value,Default Display,Normal Ack,LoLo/Disc Alarm Ack,Low Alarm Ack,"
        "High Alarm Ack,HiHi Alarm Ack, Alam Area, Alarm Class";
    EXPECT_EQ(CsvHeaderLine(','), comma);
    std::string tab = comma;
    for (char& c : tab)
        if (c == ',') c = '\t';
    EXPECT_EQ(CsvHeaderLine('\t'), tab);
}

TEST(CsvFormats, IndexesAndTheirEncodings) {
    EXPECT_EQ(CsvFormatOfIndex(1).encoding, CsvEncoding::Latin1);
    EXPECT_EQ(CsvFormatOfIndex(2).encoding, CsvEncoding::Utf16Le);
    EXPECT_EQ(CsvFormatOfIndex(3).encoding, CsvEncoding::Utf8);
    EXPECT_EQ(CsvFormatOfIndex(4).encoding, CsvEncoding::Utf16Le);
    EXPECT_EQ(CsvFormatOfIndex(4).separator, '\t');
    for (int index : {1, 2, 3}) EXPECT_EQ(CsvFormatOfIndex(index).separator, ',');
    // A document that never chose a format exports the first one.
    EXPECT_EQ(CsvFormatOfIndex(0).encoding, CsvEncoding::Latin1);
    EXPECT_EQ(CsvFormatOfIndex(0).separator, ',');
}

}  // namespace
}  // namespace velk
