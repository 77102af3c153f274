// Exporting and importing again reproduces the tags, in every format.
#include <gtest/gtest.h>

#include "exchange/csv_exporter.h"
#include "exchange/csv_format.h"
#include "exchange/csv_importer.h"
#include "tests/exchange/exchange_test_support.h"

namespace velk {
namespace {

using testing::ExchangeFixture;

// A configuration with a tag of every data type, in nested groups, with scalings and
// alarms set to values of at most six significant digits.
void BuildPlant(ExchangeFixture& f, bool wideCharacters) {
    ODevice& device = f.AddDevice(wideCharacters ? "Stati\xCE\xBFn" : "Stati\xC3\xB3n");
    OTagGroup& group = f.AddGroup(device, "Tanks");
    OTagGroup& inner = f.AddGroup(group, "North");
    const std::uint16_t types[] = {VT_BOOL, VT_I2, VT_UI2, VT_I4, VT_R4, VT_BSTR, VT_R8, VT_UI4};
    int n = 0;
    for (std::uint16_t type : types) {
        OTagGroup& owner = n % 3 == 0   ? static_cast<OTagGroup&>(device)
                           : n % 3 == 1 ? group
                                        : inner;
        const bool isBool = type == VT_BOOL;
        OModbusTag& tag =
            f.AddTag(owner, "T" + std::to_string(n) + "_" + DataTypeName(type), type,
                     isBool ? kEventSignal : kHoldingRegister, static_cast<std::uint16_t>(100 + n));
        tag.description =
            "Beh\xC3\xA4lter " + std::to_string(n) + (wideCharacters ? " \xE2\x82\xAC" : "");
        tag.accessRights = n % 2 ? kAccessReadable : kAccessReadable | kAccessWritable;
        tag.defaultDisplay = "disp" + std::to_string(n);
        tag.simulationKind = static_cast<std::int16_t>(n % 4);
        tag.size = RegistersOfImportedType(type);
        OTagAlarm& alarm = *tag.alarm;
        alarm.area = "Area " + std::to_string(n);
        alarm.alarmClass = n * 10;
        alarm.normalPriority = 100;
        alarm.normalText = "normal";
        alarm.enableFlags = kNormalEventBit;
        alarm.acknowledgeFlags = kNormalEventBit;
        if (isBool) {
            auto& scaling = dynamic_cast<OBinaryData&>(*tag.scaling);
            scaling.conversion = OBinaryData::kInverted;
            scaling.initValue = 1;
            auto& binary = dynamic_cast<OBinaryAlarm&>(alarm);
            binary.enableFlags |= OBinaryAlarm::kOnTrue;
            binary.acknowledgeFlags |= OBinaryAlarm::kOnTrue;
            binary.alarmPriority = 750;
            binary.alarmText = "on";
            binary.source = "Src";
            binary.userCondition = 5u * 65536u + 10u;  // Valve / Stuck
            binary.attributeFlag = 1;
        } else {
            auto& scaling = dynamic_cast<OAnalogData&>(*tag.scaling);
            scaling.conversion = n % 2 ? OAnalogData::kLinear : OAnalogData::kSquareRoot;
            scaling.initValue = 1.25 * n;
            scaling.rawMinimum = -27648;
            scaling.rawMaximum = 27648;
            scaling.engineeringMinimum = -0.5;
            scaling.engineeringMaximum = 123456;
            scaling.units = "m\xC2\xB3/h";
            scaling.lowProcess = 0.001;
            scaling.highProcess = 1.5e-7;
            auto& analog = dynamic_cast<OAnalogAlarm&>(alarm);
            analog.enableFlags |= OAnalogAlarm::kLoLoBit | OAnalogAlarm::kHighBit;
            analog.acknowledgeFlags |= OAnalogAlarm::kHighBit;
            analog.levelLimit = {-1.5, 0, 99.75, 0};
            analog.levelPriority = {900, 0, 600, 0};
            analog.levelText = {"very low", "", "high", ""};
        }
        f.document.FindDevice(device.name)->UpdateScanLists(&tag);
        ++n;
    }
}

void ExpectSameTag(const OModbusTag& a, const OModbusTag& b, const std::string& delimiter) {
    SCOPED_TRACE(a.GetFullPath(delimiter));
    EXPECT_EQ(b.GetFullPath(delimiter), a.GetFullPath(delimiter));
    EXPECT_EQ(b.description, a.description);
    EXPECT_EQ(b.dataType, a.dataType);
    EXPECT_EQ(b.locationKind, a.locationKind);
    EXPECT_EQ(b.address, a.address);
    EXPECT_EQ(b.accessRights, a.accessRights);
    EXPECT_EQ(b.defaultDisplay, a.defaultDisplay);
    EXPECT_EQ(b.simulationKind, a.simulationKind);
    EXPECT_EQ(b.size, a.size);
    ASSERT_TRUE(b.scaling && b.alarm);
    EXPECT_TRUE(b.scaling->IsEqual(*a.scaling));
    EXPECT_TRUE(b.alarm->IsEqualAll(*a.alarm));
}

class CsvRoundTrip : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(CsvRoundTrip, ExportThenImportReproducesEveryTag) {
    const std::int32_t format = GetParam();
    const bool wide = format != kCsvAnsi;  // the 8-bit format holds only ISO 8859-1
    ExchangeFixture source;
    BuildPlant(source, wide);
    ASSERT_TRUE(CsvExporter(source.document, source.Services()).Export("/tags.csv", format));

    ExchangeFixture target;
    target.store.files = source.store.files;
    target.document.csvFilterIndex = kCsvAnsi;
    const ImportReport report =
        CsvImporter(target.document, target.Services()).Import("/tags.csv", ImportMode::Replacing);
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.badLines, 0u);
    EXPECT_TRUE(target.ui.messages.empty());
    EXPECT_EQ(target.document.csvFilterIndex, format);
    ASSERT_EQ(target.document.documentTagList.size(), source.document.documentTagList.size());
    for (const OModbusTag* tag : source.document.documentTagList) {
        const std::string path = tag->GetFullPath(".");
        const OModbusTag* copy = target.document.FindTag(path, ".");
        ASSERT_NE(copy, nullptr) << path;
        ExpectSameTag(*tag, *copy, ".");
    }
    // The scan lists hold the same tags by path, in the same order.
    const ODevice& a = *source.document.Devices().front();
    const ODevice& b = *target.document.Devices().front();
    auto paths = [](const TagList& list) {
        std::vector<std::string> out;
        for (const OModbusTag* tag : list) out.push_back(tag->GetFullPath("."));
        return out;
    };
    EXPECT_EQ(paths(b.eventSignalScanList), paths(a.eventSignalScanList));
    EXPECT_EQ(paths(b.alarmScanList), paths(a.alarmScanList));

    // Reimporting into the source in updating mode changes nothing but the two types.
    const std::size_t before = source.document.documentTagList.size();
    const ImportReport again =
        CsvImporter(source.document, source.Services()).Import("/tags.csv", ImportMode::Updating);
    EXPECT_TRUE(again.completed);
    EXPECT_EQ(source.document.documentTagList.size(), before);
    for (const OModbusTag* tag : target.document.documentTagList) {
        const OModbusTag* updated = source.document.FindTag(tag->GetFullPath("."), ".");
        ASSERT_NE(updated, nullptr);
        ExpectSameTag(*tag, *updated, ".");
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFormat, CsvRoundTrip,
                         ::testing::Values(kCsvAnsi, kCsvUnicode, kCsvUtf8, kCsvUnicodeText));

TEST(CsvRoundTripNumbers, SixSignificantDigitsSurvive) {
    ExchangeFixture source;
    ODevice& device = source.AddDevice("D");
    OModbusTag& tag = source.AddTag(device, "T", VT_R4, kHoldingRegister, 0);
    auto& scaling = dynamic_cast<OAnalogData&>(*tag.scaling);
    scaling.conversion = OAnalogData::kLinear;
    scaling.engineeringMaximum = 3.14159265;
    scaling.rawMaximum = 1234567.0;
    ASSERT_TRUE(CsvExporter(source.document, source.Services()).Export("/t.csv", kCsvUtf8));
    ExchangeFixture target;
    target.store.files = source.store.files;
    CsvImporter(target.document, target.Services()).Import("/t.csv", ImportMode::Replacing);
    const OModbusTag* copy = target.document.FindTag("D.T", ".");
    ASSERT_NE(copy, nullptr);
    const auto& read = dynamic_cast<const OAnalogData&>(*copy->scaling);
    EXPECT_EQ(read.engineeringMaximum, 3.14159);
    EXPECT_EQ(read.rawMaximum, 1.23457e6);
}

// The field columns come after the 41 only when a tag uses one of them, and carry the
// settings through an export and an import; a list of 41 columns imports with defaults.
TEST(CsvRoundTripFields, FieldColumnsOnlyWhenUsedAndBackAgain) {
    ExchangeFixture source;
    ODevice& device = source.AddDevice("D");
    OModbusTag& total = source.AddTag(device, "Total", VT_I8, kHoldingRegister, 10);
    OModbusTag& flag = source.AddTag(device, "Flag", VT_BOOL, kInputRegister, 20);
    source.AddTag(device, "Plain", VT_UI8, kHoldingRegister, 30);
    ASSERT_TRUE(CsvExporter(source.document, source.Services()).Export("/old.csv", kCsvUtf8));
    const std::string oldList = source.store.files.at("/old.csv");
    EXPECT_NE(oldList.find(CsvHeaderLine(',') + "\r\n"), std::string::npos);

    total.byteOrder = kByteOrderDCBA;
    auto& alarm = dynamic_cast<OAnalogAlarm&>(*total.alarm);
    alarm.deadband = 0.25;
    alarm.onDelay = 1500;
    flag.registerBit = 15;
    ASSERT_TRUE(CsvExporter(source.document, source.Services()).Export("/new.csv", kCsvUtf8));
    EXPECT_NE(source.store.files.at("/new.csv").find(CsvHeaderLine(',', true) + "\r\n"),
              std::string::npos);

    ExchangeFixture target;
    target.store.files = source.store.files;
    ASSERT_EQ(CsvImporter(target.document, target.Services())
                  .Import("/new.csv", ImportMode::Replacing)
                  .badLines,
              0u);
    const OModbusTag* t = target.document.FindTag("D.Total", ".");
    const OModbusTag* b = target.document.FindTag("D.Flag", ".");
    const OModbusTag* p = target.document.FindTag("D.Plain", ".");
    ASSERT_TRUE(t && b && p);
    EXPECT_EQ(t->dataType, VT_I8);
    EXPECT_EQ(t->size, 4);
    EXPECT_EQ(t->byteOrder, kByteOrderDCBA);
    EXPECT_TRUE(t->alarm->IsEqualAll(alarm));
    EXPECT_EQ(b->registerBit, 15);
    EXPECT_TRUE(b->IsRegisterBit());
    EXPECT_EQ(p->dataType, VT_UI8);
    EXPECT_FALSE(p->HasFieldSettings());

    // The old list over the imported one: every field back at its default.
    CsvImporter(target.document, target.Services()).Import("/old.csv", ImportMode::Updating);
    EXPECT_FALSE(target.document.FindTag("D.Total", ".")->HasFieldSettings());
    EXPECT_FALSE(target.document.FindTag("D.Flag", ".")->HasFieldSettings());
}

TEST(CsvRoundTripExport, TabFormatFromTheImportIsUsedByTheNextExport) {
    ExchangeFixture f;
    f.AddTag(f.AddDevice("D"), "T", VT_I2, kHoldingRegister, 0);
    ASSERT_TRUE(CsvExporter(f.document, f.Services()).Export("/t.txt", kCsvUnicodeText));
    f.document.csvFilterIndex = kCsvAnsi;
    CsvImporter(f.document, f.Services()).Import("/t.txt", ImportMode::Updating);
    ASSERT_EQ(f.document.csvFilterIndex, kCsvUnicodeText);
    ASSERT_TRUE(
        CsvExporter(f.document, f.Services()).Export("/again.txt", f.document.csvFilterIndex));
    EXPECT_EQ(f.store.files.at("/again.txt"), f.store.files.at("/t.txt"));
}

}  // namespace
}  // namespace velk
