#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/o_analog_data.h"
#include "model/tag_sheet/copy_tag_dialog.h"
#include "model/tag_sheet/duplicate_tag_dialog.h"
#include "model/tag_sheet/tag_dialog.h"
#include "tests/model/document_test_doubles.h"
#include "tests/model/model_tree.h"

namespace velk {
namespace {

using namespace velk::testing;

class TagSeriesTest : public ::testing::Test {
  protected:
    TagSeriesTest()
        : doc(CDocServices{}, ModelSettings{}), device(InsertDevice(doc.rootGroup, "PLC1")) {
        doc.selection = &device;
    }
    OModbusTag& Add(const std::string& name, std::int32_t kind, std::uint16_t address,
                    std::uint16_t type) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = name;
        tag->locationKind = kind;
        tag->address = address;
        tag->SetDataType(type);
        OModbusTag* added = tag.get();
        EXPECT_TRUE(device.InsertTagByName(tag));
        doc.RegisterTag(device, added);
        return *added;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& t : device.tagList) names.push_back(t->name);
        return names;
    }
    int Multiply(CDuplicateTagDialog& dialog, OModbusTag& selected) {
        EXPECT_FALSE(dialog.ReadEntries());
        return dialog.Multiply(doc, selected,
                               [this](const std::string& m) { messages.push_back(m); });
    }

    CDoc doc;
    ODevice& device;
    std::vector<std::string> messages;
};

TEST_F(TagSeriesTest, PumpSeriesKeepsAnExistingTagsTypeAndJoinsTheLists) {
    OModbusTag& pump = Add("Pump", kHoldingRegister, 9, VT_I2);
    pump.description = "Feed";
    pump.alarm->enableFlags = 0x0004;
    device.UpdateScanLists(&pump);
    OModbusTag& old = Add("PUMP002", kInputRegister, 40, VT_R4);
    CDuplicateTagDialog dialog;
    dialog.Open(pump);
    EXPECT_EQ(dialog.baseName, "Pump");
    EXPECT_EQ(dialog.firstLocationText, "11");
    dialog.countText = "3";
    EXPECT_EQ(Multiply(dialog, pump), 2);

    EXPECT_EQ(Names(), (std::vector<std::string>{"Pump", "Pump001", "Pump002", "Pump003"}));
    const char* shown[] = {"400011", "300012", "400013"};
    for (int i = 0; i < 3; ++i) {
        const OModbusTag* t = device.FindOwnTag(dialog.NameAt(static_cast<std::uint32_t>(i)));
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->GetAddressText(), shown[i]);
        EXPECT_EQ(t->description, "Feed #00" + std::to_string(i + 1));
        EXPECT_EQ(t->group, &device);
    }
    EXPECT_EQ(old.dataType, VT_R4);
    EXPECT_EQ(old.locationKind, kInputRegister);
    EXPECT_EQ(old.name, "Pump002");
    const OModbusTag* copy = device.FindOwnTag("Pump001");
    EXPECT_NE(copy->id, pump.id);
    EXPECT_EQ(copy->dataType, VT_I2);
    EXPECT_EQ(doc.documentTagList.size(), 4u);
    EXPECT_EQ(device.alarmScanList.size(), 3u);  // Pump and its two new copies
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(messages.empty());
}

TEST_F(TagSeriesTest, PaddingGrowsPastThePlacesAndDotsAreRefused) {
    OModbusTag& tag = Add("T", kOutputCoil, 0, VT_BOOL);
    CDuplicateTagDialog dialog;
    dialog.Open(tag);
    dialog.placesText = "2";
    dialog.firstNumberText = "99";
    dialog.countText = "2";
    ASSERT_FALSE(dialog.ReadEntries());
    EXPECT_EQ(dialog.NameAt(0), "T99");
    EXPECT_EQ(dialog.NameAt(1), "T100");
    dialog.baseName = "A.B";
    EXPECT_EQ(Multiply(dialog, tag), 0);
    EXPECT_EQ(messages, (std::vector<std::string>{"Tag Name does not Accept Dots!",
                                                  "Tag Name does not Accept Dots!"}));
}

TEST_F(TagSeriesTest, RefusedEntriesNameTheirFieldAndRange) {
    struct Case {
        const char* places;
        const char* count;
        const char* first;
        const char* location;
        int field;
        const char* message;
    };
    const Case cases[] = {
        {"7", "1", "1", "1", CDuplicateTagDialog::kFieldPlaces,
         "Enter an integer between 1 and 6."},
        {"x", "1", "1", "1", CDuplicateTagDialog::kFieldPlaces, "Enter an integer."},
        {"3", "0", "1", "1", CDuplicateTagDialog::kFieldCount,
         "Enter an integer between 1 and 9999."},
        {"3", "1", "-1", "1", CDuplicateTagDialog::kFieldFirstNumber, "Enter a positive integer."},
        // A location outside the 16-bit addresses, or a series running past the last one,
        // would wrap to address 0 and on.
        {"3", "1", "1", "0", CDuplicateTagDialog::kFieldFirstLocation,
         "Enter an integer between 1 and 65536."},
        {"3", "1", "1", "70000", CDuplicateTagDialog::kFieldFirstLocation,
         "Enter an integer between 1 and 65536."},
        {"3", "3", "1", "65535", CDuplicateTagDialog::kFieldFirstLocation,
         "Enter an integer between 1 and 65534."},
    };
    for (const Case& c : cases) {
        CDuplicateTagDialog dialog;
        dialog.placesText = c.places;
        dialog.countText = c.count;
        dialog.firstNumberText = c.first;
        dialog.firstLocationText = c.location;
        auto error = dialog.ReadEntries();
        ASSERT_TRUE(error) << c.places << c.count << c.first << c.location;
        EXPECT_EQ(error->field, c.field);
        EXPECT_EQ(error->message, c.message);
    }
}

TEST_F(TagSeriesTest, CopyingTagLinesDescribeBothTags) {
    OModbusTag& existing = Add("Level", kHoldingRegister, 10, VT_I2);
    existing.scaling->conversion = OAnalogData::kLinear;
    OModbusTag received;
    received.name = "Level";
    received.locationKind = kEventSignal;
    received.address = 4;
    received.alarm->enableFlags = 1;
    const CCopyTagDlg dialog(received, existing);
    EXPECT_EQ(dialog.firstLine, "Level already exists.");
    EXPECT_EQ(dialog.secondLine,
              "Current tag is a Holding Register at 400011 with custom scaling with no alarm");
    EXPECT_EQ(dialog.thirdLine,
              "  New  tag  is a Event Signal at E00005 with no scaling with custom alarm");
    EXPECT_EQ(dialog.nameText, "Level");
}

TEST_F(TagSeriesTest, RenamedTagKeepsItsPlaceAndClashesAreRefused) {
    Add("Alpha", kOutputCoil, 0, VT_BOOL);
    OModbusTag& beta = Add("Beta", kOutputCoil, 1, VT_BOOL);
    Add("Gamma", kOutputCoil, 2, VT_BOOL);
    const std::string& delimiter = doc.Settings().areaDelimiter;
    EXPECT_EQ(*TagRenameRefusal(device, beta, "gamma", delimiter), "Tag Already Exist!");
    EXPECT_EQ(*TagRenameRefusal(device, beta, "B.x", delimiter), "Tag Name does not Accept Dots!");
    EXPECT_FALSE(TagRenameRefusal(device, beta, "BETA", delimiter));

    AeEventSpace space;
    TagDialog sheet(beta, space);
    sheet.Connection().name = "Zulu";
    ASSERT_FALSE(TagRenameRefusal(device, beta, sheet.Connection().name, delimiter));
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    EXPECT_EQ(Names(), (std::vector<std::string>{"Alpha", "Zulu", "Gamma"}));
}

// New Tag through the sheet: the new tag enters its device's scan lists only when its group
// takes it. A device thread's copy of a list made while the sheet applies never holds a tag
// that the group then refuses (and destroys).
class NewTagSheetTest : public ::testing::Test {
  protected:
    NewTagSheetTest() : device(InsertDevice(doc, "PLC1")) {
        doc.selection = &device;
        auto pump = std::make_unique<OModbusTag>();
        pump->name = "Pump";
        OModbusTag* added = pump.get();
        device.InsertTagByName(pump);
        doc.RegisterTag(device, added);
        ui.tagSheet = [this](OModbusTag& tag) {
            sheetTag = &tag;
            TagDialog sheet(tag, doc.EventSpace());
            sheet.Connection().name = enteredName;
            sheet.Connection().OnLocationChosen(kEventSignal);
            EXPECT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
            dynamic_cast<BinAlarmPage&>(sheet.Alarm()).OnAlarmToggled(true);
            EXPECT_FALSE(sheet.Ok());
            sheet.ApplyToTag();
            std::lock_guard<std::recursive_mutex> data(doc.Locks().tagData);
            threadCopies = {device.eventSignalScanList, device.alarmScanList};
            return true;
        };
    }

    CDocServices Services() {
        CDocServices services;
        services.ui = &ui;
        services.admin = &admin;
        return services;
    }

    ScriptedUi ui;
    FakeAdmin admin;
    CDoc doc{Services(), ModelSettings{}};
    ODevice& device;
    std::string enteredName;
    const OModbusTag* sheetTag = nullptr;
    std::vector<TagList> threadCopies;
};

TEST_F(NewTagSheetTest, ARefusedNewTagWasNeverInTheScanLists) {
    enteredName = "pump";
    EXPECT_FALSE(doc.AddTag());
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Tag Already Exist!"});
    ASSERT_EQ(threadCopies.size(), 2u);
    for (const TagList& copy : threadCopies)
        EXPECT_EQ(std::count(copy.begin(), copy.end(), sheetTag), 0);
    EXPECT_TRUE(device.eventSignalScanList.empty());
    EXPECT_TRUE(device.alarmScanList.empty());
}

TEST_F(NewTagSheetTest, AnAcceptedNewTagIsInEachScanListOnce) {
    enteredName = "Horn";
    ASSERT_TRUE(doc.AddTag());
    OModbusTag* horn = device.FindOwnTag("Horn");
    ASSERT_EQ(horn, sheetTag);
    EXPECT_EQ(device.eventSignalScanList, TagList{horn});
    EXPECT_EQ(device.alarmScanList, TagList{horn});
}

}  // namespace
}  // namespace velk
