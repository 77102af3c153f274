// Reading CSV tag lists: header, paths, columns, modes, bad lines and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <map>
#include <mutex>

#include "exchange/csv_format.h"
#include "exchange/csv_importer.h"
#include "model/document_observer.h"
#include "model/document_services.h"
#include "model/locks.h"
#include "model/tag_list.h"
#include "tests/exchange/exchange_test_support.h"
#include "tests/support/lock_probe.h"

namespace velk {
namespace {

using testing::ExchangeFixture;
using Columns = std::map<std::size_t, std::string>;
using Messages = std::vector<std::string>;

// One record: the given columns, the others empty.
std::string Record(const Columns& columns, char separator = ',') {
    std::string line;
    for (std::size_t i = 0; i < kCsvColumnCount; ++i) {
        if (i != 0) line += separator;
        if (auto it = columns.find(i); it != columns.end()) line += it->second;
    }
    return line;
}

// A holding-register INT tag at the path.
std::string Simple(const std::string& path, const std::string& location = "400001") {
    return Record({{kColName, path}, {kColDataType, "INT"}, {kColLocation, location}});
}

std::string File(const std::vector<std::string>& records, char separator = ',') {
    std::string text = CsvHeaderLine(separator) + "\r\n";
    for (const std::string& record : records) text += record + "\r\n";
    return text;
}

class CountingObserver final : public IDocumentObserver {
  public:
    void OnDocumentUpdate(int hint, OObject*) override { hints.push_back(hint); }
    std::vector<int> hints;
};

class CsvImport : public ::testing::Test, protected ExchangeFixture {
  protected:
    ImportReport Import(const std::string& text, ImportMode mode = ImportMode::Replacing) {
        store.files["/in.csv"] = text;
        return CsvImporter(document, Services()).Import("/in.csv", mode);
    }
    OModbusTag* Find(const std::string& path) { return document.FindTag(path, "."); }
    std::vector<std::string> TagNames(const OTagGroup& group) {
        std::vector<std::string> names;
        for (const auto& tag : group.tagList) names.push_back(tag->name);
        return names;
    }
};

TEST_F(CsvImport, HeaderMustBeOneOfTheTwoLines) {
    ImportReport report = Import("Name,Description\r\n" + Simple("D.T") + "\r\n");
    EXPECT_FALSE(report.completed);
    EXPECT_EQ(ui.messages, Messages{"Bad CSV Header version."});
    EXPECT_TRUE(document.Devices().empty());
    EXPECT_FALSE(document.IsModified());

    ui.messages.clear();
    std::string lower = File({Simple("D.T")});
    std::transform(lower.begin(), lower.begin() + 30, lower.begin(),
                   [](char c) { return static_cast<char>(std::tolower(c)); });
    report = Import(lower);
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.importedLines, 1u);
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CsvImport, EmptyFileHasABadHeader) {
    Import("");
    EXPECT_EQ(ui.messages, Messages{"Bad CSV Header version."});
}

TEST_F(CsvImport, MissingFileCannotBeOpened) {
    const ImportReport report =
        CsvImporter(document, Services()).Import("/none.csv", ImportMode::Replacing);
    EXPECT_FALSE(report.completed);
    EXPECT_EQ(ui.messages, Messages{"Unable to open file."});
    EXPECT_FALSE(document.IsModified());
}

TEST_F(CsvImport, PathCreatesDeviceAndGroupsAndABareNameContinuesThere) {
    AddDevice("A");
    AddDevice("C");
    const ImportReport report = Import(File({Simple("b.G1.Sub.T1"), Simple("T2"), Simple("b.T3")}));
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.importedLines, 3u);
    const std::vector<ODevice*> devices = document.Devices();
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[1]->name, "b");  // in name order, case ignored
    ODevice& b = *devices[1];
    EXPECT_EQ(b.params.primaryPort, document.Ports().front());  // COM1, the default name
    EXPECT_EQ(b.params.secondaryPort, document.Ports().front());
    ASSERT_NE(Find("b.G1.Sub.T1"), nullptr);
    ASSERT_NE(Find("b.G1.Sub.T2"), nullptr);
    ASSERT_NE(Find("b.T3"), nullptr);
    EXPECT_EQ(Find("b.G1.Sub.T2")->device, &b);
    EXPECT_EQ(Find("b.G1.Sub.T2")->group->name, "Sub");
    // The current node stays where the last line left it.
    EXPECT_EQ(document.selection, &b);
    EXPECT_EQ(document.documentTagList.size(), 3u);
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(b.importMark, 0);
}

TEST_F(CsvImport, PathsAreSplitAtTheAreaDelimiter) {
    ModelSettings settings;
    settings.areaDelimiter = "::";
    document.SetSettings(settings);
    const ImportReport report = Import(File({Simple("D::G::T.1"), Simple("D::x:y")}));
    EXPECT_EQ(report.importedLines, 2u);
    ODevice* device = document.FindDevice("D");
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(device->subgroupList.size(), 1u);
    EXPECT_EQ(TagNames(*device->subgroupList[0]), std::vector<std::string>{"T.1"});
    EXPECT_EQ(TagNames(*device), std::vector<std::string>{"x:y"});
}

TEST_F(CsvImport, BareNameWithoutCurrentNodeStopsTheImport) {
    const ImportReport report = Import(File({Simple("T0"), Simple("D.T1")}));
    EXPECT_FALSE(report.completed);
    EXPECT_EQ(ui.messages, (Messages{"IMPORT FAILED, No Device or Group Available.",
                                     "Lines imported before the import stopped: 0"}));
    EXPECT_TRUE(document.Devices().empty());
}

TEST_F(CsvImport, BadLineBeforeTheFirstDeviceIsCountedNotFatal) {
    // The location is checked before the current node: a bad first line is only counted.
    const ImportReport report = Import(File({Simple("T0", "9"), Simple("D.T1"), Simple("T2")}));
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.badLines, 1u);
    EXPECT_EQ(report.importedLines, 2u);
    EXPECT_NE(Find("D.T2"), nullptr);
}

TEST_F(CsvImport, LocationsAndBadLines) {
    const ImportReport report =
        Import(File({Simple("D.H", "400010"), Simple("D.E", "E00001"), Simple("D.X", "200001"),
                     Simple("D.L", "e00001"), Simple("D.N", "")}) +
               "\r\n");
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.importedLines, 2u);
    EXPECT_EQ(report.badLines, 4u);  // three bad locations and the trailing empty line
    EXPECT_EQ(ui.messages, Messages{"Bad lines encountered."});
    EXPECT_EQ(Find("D.H")->locationKind, kHoldingRegister);
    EXPECT_EQ(Find("D.H")->address, 9);
    EXPECT_EQ(Find("D.E")->locationKind, kEventSignal);
    EXPECT_EQ(Find("D.E")->address, 0);
    EXPECT_EQ(Find("D.X"), nullptr);
    // The device a bad line named stays.
    EXPECT_EQ(document.Devices().size(), 1u);
}

TEST_F(CsvImport, TrailingEmptyLineAloneGivesTheBadLinesMessage) {
    Import(File({Simple("D.T")}) + "\r\n");
    EXPECT_EQ(ui.messages, Messages{"Bad lines encountered."});
    ASSERT_NE(Find("D.T"), nullptr);
}

TEST_F(CsvImport, EmptyDeviceOrGroupNameIsABadLineThatCreatesNothing) {
    const ImportReport report = Import(File({Simple(".T"), Simple("D..T"), Simple("D.G.T")}));
    EXPECT_EQ(report.badLines, 2u);
    ASSERT_EQ(document.Devices().size(), 1u);
    EXPECT_EQ(document.Devices()[0]->subgroupList.size(), 1u);
    EXPECT_NE(Find("D.G.T"), nullptr);
}

TEST_F(CsvImport, NamelessTagIsABadLine) {
    const ImportReport report = Import(File({Simple("D."), Simple("D.T")}));
    EXPECT_EQ(report.badLines, 1u);
    EXPECT_EQ(document.documentTagList.size(), 1u);
}

TEST_F(CsvImport, AccessTexts) {
    std::vector<std::string> records;
    const char* texts[] = {"R", "W", "RW", "WR", "rw", "", "RO", "WO"};
    for (int i = 0; i < 8; ++i)
        records.push_back(Record({{kColName, "D.T" + std::to_string(i)},
                                  {kColDataType, "INT"},
                                  {kColLocation, "400001"},
                                  {kColAccess, texts[i]}}));
    Import(File(records));
    const std::uint16_t rw = kAccessReadable | kAccessWritable;
    const std::uint16_t expected[] = {kAccessReadable, kAccessWritable, rw, rw, 0, 0,
                                      kAccessReadable, kAccessWritable};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Find("D.T" + std::to_string(i))->accessRights, expected[i]) << texts[i];
}

TEST_F(CsvImport, DescriptionWithTheSeparatorShiftsTheLaterFields) {
    // Data type becomes " pump" and the location "INT": a bad line.
    const std::string shifted = "D.T1,main, pump,INT,400001,RW";
    const std::string twice = "D.T2,a,b,c,INT,400001,RW";
    const ImportReport report = Import(File({shifted, twice, "D.T3,a b,INT,400001,RW"}));
    EXPECT_EQ(report.badLines, 2u);
    EXPECT_EQ(Find("D.T1"), nullptr);
    EXPECT_EQ(Find("D.T2"), nullptr);
    OModbusTag* t3 = Find("D.T3");
    ASSERT_NE(t3, nullptr);
    EXPECT_EQ(t3->description, "a b");
    EXPECT_EQ(t3->accessRights, kAccessReadable | kAccessWritable);
}

TEST_F(CsvImport, LastFieldRunsToTheEndOfALineWithoutLineEnd) {
    Columns columns{{kColName, "D.T"},
                    {kColDataType, "INT"},
                    {kColLocation, "400001"},
                    {kColArea, "Zone 1"},
                    {kColAlarmClass, "123,456"}};
    std::string text = File({}) + Record(columns);  // no line end after the last record
    const ImportReport report = Import(text);
    EXPECT_TRUE(report.completed);
    ASSERT_NE(Find("D.T"), nullptr);
    EXPECT_EQ(Find("D.T")->alarm->area, "Zone 1");
    EXPECT_EQ(Find("D.T")->alarm->alarmClass, 123);
}

TEST_F(CsvImport, LinesLongerThan1023CharactersAreOneRecord) {
    const std::string description(3000, 'd');
    const ImportReport report = Import(File({Record({{kColName, "D.T"},
                                                     {kColDescription, description},
                                                     {kColDataType, "REAL"},
                                                     {kColLocation, "400005"},
                                                     {kColAlarmClass, "9"}})}));
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.badLines, 0u);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_NE(Find("D.T"), nullptr);
    EXPECT_EQ(Find("D.T")->description, description);
    EXPECT_EQ(Find("D.T")->alarm->alarmClass, 9);
}

TEST_F(CsvImport, TagNameIsCutTo256Characters) {
    std::string name;
    for (int i = 0; i < 300; ++i) name += "\xC3\xA9";  // two bytes each
    Import("\xEF\xBB\xBF" + File({Simple("D." + name)}));
    ASSERT_EQ(document.documentTagList.size(), 1u);
    EXPECT_EQ(document.documentTagList[0]->name, name.substr(0, 512));
}

TEST_F(CsvImport, ReplacingModeEmptiesEachNamedDeviceOnce) {
    ODevice& d1 = AddDevice("D1");
    OModbusTag& old = AddTag(d1, "Old", VT_BOOL, kEventSignal, 3);
    old.alarm->enableFlags = OBinaryAlarm::kOnTrue;
    d1.UpdateScanLists(&old);
    OTagGroup& group = AddGroup(d1, "G");
    AddTag(group, "Deep", VT_I2, kHoldingRegister, 0);
    ODevice& other = AddDevice("Other");
    AddTag(other, "Keep", VT_I2, kHoldingRegister, 0);
    ASSERT_EQ(d1.eventSignalScanList.size(), 1u);

    const ImportReport report = Import(File({Simple("D1.A"), Simple("New.B"), Simple("d1.C")}));
    EXPECT_EQ(report.importedLines, 3u);
    EXPECT_EQ(TagNames(d1), (std::vector<std::string>{"A", "C"}));
    EXPECT_TRUE(d1.subgroupList.empty());
    EXPECT_TRUE(d1.eventSignalScanList.empty());
    EXPECT_TRUE(d1.alarmScanList.empty());
    EXPECT_NE(Find("Other.Keep"), nullptr);
    EXPECT_NE(Find("New.B"), nullptr);
    EXPECT_EQ(document.documentTagList.size(), 4u);  // A, B, C and Keep
    for (ODevice* device : document.Devices()) EXPECT_EQ(device->importMark, 0) << device->name;

    // The next replacing import empties it again.
    Import(File({Simple("D1.Z")}));
    EXPECT_EQ(TagNames(d1), (std::vector<std::string>{"Z"}));
}

TEST_F(CsvImport, NewDeviceNamedTwiceWithAnotherBetweenKeepsBothTags) {
    Import(File({Simple("D1.A"), Simple("D2.X"), Simple("D1.B")}));
    EXPECT_EQ(TagNames(*document.FindDevice("D1")), (std::vector<std::string>{"A", "B"}));
}

TEST_F(CsvImport, UpdatingModeOverwritesInPlaceAndDeletesNothing) {
    ODevice& device = AddDevice("D");
    OModbusTag& existing = AddTag(device, "Level", VT_I2, kHoldingRegister, 0);
    existing.value = Variant::Int16(42);
    AddTag(device, "Other", VT_I2, kHoldingRegister, 1);
    const std::uint32_t id = existing.id;
    Import(File({Record({{kColName, "D.LEVEL"},
                         {kColDescription, "new"},
                         {kColDataType, "REAL"},
                         {kColLocation, "300007"}})}),
           ImportMode::Updating);
    ASSERT_EQ(device.tagList.size(), 2u);
    OModbusTag* tag = Find("D.Level");
    ASSERT_EQ(tag, &existing);
    EXPECT_EQ(tag->id, id);
    EXPECT_EQ(tag->name, "LEVEL");
    EXPECT_EQ(tag->description, "new");
    EXPECT_EQ(tag->dataType, VT_R4);
    EXPECT_EQ(tag->size, 2);
    EXPECT_EQ(tag->value, Variant::Float(42.0f));  // converted to the new type
    EXPECT_EQ(tag->locationKind, kInputRegister);
    EXPECT_EQ(tag->address, 6);
    EXPECT_NE(Find("D.Other"), nullptr);
    EXPECT_EQ(document.documentTagList.size(), 2u);
}

TEST_F(CsvImport, ValueWithoutAFormInTheNewTypeIsDropped) {
    ODevice& device = AddDevice("D");
    OModbusTag& tag = AddTag(device, "S", VT_BSTR, kHoldingRegister, 0);
    tag.value = Variant::Text("not a number");
    Import(File({Simple("D.S")}), ImportMode::Updating);
    EXPECT_EQ(tag.dataType, VT_I2);
    EXPECT_TRUE(tag.value.IsEmpty());
}

TEST_F(CsvImport, RegisterCountsFollowTheDataType) {
    const std::pair<const char*, std::uint16_t> cases[] = {
        {"BOOL", 1}, {"INT", 1},    {"UINT", 1},   {"LONG", 2},
        {"REAL", 2}, {"STRING", 2}, {"DOUBLE", 4}, {"ULONG", 2}};
    std::vector<std::string> records;
    for (const auto& [type, size] : cases)
        records.push_back(Record({{kColName, std::string("D.") + type},
                                  {kColDataType, type},
                                  {kColLocation, "400001"}}));
    Import(File(records));
    for (const auto& [type, size] : cases) {
        OModbusTag* tag = Find(std::string("D.") + type);
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(tag->size, size) << type;
    }
    EXPECT_EQ(Find("D.DOUBLE")->dataType, VT_R8);
    EXPECT_EQ(Find("D.ULONG")->dataType, VT_UI4);
}

TEST_F(CsvImport, AnalogColumns) {
    Import(File({Record({{kColName, "D.T"},
                         {kColDataType, "REAL"},
                         {kColLocation, "400001"},
                         {kColInitValue, "3.5"},
                         {kColConversion, "sqr"},
                         {kColRawMin, "1"},
                         {kColRawMax, "2"},
                         {kColEngMin, "3"},
                         {kColEngMax, "4"},
                         {kColUnit, "bar"},
                         {kColNormalPriority, "150"},
                         {kColNormalText, "back"},
                         {kColNormalAck, "yes"},
                         {kColLowValue, "-2.5"},
                         {kColLowValue + 1, "600"},
                         {kColLowValue + 2, "low"},
                         {kColLoLoAck + 1, "YES"},
                         {kColHiHiValue, "1e3"},
                         {kColHiHiValue + 1, "900"},
                         {kColHiHiValue + 2, "very high"},
                         {kColLoLoAck + 3, "No"},
                         {kColLoLoAck, "Yes"},  // LoLo is off: its acknowledgement is ignored
                         {kColSimulation, "random"},
                         {kColLowProcess, "0.5"},
                         {kColHighProcess, "9"},
                         {kColDefaultDisplay, "dd"}}),
                 Record({{kColName, "D.Plain"},
                         {kColDataType, "INT"},
                         {kColLocation, "400002"},
                         {kColInitValue, "7"},
                         {kColRawMax, "5"},
                         {kColUnit, "ignored"},
                         {kColNormalPriority, "150"}})}));
    OModbusTag* tag = Find("D.T");
    ASSERT_NE(tag, nullptr);
    const auto& scaling = dynamic_cast<const OAnalogData&>(*tag->scaling);
    EXPECT_EQ(scaling.conversion, OAnalogData::kSquareRoot);
    EXPECT_EQ(scaling.initValue, 3.5);
    EXPECT_EQ(scaling.rawMinimum, 1);
    EXPECT_EQ(scaling.rawMaximum, 2);
    EXPECT_EQ(scaling.engineeringMinimum, 3);
    EXPECT_EQ(scaling.engineeringMaximum, 4);
    EXPECT_EQ(scaling.units, "bar");
    EXPECT_EQ(scaling.lowProcess, 0.5);
    EXPECT_EQ(scaling.highProcess, 9);
    const auto& alarm = dynamic_cast<const OAnalogAlarm&>(*tag->alarm);
    EXPECT_EQ(alarm.enableFlags, OAnalogAlarm::kLowBit | OAnalogAlarm::kHiHiBit | kNormalEventBit);
    EXPECT_EQ(alarm.acknowledgeFlags, OAnalogAlarm::kLowBit | kNormalEventBit);
    EXPECT_EQ(alarm.levelLimit[OAnalogAlarm::kLow], -2.5);
    EXPECT_EQ(alarm.levelPriority[OAnalogAlarm::kLow], 600);
    EXPECT_EQ(alarm.levelText[OAnalogAlarm::kLow], "low");
    EXPECT_EQ(alarm.levelLimit[OAnalogAlarm::kHiHi], 1000);
    EXPECT_EQ(alarm.levelText[OAnalogAlarm::kHiHi], "very high");
    EXPECT_EQ(alarm.normalPriority, 150);
    EXPECT_EQ(alarm.normalText, "back");
    EXPECT_EQ(tag->simulationKind, kSimulationRandom);
    EXPECT_EQ(tag->defaultDisplay, "dd");

    // Without a conversion only the initial value is taken; without a limit no normal event.
    OModbusTag* plain = Find("D.Plain");
    ASSERT_NE(plain, nullptr);
    const auto& plainScaling = dynamic_cast<const OAnalogData&>(*plain->scaling);
    EXPECT_EQ(plainScaling.IsEqual(OAnalogData{}), false);
    EXPECT_EQ(plainScaling.initValue, 7);
    EXPECT_EQ(plainScaling.rawMaximum, OAnalogData{}.rawMaximum);
    EXPECT_EQ(plainScaling.units, "");
    EXPECT_EQ(plain->alarm->enableFlags, 0);
    EXPECT_EQ(plain->simulationKind, kSimulationNone);
}

TEST_F(CsvImport, BinaryColumns) {
    Import(File({Record({{kColName, "D.On"},
                         {kColDataType, "bool"},
                         {kColLocation, "000003"},
                         {kColInitValue, "5"},
                         {kColConversion, "inv"},
                         {kColLoLoValue, "1"},
                         {kColLoLoValue + 1, "850"},
                         {kColLoLoValue + 2, "tripped"},
                         {kColLoLoAck, "yes"},
                         {kColNormalPriority, "10"},
                         {kColNormalText, "fine"},
                         {kColSource, "Pump 1"},
                         {kColCondition, "Pump"},
                         {kColSubcondition, "Wet"},
                         {kColAttribute, "true"},
                         {kColSimulation, "Sine"},
                         {kColArea, "South"},
                         {kColAlarmClass, "3"}}),
                 Record({{kColName, "D.Off"},
                         {kColDataType, "BOOL"},
                         {kColLocation, "100001"},
                         {kColInitValue, "0"},
                         {kColLoLoValue, "0"},
                         {kColLoLoAck, "No"}}),
                 // A return-to-normal priority without an alarm gives no normal event.
                 Record({{kColName, "D.None"},
                         {kColDataType, "BOOL"},
                         {kColLocation, "100002"},
                         {kColNormalPriority, "10"},
                         {kColNormalAck, "Yes"}})}));
    OModbusTag* on = Find("D.On");
    ASSERT_NE(on, nullptr);
    const auto& onScaling = dynamic_cast<const OBinaryData&>(*on->scaling);
    EXPECT_EQ(onScaling.conversion, OBinaryData::kInverted);
    EXPECT_EQ(onScaling.initValue, 1u);
    const auto& onAlarm = dynamic_cast<const OBinaryAlarm&>(*on->alarm);
    EXPECT_EQ(onAlarm.enableFlags, OBinaryAlarm::kOnTrue | kNormalEventBit);
    EXPECT_EQ(onAlarm.acknowledgeFlags, OBinaryAlarm::kOnTrue);
    EXPECT_EQ(onAlarm.alarmPriority, 850);
    EXPECT_EQ(onAlarm.alarmText, "tripped");
    EXPECT_EQ(onAlarm.normalPriority, 10);
    EXPECT_EQ(onAlarm.normalText, "fine");
    EXPECT_EQ(onAlarm.source, "Pump 1");
    EXPECT_EQ(onAlarm.userCondition, 4u * 65536u + 9u);
    EXPECT_EQ(onAlarm.attributeFlag, 1u);
    EXPECT_EQ(onAlarm.area, "South");
    EXPECT_EQ(onAlarm.alarmClass, 3);
    EXPECT_EQ(on->simulationKind, kSimulationSine);

    const auto& offAlarm = dynamic_cast<const OBinaryAlarm&>(*Find("D.Off")->alarm);
    EXPECT_EQ(offAlarm.enableFlags, OBinaryAlarm::kOnFalse);
    EXPECT_EQ(offAlarm.acknowledgeFlags, 0);
    EXPECT_EQ(dynamic_cast<const OBinaryData&>(*Find("D.Off")->scaling).initValue, 0u);

    EXPECT_EQ(Find("D.None")->alarm->enableFlags, 0);
    EXPECT_EQ(Find("D.None")->alarm->acknowledgeFlags, 0);
}

TEST_F(CsvImport, OnlyUserConditionsCanBeNamed) {
    auto line = [](const std::string& name, const std::string& condition, const std::string& sub) {
        return Record({{kColName, "D." + name},
                       {kColDataType, "BOOL"},
                       {kColLocation, "000001"},
                       {kColCondition, condition},
                       {kColSubcondition, sub}});
    };
    Import(File({line("A", "Valve", "Stuck"), line("B", "pump", "Wet"), line("C", "Pump", "Stuck"),
                 line("D", "Discrete Trip", "Trip"), line("E", "", "Wet"), line("F", "Pump", "")}));
    auto condition = [this](const std::string& name) {
        return dynamic_cast<const OBinaryAlarm&>(*Find("D." + name)->alarm).userCondition;
    };
    EXPECT_EQ(condition("A"), 5u * 65536u + 10u);
    for (const char* name : {"B", "C", "D", "E", "F"}) EXPECT_EQ(condition(name), 0u) << name;
}

TEST_F(CsvImport, ScanListsFollowAnUpdatedTag) {
    ODevice& device = AddDevice("D");
    OModbusTag& a = AddTag(device, "A", VT_I2, kHoldingRegister, 5);
    a.alarm->enableFlags = OAnalogAlarm::kHighBit;
    OModbusTag& b = AddTag(device, "B", VT_BOOL, kEventSignal, 1);
    OModbusTag& c = AddTag(device, "C", VT_BOOL, kEventSignal, 9);
    c.alarm->enableFlags = OBinaryAlarm::kOnTrue;
    device.UpdateScanLists(&a);
    device.UpdateScanLists(&c);
    ASSERT_EQ(device.alarmScanList, (TagList{&a, &c}));
    ASSERT_EQ(device.eventSignalScanList, (TagList{&b, &c}));

    // A becomes an event signal between B and C without alarm; B gets an alarm; C moves
    // to address 0 keeping its alarm.
    Import(File({Record({{kColName, "D.A"}, {kColDataType, "BOOL"}, {kColLocation, "E00004"}}),
                 Record({{kColName, "D.B"},
                         {kColDataType, "BOOL"},
                         {kColLocation, "E00002"},
                         {kColLoLoValue, "1"}}),
                 Record({{kColName, "D.C"},
                         {kColDataType, "BOOL"},
                         {kColLocation, "E00001"},
                         {kColLoLoValue, "0"}}),
                 Record({{kColName, "D.New"},
                         {kColDataType, "BOOL"},
                         {kColLocation, "E00003"},
                         {kColLoLoValue, "0"}})}),
           ImportMode::Updating);
    OModbusTag* added = Find("D.New");
    ASSERT_NE(added, nullptr);
    EXPECT_EQ(device.eventSignalScanList, (TagList{&c, &b, added, &a}));
    EXPECT_EQ(device.alarmScanList, (TagList{&c, &b, added}));
}

TEST_F(CsvImport, NewTagsJoinTheScanListsInLocationOrder) {
    ODevice& device = AddDevice("D");
    OModbusTag& listed = AddTag(device, "M", VT_I2, kHoldingRegister, 5);
    listed.alarm->enableFlags = OAnalogAlarm::kHighBit;
    device.UpdateScanLists(&listed);
    std::vector<std::string> records;
    for (const char* address : {"400009", "400002", "400006", "100001", "400006"})
        records.push_back(Record({{kColName, std::string("D.T") + std::to_string(records.size())},
                                  {kColDataType, "INT"},
                                  {kColLocation, address},
                                  {kColHighValue, "1"}}));
    records.push_back(Simple("D.NoAlarm", "400001"));
    Import(File(records), ImportMode::Updating);
    std::vector<std::string> names;
    for (const OModbusTag* tag : device.alarmScanList) names.push_back(tag->name);
    // Equal keys: the tag that was listed first, then the new ones in file order.
    EXPECT_EQ(names, (std::vector<std::string>{"T3", "T1", "M", "T2", "T4", "T0"}));
    // Group lists stay in name order.
    EXPECT_EQ(TagNames(device),
              (std::vector<std::string>{"M", "NoAlarm", "T0", "T1", "T2", "T3", "T4"}));
}

TEST_F(CsvImport, SameTagTwiceInOneFileIsUpdatedNotDuplicated) {
    const ImportReport report = Import(
        File({Record({{kColName, "D.T"},
                      {kColDataType, "INT"},
                      {kColLocation, "400003"},
                      {kColHighValue, "1"}}),
              Record({{kColName, "D.t"}, {kColDataType, "BOOL"}, {kColLocation, "E00001"}})}));
    EXPECT_EQ(report.importedLines, 2u);
    ODevice& device = *document.FindDevice("D");
    ASSERT_EQ(device.tagList.size(), 1u);
    EXPECT_EQ(device.tagList[0]->name, "t");
    EXPECT_TRUE(device.alarmScanList.empty());
    EXPECT_EQ(device.eventSignalScanList.size(), 1u);
    EXPECT_EQ(document.documentTagList.size(), 1u);
}

TEST_F(CsvImport, FormatIndexFromTheByteOrderMarkAndTheTabHeader) {
    document.csvFilterIndex = 1;
    Import("\xEF\xBB\xBF" + File({Simple("D.A")}));
    EXPECT_EQ(document.csvFilterIndex, kCsvUtf8);
    std::string utf16;
    for (char c : File({Simple("D.B")})) {
        utf16 += c;
        utf16 += '\0';
    }
    Import("\xFF\xFE" + utf16);
    EXPECT_EQ(document.csvFilterIndex, kCsvUnicode);
    Import(File({Simple("D.C")}));
    EXPECT_EQ(document.csvFilterIndex, kCsvUnicode);  // an 8-bit file keeps the index
    std::string tab = Record({{kColName, "D.Tab"},
                              {kColDataType, "INT"},
                              {kColLocation, "400001"},
                              {kColDescription, "x,y"}},
                             '\t');
    Import(File({tab}, '\t'));
    EXPECT_EQ(document.csvFilterIndex, kCsvUnicodeText);
    ASSERT_NE(Find("D.Tab"), nullptr);
    EXPECT_EQ(Find("D.Tab")->description, "x,y");  // commas are plain text in the tab variant
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CsvImport, ReadErrorKeepsTheWholeLinesReadBeforeIt) {
    const std::string text = File({Simple("D.A"), Simple("D.B"), Simple("D.C")});
    // The error comes in the middle of the third record.
    store.readErrorAfter = text.size() - Simple("D.C").size() / 2;
    const ImportReport report = Import(text);
    EXPECT_FALSE(report.completed);
    EXPECT_EQ(report.importedLines, 2u);
    EXPECT_EQ(ui.messages, (Messages{"File exception while reading.",
                                     "Lines imported before the import stopped: 2"}));
    EXPECT_NE(Find("D.B"), nullptr);
    EXPECT_EQ(Find("D.C"), nullptr);
    EXPECT_TRUE(document.IsModified());
}

TEST_F(CsvImport, ReadErrorInsideTheHeader) {
    store.readErrorAfter = 10;
    Import(File({Simple("D.A")}));
    EXPECT_EQ(ui.messages, (Messages{"File exception while reading.",
                                     "Lines imported before the import stopped: 0"}));
    EXPECT_TRUE(document.Devices().empty());
}

TEST_F(CsvImport, BatchFlagAndViewsAroundTheImport) {
    CountingObserver observer;
    document.AddObserver(&observer);
    Import(File({Simple("D.A"), Simple("D.G.B")}));
    EXPECT_FALSE(document.batchFlag);
    EXPECT_EQ(observer.hints, std::vector<int>{kHintRebuild});
    document.RemoveObserver(&observer);
}

TEST_F(CsvImport, NothingImportedLeavesTheDocumentUnmodified) {
    Import(File({Simple("D.A", "9")}));
    EXPECT_EQ(ui.messages, Messages{"Bad lines encountered."});
    // The device the bad line named was created, which is a change.
    EXPECT_TRUE(document.IsModified());
    document.SetModified(false);
    Import(File({}));
    EXPECT_FALSE(document.IsModified());
}

class LockProbe final : public IDocumentObserver {
  public:
    explicit LockProbe(ModelLocks& locks) : locks_(locks) {}
    void OnDocumentUpdate(int, OObject*) override {
        treeHeld = !testing::FreeForOthers(locks_.tree);
        dataHeld = !testing::FreeForOthers(locks_.tagData);
    }
    bool treeHeld = false;
    bool dataHeld = false;

  private:
    ModelLocks& locks_;
};

TEST_F(CsvImport, LocksAreHeldForTheImportAndReleasedBeforeMessages) {
    ModelLocks& locks = document.Locks();
    LockProbe probe(locks);
    document.AddObserver(&probe);
    bool freeAtMessage = false;
    ui.onMessage = [&freeAtMessage, &locks] {
        freeAtMessage = testing::FreeForOthers(locks.tree) && testing::FreeForOthers(locks.tagData);
    };
    Import(File({Simple("D.A", "9")}));
    // The views are refreshed while the import still holds both locks; the message box
    // comes once acquisition can go on again.
    EXPECT_TRUE(probe.treeHeld);
    EXPECT_TRUE(probe.dataHeld);
    EXPECT_EQ(ui.messages, Messages{"Bad lines encountered."});
    EXPECT_TRUE(freeAtMessage);
    document.RemoveObserver(&probe);
}

class RecordingMonitor final : public IMonitorThread {
  public:
    bool Start(CDoc&) override {
        ++starts;
        return true;
    }
    void Join() override { ++joins; }
    int starts = 0;
    int joins = 0;
};

TEST(CsvImportMonitor, LiveMonitorIsStoppedForTheImportAndRestarted) {
    testing::ScriptedUi ui = testing::CancellingUi();
    RecordingMonitor monitor;
    testing::MemoryFileStore store;
    testing::MemoryFileReader reader(store);
    CDocServices docServices;
    docServices.ui = &ui;
    docServices.monitor = &monitor;
    CDoc document(docServices, ModelSettings{});
    document.AddDefaultPorts();
    auto device = std::make_unique<ODevice>();
    device->name = "D";
    device->parent = &document.rootGroup;
    std::unique_ptr<OTagGroup> entry = std::move(device);
    document.rootGroup.InsertSubgroupByName(entry);
    document.ToggleMonitor();
    ASSERT_TRUE(document.monitorRunning.load());

    store.files["/in.csv"] = File({Simple("D.A")});
    ExchangeServices services;
    services.ui = &ui;
    services.reader = &reader;
    CsvImporter(document, services).Import("/in.csv", ImportMode::Updating);
    EXPECT_EQ(monitor.joins, 1);
    EXPECT_EQ(monitor.starts, 2);
    EXPECT_TRUE(document.monitorRunning.load());
    document.StopMonitor();
}

}  // namespace
}  // namespace velk
