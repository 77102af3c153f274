// What the tag dialogs store, as the configuration file holds it: a device loaded from the
// independent writer's tag_sheet_before file is edited through the property sheet and
// "Multiply Tag", and the saved bytes are the writer's tag_sheet_after file, which it worked
// out from the dialogs' rules on its own (tests/fixtures/make_fixtures.py).
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/config_file_reader.h"
#include "model/config_file_writer.h"
#include "model/o_analog_data.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "model/tag_sheet/duplicate_tag_dialog.h"
#include "model/tag_sheet/tag_dialog.h"
#include "tests/model/config_file_fixtures.h"

namespace velk {
namespace {

using testing::Fixture;

class TagSheetFileTest : public ::testing::Test {
  protected:
    TagSheetFileTest() {
        // Pump Fault (condition 4) with the sub-conditions 8 and 9.
        space.AddUserConditions("[Pump Fault]\nDry run\nOverload\n[Door]\n");
    }
    OModbusTag& Tag(const std::string& name) {
        OTagGroup& plc = *doc.rootGroup.subgroupList.at(0);
        OModbusTag* tag = plc.FindOwnTag(name);
        EXPECT_NE(tag, nullptr) << name;
        return *tag;
    }
    // The sheet on a tag of the document, its entries, OK and the apply as Properties does it.
    template <typename Entries>
    void Edit(const std::string& name, Entries entries) {
        OModbusTag& tag = Tag(name);
        TagDialog sheet(tag, space);
        entries(sheet);
        ASSERT_FALSE(sheet.Ok());
        std::lock_guard<std::recursive_mutex> tree(doc.Locks().tree);
        ASSERT_FALSE(TagRenameRefusal(*tag.group, tag, sheet.Connection().name,
                                      doc.Settings().areaDelimiter));
        sheet.ApplyToTag();
    }

    CDoc doc{CDocServices{}, ModelSettings{}};
    AeEventSpace space;
};

TEST_F(TagSheetFileTest, SavedEditsAreWhatTheIndependentWriterExpects) {
    ASSERT_TRUE(ConfigFileReader::ReadDocumentBytes(Fixture("tag_sheet_before.expected.vlk"), doc));

    Edit("Horn", [](TagDialog& sheet) {
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageScaling));
        auto& scaling = dynamic_cast<BinScalingPage&>(sheet.Scaling());
        scaling.conversion = 1;
        scaling.initValue = true;
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
        auto& alarm = dynamic_cast<BinAlarmPage&>(sheet.Alarm());
        alarm.OnAlarmToggled(true);
        alarm.alarmRow.priorityText = "500";
        alarm.alarmRow.message = "Horn on";
        alarm.OnNormalToggled(true);
        alarm.normal.priorityText = "100";
        alarm.normal.message = "Horn off";
        alarm.source = "Siren";
        alarm.OnConditionChosen(1);
        alarm.subconditionPosition = 1;
        alarm.simpleCondition = true;
        alarm.area = "North";
        alarm.classText = "12";
    });
    Edit("Level", [](TagDialog& sheet) { sheet.Connection().OnLocationChosen(kInputStatus); });
    Edit("Pump", [](TagDialog& sheet) {
        sheet.Connection().defaultDisplay = "0.0";
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageScaling));
        auto& scaling = dynamic_cast<AnaScalingPage&>(sheet.Scaling());
        scaling.OnConversionChosen(OAnalogData::kLinear);
        scaling.rawMaxText = "4095";
        scaling.units = "%";
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
        auto& alarm = dynamic_cast<AnaAlarmPage&>(sheet.Alarm());
        alarm.OnLevelToggled(2, true);
        alarm.levels[2].valueText = "80.5";
        alarm.levels[2].priorityText = "700";
        alarm.levels[2].message = "Pump high";
        alarm.OnNormalToggled(true);
        alarm.normal.ack = false;
        alarm.normal.priorityText = "50";
        alarm.normal.message = "Pump normal";
    });

    CDuplicateTagDialog multiply;
    multiply.Open(Tag("Pump"));
    EXPECT_EQ(multiply.firstLocationText, "11");
    multiply.countText = "3";
    ASSERT_FALSE(multiply.ReadEntries());
    std::vector<std::string> messages;
    EXPECT_EQ(
        multiply.Multiply(doc, Tag("Pump"), [&](const std::string& m) { messages.push_back(m); }),
        2);
    EXPECT_TRUE(messages.empty());

    Edit("Valve", [](TagDialog& sheet) {
        sheet.Connection().name = "Drain";
        sheet.Connection().addressText = "65536";  // the last address
    });

    const std::string saved = ConfigFileWriter::DocumentBytes(doc);
    const std::string expected = Fixture("tag_sheet_after.expected.vlk");
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(saved == expected)
        << "saved " << saved.size() << " bytes, expected " << expected.size();
}

}  // namespace
}  // namespace velk
