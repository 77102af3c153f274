// Writing the CSV tag list: columns of analog and binary tags, walk order, encodings and
// the failures of the file.
#include <gtest/gtest.h>

#include "exchange/csv_exporter.h"
#include "exchange/csv_format.h"
#include "exchange/text_lines.h"
#include "tests/exchange/exchange_test_support.h"

namespace velk {
namespace {

using testing::ExchangeFixture;

std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = line.find(separator, start);
        fields.push_back(line.substr(start, end - start));
        if (end == std::string::npos) return fields;
        start = end + 1;
    }
}

class CsvExport : public ::testing::Test, protected ExchangeFixture {
  protected:
    std::vector<std::string> Lines() {
        const std::string text = CsvExporter(document, Services()).BuildText(',');
        std::vector<std::string> lines;
        for (std::string_view line : SplitLines(text)) lines.emplace_back(line);
        return lines;
    }
    std::vector<std::string> Row(std::size_t index) { return Split(Lines().at(index), ','); }
};

TEST_F(CsvExport, AnalogTagColumns) {
    ODevice& device = AddDevice("Plant");
    OTagGroup& group = AddGroup(device, "Tank");
    OModbusTag& tag = AddTag(group, "Level", VT_R4, kHoldingRegister, 9);
    tag.description = "Tank level";
    tag.accessRights = kAccessReadable | kAccessWritable;
    tag.defaultDisplay = "bar";
    tag.simulationKind = kSimulationSine;
    auto& scaling = dynamic_cast<OAnalogData&>(*tag.scaling);
    scaling.conversion = OAnalogData::kLinear;
    scaling.initValue = 12.5;
    scaling.rawMinimum = 0;
    scaling.rawMaximum = 27648;
    scaling.engineeringMinimum = -10;
    scaling.engineeringMaximum = 1234567;
    scaling.units = "m";
    scaling.lowProcess = 0.001;
    scaling.highProcess = 88;
    auto& alarm = dynamic_cast<OAnalogAlarm&>(*tag.alarm);
    alarm.enableFlags = OAnalogAlarm::kLoLoBit | OAnalogAlarm::kHiHiBit | kNormalEventBit;
    alarm.acknowledgeFlags = OAnalogAlarm::kHiHiBit | kNormalEventBit;
    alarm.levelLimit = {1.5, 2, 3, 95.25};
    alarm.levelPriority = {700, 600, 500, 900};
    alarm.levelText = {"very low", "low", "high", "very high"};
    alarm.normalPriority = 100;
    alarm.normalText = "ok";
    alarm.area = "North";
    alarm.alarmClass = 7;

    const std::vector<std::string> expected = {"Plant.Tank.Level",
                                               "Tank level",
                                               "REAL",
                                               "400010",
                                               "RW",
                                               "12.5",
                                               "LIN",
                                               "0",
                                               "27648",
                                               "-10",
                                               "1.23457e+06",
                                               "m",
                                               "100",
                                               "ok",
                                               "1.5",
                                               "700",
                                               "very low",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "95.25",
                                               "900",
                                               "very high",
                                               "Sine",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "0.001",
                                               "88",
                                               "bar",
                                               "Yes",
                                               "No",
                                               "No",
                                               "No",
                                               "Yes",
                                               "North",
                                               "7"};
    EXPECT_EQ(Row(1), expected);
}

TEST_F(CsvExport, AnalogWithoutConversionLeavesTheRangeColumnsEmpty) {
    ODevice& device = AddDevice("D");
    OModbusTag& tag = AddTag(device, "Count", VT_UI2, kInputRegister, 0);
    tag.accessRights = 0;
    dynamic_cast<OAnalogData&>(*tag.scaling).units = "pcs";  // not written without scaling
    const std::vector<std::string> row = Row(1);
    ASSERT_EQ(row.size(), kCsvColumnCount);
    EXPECT_EQ(row[kColDataType], "UINT");
    EXPECT_EQ(row[kColLocation], "300001");
    EXPECT_EQ(row[kColAccess], "???");
    EXPECT_EQ(row[kColInitValue], "0");
    for (std::size_t c : {kColConversion, kColRawMin, kColRawMax, kColEngMin, kColEngMax, kColUnit,
                          kColLowProcess, kColHighProcess, kColNormalPriority, kColLoLoValue})
        EXPECT_EQ(row[c], "") << c;
    EXPECT_EQ(row[kColSimulation], "Ramp");
}

TEST_F(CsvExport, BinaryTagColumns) {
    ODevice& device = AddDevice("D");
    OModbusTag& tag = AddTag(device, "Door", VT_BOOL, kEventSignal, 4);
    dynamic_cast<OBinaryData&>(*tag.scaling).conversion = OBinaryData::kInverted;
    dynamic_cast<OBinaryData&>(*tag.scaling).initValue = 1;
    auto& alarm = dynamic_cast<OBinaryAlarm&>(*tag.alarm);
    alarm.enableFlags = OBinaryAlarm::kOnFalse;
    alarm.acknowledgeFlags = OBinaryAlarm::kOnFalse;
    alarm.alarmPriority = 800;
    alarm.alarmText = "Door open";
    alarm.source = "Gate";
    const int pump = space.FindCondition("Pump");
    ASSERT_GE(pump, 4);
    alarm.userCondition = static_cast<std::uint32_t>(pump) << 16 | 9;  // Pump / Wet
    alarm.attributeFlag = 1;
    tag.simulationKind = kSimulationNone;

    const std::vector<std::string> expected = {
        "D.Door", "",   "BOOL", "E00005", "RO",   "1",         "INV",  "",    "",     "", "",
        "",       "",   "",     "0",      "800",  "Door open", "",     "",    "",     "", "",
        "",       "",   "",     "",       "None", "Gate",      "Pump", "Wet", "TRUE", "", "",
        "",       "No", "Yes",  "",       "",     "",          "",     "0"};
    EXPECT_EQ(Row(1), expected);

    alarm.enableFlags = OBinaryAlarm::kOnTrue;
    alarm.userCondition = 0;
    alarm.attributeFlag = 0;
    const std::vector<std::string> row = Row(1);
    EXPECT_EQ(row[kColLoLoValue], "1");
    EXPECT_EQ(row[kColCondition], "");
    EXPECT_EQ(row[kColAttribute], "FALSE");
}

TEST_F(CsvExport, LocationTextsOfEveryTable) {
    ODevice& device = AddDevice("D");
    AddTag(device, "A", VT_BOOL, kOutputCoil, 0);
    AddTag(device, "B", VT_BOOL, kInputStatus, 0);
    AddTag(device, "C", VT_I2, kInputRegister, 0);
    AddTag(device, "D", VT_I2, kHoldingRegister, 0);
    AddTag(device, "E", VT_BOOL, kEventSignal, 0);
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 6u);
    const char* expected[] = {"000001", "100001", "300001", "400001", "E00001"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Split(lines[i + 1], ',')[kColLocation], expected[i]);
}

TEST_F(CsvExport, DataTypeNames) {
    ODevice& device = AddDevice("D");
    const std::pair<std::uint16_t, const char*> types[] = {
        {VT_BOOL, "BOOL"}, {VT_I2, "INT"},      {VT_UI2, "UINT"},  {VT_I4, "LONG"},
        {VT_R4, "REAL"},   {VT_BSTR, "STRING"}, {VT_R8, "DOUBLE"}, {VT_UI4, "ULONG"}};
    int n = 0;
    for (const auto& [type, name] : types)
        AddTag(device, "T" + std::to_string(n++), type, kHoldingRegister, 0);
    AddTag(device, "T9", VT_I2, kHoldingRegister, 0).dataType = 77;
    const std::vector<std::string> lines = Lines();
    n = 0;
    for (const auto& [type, name] : types)
        EXPECT_EQ(Split(lines.at(1 + n++), ',')[kColDataType], name);
    EXPECT_EQ(Split(lines.at(9), ',')[kColDataType], "???");
}

TEST_F(CsvExport, DepthFirstWalkWithOwnTagsBeforeGroups) {
    ODevice& a = AddDevice("A");
    ODevice& b = AddDevice("B");
    OTagGroup& g1 = AddGroup(a, "G1");
    OTagGroup& g2 = AddGroup(a, "G2");
    OTagGroup& inner = AddGroup(g1, "Inner");
    AddTag(b, "t5", VT_I2, kHoldingRegister, 0);
    AddTag(inner, "t3", VT_I2, kHoldingRegister, 0);
    AddTag(g2, "t4", VT_I2, kHoldingRegister, 0);
    AddTag(g1, "t2", VT_I2, kHoldingRegister, 0);
    AddTag(a, "t1b", VT_I2, kHoldingRegister, 0);
    AddTag(a, "t1a", VT_I2, kHoldingRegister, 0);
    AddTag(document.rootGroup, "loose", VT_I2, kHoldingRegister, 0);
    std::vector<std::string> names;
    for (const std::string& line : Lines()) names.push_back(Split(line, ',')[0]);
    const std::vector<std::string> expected = {"Name",    "loose",         "A.t1a",   "A.t1b",
                                               "A.G1.t2", "A.G1.Inner.t3", "A.G2.t4", "B.t5"};
    EXPECT_EQ(names, expected);
}

TEST_F(CsvExport, LineEndsInsideTextsBecomeSpaces) {
    OModbusTag& tag = AddTag(AddDevice("D"), "T", VT_I2, kHoldingRegister, 0);
    tag.description = "first\r\nD.Injected,,INT,400001";
    tag.alarm->area = "a\nb";
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Split(lines[1], ',')[kColDescription], "first  D.Injected");
    EXPECT_EQ(Split(lines[1], ',').back(), "0");
    EXPECT_NE(lines[1].find(",a b,0"), std::string::npos);
}

TEST_F(CsvExport, PathsUseTheAreaDelimiter) {
    ModelSettings settings;
    settings.areaDelimiter = "/";
    document.SetSettings(settings);
    OTagGroup& group = AddGroup(AddDevice("D"), "G");
    AddTag(group, "T", VT_I2, kHoldingRegister, 0);
    EXPECT_EQ(Row(1)[0], "D/G/T");
}

TEST_F(CsvExport, EveryFormatWritesItsEncodingAndSeparator) {
    OModbusTag& tag = AddTag(AddDevice("D"), "Caf\xC3\xA9", VT_I2, kHoldingRegister, 0);
    tag.description = "x";
    const CsvExporter exporter(document, Services());
    for (int index = 1; index <= 4; ++index) {
        const std::string path = "/out" + std::to_string(index) + ".csv";
        ASSERT_TRUE(exporter.Export(path, index));
        const std::string& bytes = store.files.at(path);
        const char separator = index == 4 ? '\t' : ',';
        std::string expected;
        ASSERT_TRUE(EncodeTextFile(exporter.BuildText(separator), CsvFormatOfIndex(index).encoding,
                                   expected));
        EXPECT_EQ(bytes, expected);
    }
    EXPECT_TRUE(store.files.at("/out1.csv").starts_with("Name,Description,"));
    EXPECT_NE(store.files.at("/out1.csv").find("D.Caf\xE9,x,INT,400001,RO,"), std::string::npos);
    EXPECT_TRUE(store.files.at("/out2.csv").starts_with("\xFF\xFEN\0a\0"));
    EXPECT_TRUE(store.files.at("/out3.csv").starts_with("\xEF\xBB\xBFName,"));
    EXPECT_NE(store.files.at("/out3.csv").find("\r\nD.Caf\xC3\xA9,x,"), std::string::npos);
    EXPECT_EQ(store.files.size(), 4u);  // nothing left over beside the targets
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CsvExport, CharacterAboveFFInTheEightBitFormatFailsAndKeepsThePreviousFile) {
    OModbusTag& tag = AddTag(AddDevice("D"), "T", VT_I2, kHoldingRegister, 0);
    tag.description = "\xCE\xA9 (ohm)";
    store.files["/tags.csv"] = "previous";
    EXPECT_FALSE(CsvExporter(document, Services()).Export("/tags.csv", kCsvAnsi));
    EXPECT_EQ(ui.messages, std::vector<std::string>{"File exception while writing."});
    EXPECT_EQ(store.files.at("/tags.csv"), "previous");
    // The other formats hold it.
    ui.messages.clear();
    EXPECT_TRUE(CsvExporter(document, Services()).Export("/tags.csv", kCsvUtf8));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CsvExport, FileFailures) {
    AddTag(AddDevice("D"), "T", VT_I2, kHoldingRegister, 0);
    store.files["/tags.csv"] = "previous";
    store.createError = FileError::kAccessDenied;
    EXPECT_FALSE(CsvExporter(document, Services()).Export("/tags.csv", kCsvAnsi));
    EXPECT_EQ(ui.messages.back(), "Unable to create file.");

    store.createError = FileError::kNone;
    store.writeError = FileError::kDiskFull;
    EXPECT_FALSE(CsvExporter(document, Services()).Export("/tags.csv", kCsvAnsi));
    EXPECT_EQ(ui.messages.back(), "File exception while writing.");
    EXPECT_EQ(store.files.at("/tags.csv"), "previous");
    EXPECT_EQ(store.files.size(), 1u);  // the partial file was removed
}

}  // namespace
}  // namespace velk
