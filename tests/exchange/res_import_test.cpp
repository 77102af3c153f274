// Reading resource documentation listings: first line, column header, tags and modes.
#include <gtest/gtest.h>

#include "exchange/res_importer.h"
#include "model/tag_list.h"
#include "tests/exchange/exchange_test_support.h"

namespace velk {
namespace {

using testing::ExchangeFixture;
using Messages = std::vector<std::string>;

// Column starts 0, 12, 20, 28, 36, 44, 52: one capital letter per column.
constexpr const char* kHeader = "Variable    Type    Init    Read    Kind    Write   Event";

std::string Pad(const std::string& text, std::size_t width) {
    std::string out = text;
    out.resize(std::max(width, text.size() + 1), ' ');
    return out;
}

struct Row {
    std::string name, type, read, write, event;
};

std::string Line(const Row& r) {
    return Pad(r.name, 12) + Pad(r.type, 8) + Pad("", 8) + Pad(r.read, 8) + Pad("", 8) +
           Pad(r.write, 8) + r.event;
}

std::string Listing(const std::vector<Row>& rows,
                    const std::string& first = "RES C:\\projects\\Plant\\R1") {
    std::string text = first + "\r\n" + kHeader + "\r\n";
    for (const Row& row : rows) text += Line(row) + "\r\n";
    return text;
}

class ResImport : public ::testing::Test, protected ExchangeFixture {
  protected:
    ImportReport Import(const std::string& text, ImportMode mode = ImportMode::Replacing) {
        store.files["/res.txt"] = text;
        return ResImporter(document, Services()).Import("/res.txt", mode);
    }
    OModbusTag* Find(const std::string& path) { return document.FindTag(path, "."); }
};

TEST(ResFirstLine, ResourceName) {
    EXPECT_EQ(ResImporter::ResourceName("RES C:\\projects\\Plant\\R1"), "R1");
    EXPECT_EQ(ResImporter::ResourceName("RES R1"), "R1");
    EXPECT_EQ(ResImporter::ResourceName("  RES   Main Unit"), "Unit");
    EXPECT_EQ(ResImporter::ResourceName("RES C:\\my plant\\R 2"), "R 2");
    EXPECT_EQ(ResImporter::ResourceName("RES R1   "), "R1");
    EXPECT_EQ(ResImporter::ResourceName("RES"), "");
    EXPECT_EQ(ResImporter::ResourceName("   RES"), "");
    EXPECT_EQ(ResImporter::ResourceName("RES C:\\x\\"), "");
    EXPECT_EQ(ResImporter::ResourceName("RES St\xF6r"), "St\xC3\xB6r");
    EXPECT_TRUE(ResImporter::IsResFirstLine(" \tRES x"));
    EXPECT_FALSE(ResImporter::IsResFirstLine("res x"));
    EXPECT_FALSE(ResImporter::IsResFirstLine("XRES x"));
    EXPECT_FALSE(ResImporter::IsResFirstLine(""));
}

TEST(ResColumns, CutAtTheCapitalsWithoutTrailingBlanks) {
    const std::vector<std::size_t> starts = ResImporter::ColumnStarts(kHeader);
    EXPECT_EQ(starts, (std::vector<std::size_t>{0, 12, 20, 28, 36, 44, 52}));
    const ResImporter::Columns full =
        ResImporter::CutColumns(Line({"Motor_1", "BOOL", "10", "11", "5"}), starts);
    EXPECT_EQ(full, (ResImporter::Columns{"Motor_1", "BOOL", "", "10", "", "11", "5"}));
    // Columns that start beyond a short line are empty; the last runs to the line's end.
    EXPECT_EQ(ResImporter::CutColumns("Short  ", starts),
              (ResImporter::Columns{"Short", "", "", "", "", "", ""}));
    EXPECT_EQ(ResImporter::CutColumns(Line({"V", "INT", "", "", "7 extra words  "}), starts)[6],
              "7 extra words");
    EXPECT_EQ(ResImporter::CutColumns("Gr\xFC\xDF"
                                      "e",
                                      starts)[0],
              "Gr\xC3\xBC\xC3\x9F"
              "e");
}

TEST_F(ResImport, FirstLineRules) {
    Import(Listing({{"A", "INT", "1", "", ""}}, "Resource R1"));
    EXPECT_EQ(ui.messages, Messages{"Text file is not RES document!"});
    ui.messages.clear();
    Import(Listing({{"A", "INT", "1", "", ""}}, "RES"));
    EXPECT_EQ(ui.messages, Messages{"Bad or missing resource name!"});
    EXPECT_TRUE(document.Devices().empty());
    ui.messages.clear();
    Import("");
    EXPECT_EQ(ui.messages, Messages{"Text file is not RES document!"});
    // Each of the document's format faults carries the error icon.
    EXPECT_EQ(ui.errors,
              (Messages{"Text file is not RES document!", "Bad or missing resource name!",
                        "Text file is not RES document!"}));
}

TEST_F(ResImport, HeaderNeedsExactlySevenCapitals) {
    for (const char* header :
         {"Variable    Type    Init    Read    Kind    Write",
          "Variable    Type    Init    Read    Kind    Write   Event   X", ""}) {
        ui.messages.clear();
        Import(std::string("RES R1\r\n") + header + "\r\n" + Line({"A", "INT", "1", "", ""}) +
               "\r\n");
        EXPECT_EQ(ui.messages, Messages{"Bad column number in RES document!"}) << header;
    }
    ui.messages.clear();
    Import("RES R1\r\n");  // no header line at all
    EXPECT_EQ(ui.messages, Messages{"Bad column number in RES document!"});
    EXPECT_TRUE(document.Devices().empty());
}

TEST_F(ResImport, HeaderAsTheLastLineWithoutLineEndImportsNothing) {
    const ImportReport report = Import(std::string("RES R1\r\n") + kHeader);
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.importedLines, 0u);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(document.Devices().empty());
}

TEST_F(ResImport, DeviceWithEventsAndTagsGroups) {
    const ImportReport report = Import(Listing({{"Level", "INT", "10", "10", ""},
                                                {"Alarm5", "BOOL", "", "", "5"},
                                                {"Motor", "BOOL", "3", "", "7"},
                                                {"Mixed", "INT", "10", "12", ""},
                                                {"Nothing", "INT", "", "", ""}}));
    EXPECT_TRUE(report.completed);
    EXPECT_EQ(report.importedLines, 4u);  // Level, Alarm5, Motor twice
    EXPECT_EQ(report.badLines, 2u);
    EXPECT_EQ(ui.messages, Messages{"Bad lines encountered."});
    ODevice* device = document.FindDevice("r1");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->name, "R1");
    EXPECT_EQ(device->params.primaryPort, document.Ports().front());
    ASSERT_EQ(device->subgroupList.size(), 2u);
    EXPECT_EQ(device->subgroupList[0]->name, "Events");
    EXPECT_EQ(device->subgroupList[1]->name, "Tags");
    EXPECT_TRUE(device->tagList.empty());

    OModbusTag* level = Find("R1.Tags.Level");
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->locationKind, kHoldingRegister);
    EXPECT_EQ(level->address, 10);
    EXPECT_EQ(level->accessRights, kAccessReadable | kAccessWritable);
    EXPECT_EQ(level->dataType, VT_I2);
    EXPECT_EQ(level->description, "Level");
    EXPECT_NE(dynamic_cast<OAnalogData*>(level->scaling.get()), nullptr);
    EXPECT_FALSE(level->alarm->IsEnabled());

    OModbusTag* event = Find("R1.Events.Alarm5");
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(Find("R1.Tags.Alarm5"), nullptr);
    EXPECT_EQ(event->locationKind, kEventSignal);
    EXPECT_EQ(event->address, 5);
    EXPECT_EQ(event->accessRights, kAccessReadable);
    EXPECT_EQ(event->dataType, VT_BOOL);
    EXPECT_EQ(event->description, "Alarm5");
    const auto& alarm = dynamic_cast<const OBinaryAlarm&>(*event->alarm);
    EXPECT_EQ(alarm.enableFlags, kNormalEventBit | OBinaryAlarm::kOnFalse);
    EXPECT_EQ(alarm.acknowledgeFlags, kNormalEventBit | OBinaryAlarm::kOnFalse);
    EXPECT_EQ(alarm.normalPriority, 100);
    EXPECT_EQ(alarm.normalText, "Normal");
    EXPECT_EQ(alarm.alarmPriority, 800);
    EXPECT_EQ(alarm.alarmText, "Alarm");

    // A read address and an event number: one tag in each group.
    OModbusTag* motorEvent = Find("R1.Events.Motor");
    OModbusTag* motorCoil = Find("R1.Tags.Motor");
    ASSERT_NE(motorEvent, nullptr);
    ASSERT_NE(motorCoil, nullptr);
    EXPECT_EQ(motorEvent->address, 7);
    EXPECT_EQ(motorCoil->locationKind, kOutputCoil);
    EXPECT_EQ(motorCoil->address, 3);
    EXPECT_EQ(motorCoil->accessRights, kAccessReadable);
    EXPECT_EQ(Find("R1.Tags.Mixed"), nullptr);

    EXPECT_EQ(document.documentTagList.size(), 4u);
    EXPECT_EQ(device->eventSignalScanList, (TagList{event, motorEvent}));
    // Event tags carry an enabled alarm, so they are scanned for it, as after loading.
    EXPECT_EQ(device->alarmScanList, (TagList{event, motorEvent}));
    EXPECT_TRUE(document.IsModified());
    // A later CSV import in replacing mode treats the device as pre-existing.
    EXPECT_EQ(device->importMark, 0);
}

TEST_F(ResImport, DataTypesAndRegisterCounts) {
    Import(Listing({{"B", "bool", "1", "", ""},
                    {"I", "INT", "2", "", ""},
                    {"U", "Uint", "3", "", ""},
                    {"L", "LONG", "4", "", ""},
                    {"R", "REAL", "", "5", ""},
                    {"S", "STRING", "6", "", ""},
                    {"X", "TIME", "7", "", ""},
                    {"LL", "LLONG", "8", "", ""},
                    {"UL", "ullong", "12", "", ""}}));
    const std::tuple<const char*, std::uint16_t, std::uint16_t, std::int32_t> cases[] = {
        {"B", VT_BOOL, 1, kOutputCoil},     {"I", VT_I2, 1, kHoldingRegister},
        {"U", VT_UI2, 1, kHoldingRegister}, {"L", VT_I4, 2, kHoldingRegister},
        {"R", VT_R4, 2, kHoldingRegister},  {"S", VT_BSTR, 2, kHoldingRegister},
        {"X", VT_I2, 1, kHoldingRegister},  {"LL", VT_I8, 4, kHoldingRegister},
        {"UL", VT_UI8, 4, kHoldingRegister}};
    for (const auto& [name, type, size, kind] : cases) {
        OModbusTag* tag = Find(std::string("R1.Tags.") + name);
        ASSERT_NE(tag, nullptr) << name;
        EXPECT_EQ(tag->dataType, type) << name;
        EXPECT_EQ(tag->size, size) << name;
        EXPECT_EQ(tag->locationKind, kind) << name;
    }
    EXPECT_EQ(Find("R1.Tags.R")->accessRights, kAccessWritable);
    EXPECT_EQ(Find("R1.Tags.R")->address, 5);
}

TEST_F(ResImport, ReimportAfterATypeChange) {
    Import(Listing({{"V", "INT", "10", "", ""}, {"W", "REAL", "11", "", ""}}));
    OModbusTag* v = Find("R1.Tags.V");
    OModbusTag* w = Find("R1.Tags.W");
    ASSERT_NE(v, nullptr);
    ASSERT_NE(w, nullptr);
    v->alarm->enableFlags = OAnalogAlarm::kHighBit;
    document.FindDevice("R1")->UpdateScanLists(v);
    w->value = Variant::Float(2.5f);
    auto* wScaling = dynamic_cast<OAnalogData*>(w->scaling.get());
    ASSERT_NE(wScaling, nullptr);
    wScaling->units = "kg";
    ui.messages.clear();

    Import(Listing({{"V", "BOOL", "10", "", ""}, {"W", "LONG", "12", "12", ""}}),
           ImportMode::Updating);
    EXPECT_TRUE(ui.messages.empty());
    ASSERT_EQ(Find("R1.Tags.V"), v);
    EXPECT_EQ(v->dataType, VT_BOOL);
    EXPECT_EQ(v->locationKind, kOutputCoil);
    EXPECT_NE(dynamic_cast<OBinaryData*>(v->scaling.get()), nullptr);
    ASSERT_NE(dynamic_cast<OBinaryAlarm*>(v->alarm.get()), nullptr);
    EXPECT_FALSE(v->alarm->IsEnabled());
    EXPECT_TRUE(document.FindDevice("R1")->alarmScanList.empty());
    // Staying analog keeps the scaling object and its settings.
    EXPECT_EQ(w->scaling.get(), wScaling);
    EXPECT_EQ(wScaling->units, "kg");
    EXPECT_EQ(w->dataType, VT_I4);
    EXPECT_EQ(w->value, Variant::Int32(2));  // converted, halves to even
    EXPECT_EQ(w->address, 12);
    EXPECT_EQ(w->accessRights, kAccessReadable | kAccessWritable);
}

TEST_F(ResImport, ReplacingEmptiesTheDeviceUpdatingKeepsWhatIsNotListed) {
    Import(Listing({{"A", "INT", "1", "", ""}, {"B", "INT", "2", "", "4"}}));
    ODevice* device = document.FindDevice("R1");
    ASSERT_NE(device, nullptr);
    AddGroup(*device, "Extra");
    AddTag(*device, "Loose", VT_I2, kHoldingRegister, 0);

    Import(Listing({{"C", "INT", "3", "", ""}}), ImportMode::Updating);
    EXPECT_NE(Find("R1.Tags.A"), nullptr);
    EXPECT_NE(Find("R1.Tags.C"), nullptr);
    EXPECT_NE(Find("R1.Loose"), nullptr);
    EXPECT_EQ(device->subgroupList.size(), 3u);

    Import(Listing({{"C", "INT", "3", "", ""}}));
    ASSERT_EQ(document.FindDevice("R1"), device);
    ASSERT_EQ(device->subgroupList.size(), 2u);
    EXPECT_EQ(device->subgroupList[0]->name, "Events");
    EXPECT_EQ(device->subgroupList[1]->name, "Tags");
    EXPECT_TRUE(device->tagList.empty());
    EXPECT_EQ(Find("R1.Tags.A"), nullptr);
    EXPECT_NE(Find("R1.Tags.C"), nullptr);
    EXPECT_EQ(document.documentTagList.size(), 1u);
    EXPECT_TRUE(device->eventSignalScanList.empty());
    EXPECT_TRUE(device->alarmScanList.empty());
}

TEST_F(ResImport, EventTagKeepsItsAlarmOnReimport) {
    Import(Listing({{"E", "BOOL", "", "", "2"}}));
    OModbusTag* event = Find("R1.Events.E");
    ASSERT_NE(event, nullptr);
    event->alarm->normalText = "changed by the user";
    event->description = "mine";
    Import(Listing({{"E", "BOOL", "", "", "3"}}), ImportMode::Updating);
    EXPECT_EQ(event->alarm->normalText, "changed by the user");
    EXPECT_EQ(event->description, "mine");  // set on new event tags only
    EXPECT_EQ(event->address, 3);
    EXPECT_EQ(document.FindDevice("R1")->eventSignalScanList, (TagList{event}));
}

TEST_F(ResImport, NameWithTheDelimiterIsRefused) {
    const ImportReport report =
        Import(Listing({{"Pump.Speed", "INT", "1", "", "2"}, {"Ok", "INT", "2", "", ""}}));
    EXPECT_EQ(ui.messages,
              (Messages{"Tag Name does not Accept Dots!", "Tag Name does not Accept Dots!"}));
    EXPECT_EQ(report.importedLines, 1u);
    EXPECT_EQ(document.documentTagList.size(), 1u);
}

TEST_F(ResImport, MissingFileAndReadError) {
    ResImporter(document, Services()).Import("/none.txt", ImportMode::Replacing);
    EXPECT_EQ(ui.messages, Messages{"Unable to open file."});
    ui.messages.clear();
    const std::string text = Listing({{"A", "INT", "1", "", ""}, {"B", "INT", "2", "", ""}});
    store.readErrorAfter = text.size() - 5;
    const ImportReport report = Import(text);
    EXPECT_FALSE(report.completed);
    EXPECT_EQ(report.importedLines, 1u);
    EXPECT_EQ(ui.messages, (Messages{"File exception while reading.",
                                     "Lines imported before the import stopped: 1"}));
    EXPECT_EQ(Find("R1.Tags.B"), nullptr);
}

TEST_F(ResImport, ExistingDeviceNameIsMatchedWithoutCase) {
    ODevice& device = AddDevice("r1");
    Import(Listing({{"A", "INT", "1", "", ""}}));
    EXPECT_EQ(document.Devices().size(), 1u);
    EXPECT_NE(device.FindSubgroup("Tags"), nullptr);
    EXPECT_EQ(document.selection, &device);
}

}  // namespace
}  // namespace velk
