#include <gtest/gtest.h>

#include <algorithm>

#include "model/ae_event_space.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/tag_sheet/tag_dialog.h"

namespace velk {
namespace {

bool Listed(const TagList& list, const OModbusTag* tag) {
    return std::find(list.begin(), list.end(), tag) != list.end();
}

AnaAlarmPage& AnalogAlarm(TagDialog& sheet) { return dynamic_cast<AnaAlarmPage&>(sheet.Alarm()); }
BinAlarmPage& BinaryAlarm(TagDialog& sheet) { return dynamic_cast<BinAlarmPage&>(sheet.Alarm()); }
AnaScalingPage& AnalogScaling(TagDialog& sheet) {
    return dynamic_cast<AnaScalingPage&>(sheet.Scaling());
}

std::unique_ptr<OModbusTag> RegisterTag(std::int32_t kind, std::uint16_t type) {
    auto tag = std::make_unique<OModbusTag>();
    tag->locationKind = kind;
    tag->SetDataType(type);
    tag->size = DataTypeRegisters(type);
    return tag;
}

TEST(FieldEntry, EntriesParseOrNameTheirMessage) {
    struct Case {
        const char* text;
        bool signedOk, unsignedOk, numberOk;
    };
    const Case cases[] = {
        {"12", true, true, true},           {" 7 ", true, true, true},
        {"-1", true, false, true},          {"+3", true, false, true},
        {"1.5", false, false, true},        {"1e3", false, false, true},
        {"", false, false, false},          {"abc", false, false, false},
        {"4294967296", false, false, true}, {"4294967295", false, true, true},
        {"0x10", false, false, false},      {"nan", false, false, false},
        {"1e999", false, false, false},     {"12a", false, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseSignedEntry(c.text).has_value(), c.signedOk) << c.text;
        EXPECT_EQ(ParseUnsignedEntry(c.text).has_value(), c.unsignedOk) << c.text;
        EXPECT_EQ(ParseNumberEntry(c.text).has_value(), c.numberOk) << c.text;
    }
    EXPECT_EQ(*ParseSignedEntry("-2147483648"), INT32_MIN);
    EXPECT_EQ(EnterIntegerBetweenMessage(1, 6), "Enter an integer between 1 and 6.");
}

TEST(TagSheet, NewOutputCoilOpensWithBinaryPagesAndWriteOff) {
    OModbusTag tag;  // Output Coil, BOOL, read access only
    AeEventSpace space;
    TagDialog sheet(tag, space);
    const TagPage& page = sheet.Connection();
    EXPECT_FALSE(sheet.AnalogPagesShown());
    EXPECT_FALSE(page.dataTypeEnabled);
    EXPECT_EQ(page.dataTypePosition, 0);
    EXPECT_EQ(page.bytesText, "2");
    EXPECT_TRUE(page.readAccess);
    EXPECT_FALSE(page.writeAccess);
    EXPECT_TRUE(page.accessEnabled);
    sheet.Connection().OnLocationChosen(kOutputCoil);
    EXPECT_TRUE(page.writeAccess);
}

TEST(TagSheet, HoldingRegisterSwitchThenCancelLeavesTheCoil) {
    OModbusTag tag;
    tag.scaling->conversion = OBinaryData::kInverted;
    tag.alarm->enableFlags = OBinaryAlarm::kOnTrue;
    const OTagData* scaling = tag.scaling.get();
    const OTagAlarm* alarm = tag.alarm.get();
    AeEventSpace space;
    {
        TagDialog sheet(tag, space);
        sheet.Connection().OnLocationChosen(kHoldingRegister);
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageScaling));
        EXPECT_EQ(sheet.Connection().ChosenTypeCode(), VT_I2);
        EXPECT_TRUE(sheet.Connection().writeAccess);
        ASSERT_TRUE(sheet.AnalogPagesShown());
        EXPECT_EQ(AnalogScaling(sheet).rawMaxText, "10000");
        EXPECT_NE(sheet.Scaling().GetEditedObject(), scaling);
        EXPECT_EQ(AnalogAlarm(sheet).GetEditedObject()->enableFlags, 0);
    }  // Cancel
    EXPECT_EQ(tag.locationKind, kOutputCoil);
    EXPECT_EQ(tag.dataType, VT_BOOL);
    EXPECT_EQ(tag.accessRights, kAccessReadable);
    EXPECT_EQ(tag.scaling.get(), scaling);
    EXPECT_EQ(tag.scaling->conversion, OBinaryData::kInverted);
    EXPECT_EQ(tag.alarm.get(), alarm);
    EXPECT_EQ(tag.alarm->enableFlags, OBinaryAlarm::kOnTrue);
}

TEST(TagSheet, RealInputRegisterToInputStatusAppliesBinaryDefaults) {
    auto tagOwned = RegisterTag(kInputRegister, VT_R4);
    OModbusTag& tag = *tagOwned;
    tag.scaling->conversion = OAnalogData::kLinear;
    ODevice device;
    tag.device = &device;
    tag.group = &device;  // a tag of the device's own list
    tag.alarm->enableFlags = OAnalogAlarm::kHighBit;
    device.UpdateScanLists(&tag);
    AeEventSpace space;
    TagDialog sheet(tag, space);
    sheet.Connection().OnLocationChosen(kInputStatus);
    const TagPage& page = sheet.Connection();
    EXPECT_EQ(page.ChosenTypeCode(), VT_BOOL);
    EXPECT_TRUE(page.readAccess);
    EXPECT_FALSE(page.writeAccess);
    EXPECT_FALSE(page.accessEnabled);
    EXPECT_FALSE(page.dataTypeEnabled);
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    EXPECT_EQ(tag.dataType, VT_BOOL);
    EXPECT_EQ(tag.size, 1);
    auto* scaling = dynamic_cast<OBinaryData*>(tag.scaling.get());
    ASSERT_NE(scaling, nullptr);
    EXPECT_EQ(scaling->conversion, OBinaryData::kNormal);
    ASSERT_NE(dynamic_cast<OBinaryAlarm*>(tag.alarm.get()), nullptr);
    EXPECT_FALSE(Listed(device.alarmScanList, &tag));  // the new alarm is disabled
}

TEST(TagSheet, LocationEntryIsAddressPlusOneAndNeverWraps) {
    struct Case {
        const char* entry;
        std::uint16_t address;  // 7 when the entry is refused
    };
    constexpr std::uint16_t kRefused = 7;
    for (const Case& c : {Case{"1", 0}, Case{"65536", 65535}, Case{"400", 399}, Case{"0", kRefused},
                          Case{"65537", kRefused}, Case{"70000", kRefused}}) {
        OModbusTag tag;
        tag.address = kRefused;
        AeEventSpace space;
        TagDialog sheet(tag, space);
        sheet.Connection().addressText = c.entry;
        const auto error = sheet.Ok();
        if (c.address == kRefused) {
            ASSERT_TRUE(error) << c.entry;
            EXPECT_EQ(error->error.field, TagPage::kFieldAddress);
            EXPECT_EQ(error->error.message, "Enter an integer between 1 and 65536.");
        } else {
            ASSERT_FALSE(error) << c.entry;
            sheet.ApplyToTag();
        }
        EXPECT_EQ(tag.address, c.address) << c.entry;
    }
}

TEST(TagSheet, PrioritiesAndTheBinaryClassAreRefusedRatherThanWrapped) {
    struct Case {
        bool analog;
        bool classField;  // else the first row's "Priority"
        const char* entry;
        const char* message;
    };
    const Case cases[] = {
        {true, false, "70000", "Enter an integer between 0 and 65535."},
        {false, false, "65536", "Enter an integer between 0 and 65535."},
        {false, true, "2147483648", "Enter an integer between 0 and 2147483647."},
    };
    for (const Case& c : cases) {
        auto tag = c.analog ? RegisterTag(kHoldingRegister, VT_I2) : std::make_unique<OModbusTag>();
        AeEventSpace space;
        TagDialog sheet(*tag, space);
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
        AlarmRow& row = c.analog ? AnalogAlarm(sheet).levels[0] : BinaryAlarm(sheet).alarmRow;
        (c.classField ? sheet.Alarm().classText : row.priorityText) = c.entry;
        const auto error = sheet.Ok();
        ASSERT_TRUE(error) << c.entry;
        EXPECT_EQ(error->error.message, c.message);
    }
}

TEST(TagSheet, RefusedEntryKeepsTheUserOnItsPageAndSavesNothing) {
    auto tagOwned = RegisterTag(kHoldingRegister, VT_I2);
    OModbusTag& tag = *tagOwned;
    AeEventSpace space;
    TagDialog sheet(tag, space);
    sheet.Connection().addressText = "-3";
    auto error = sheet.SelectPage(TagDialog::kPageAlarm);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->page, TagDialog::kPageConnection);
    EXPECT_EQ(error->error.field, TagPage::kFieldAddress);
    EXPECT_EQ(error->error.message, "Enter a positive integer.");
    EXPECT_EQ(sheet.ActivePage(), TagDialog::kPageConnection);

    sheet.Connection().addressText = "5";
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
    AnalogAlarm(sheet).OnLevelToggled(OAnalogAlarm::kHigh, true);
    AnalogAlarm(sheet).levels[OAnalogAlarm::kHigh].valueText = "high";
    error = sheet.Ok();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->page, TagDialog::kPageAlarm);
    EXPECT_EQ(error->error.field,
              static_cast<int>(AnaAlarmPage::kFieldValue) + OAnalogAlarm::kHigh);
    EXPECT_EQ(error->error.message, "Enter a number.");
    EXPECT_EQ(tag.address, 0);
    EXPECT_EQ(tag.alarm->enableFlags, 0);
}

TEST(TagSheet, ByteOrderAndRegisterBitAreCheckedSavedAndLoaded) {
    auto tagOwned = RegisterTag(kHoldingRegister, VT_I2);
    OModbusTag& tag = *tagOwned;
    AeEventSpace space;
    {
        TagDialog sheet(tag, space);
        TagPage& page = sheet.Connection();
        EXPECT_TRUE(page.byteOrderEnabled && page.bitEnabled);
        page.OnDataTypeChosen(0);  // BOOL without a bit stays no register type
        EXPECT_EQ(page.ChosenTypeCode(), VT_I2);
        page.bitText = "16";
        page.OnDataTypeChosen(0);
        EXPECT_EQ(page.ChosenTypeCode(), VT_BOOL);
        auto error = sheet.Ok();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->error.field, TagPage::kFieldBit);
        EXPECT_EQ(error->error.message, "Enter an integer between 0 and 15.");
        page.bitText = "";
        error = sheet.Ok();
        ASSERT_TRUE(error);  // a BOOL at a register needs its bit
        EXPECT_EQ(error->error.field, TagPage::kFieldBit);
        page.bitText = "15";
        ASSERT_FALSE(sheet.Ok());
        sheet.ApplyToTag();
    }
    EXPECT_EQ(tag.dataType, VT_BOOL);
    EXPECT_TRUE(tag.IsRegisterBit());
    EXPECT_EQ(tag.registerBit, 15);
    {
        TagDialog sheet(tag, space);
        TagPage& page = sheet.Connection();
        EXPECT_EQ(page.bitText, "15");
        EXPECT_EQ(page.ChosenTypeCode(), VT_BOOL);
        page.OnDataTypeChosen(6);  // LLONG: a whole-register type again
        page.byteOrder = kByteOrderDCBA;
        ASSERT_FALSE(sheet.Ok());
        sheet.ApplyToTag();
    }
    EXPECT_EQ(tag.dataType, VT_I8);
    EXPECT_EQ(tag.size, 4);
    EXPECT_EQ(tag.byteOrder, kByteOrderDCBA);
    EXPECT_EQ(tag.registerBit, kNoRegisterBit);
    // A coil has neither.
    TagDialog sheet(tag, space);
    sheet.Connection().OnLocationChosen(kOutputCoil);
    EXPECT_FALSE(sheet.Connection().byteOrderEnabled || sheet.Connection().bitEnabled);
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    EXPECT_FALSE(tag.HasFieldSettings());
}

TEST(TagSheet, DeadbandAndOnDelayAreCheckedAndSaved) {
    auto tagOwned = RegisterTag(kInputRegister, VT_R4);
    OModbusTag& tag = *tagOwned;
    AeEventSpace space;
    TagDialog sheet(tag, space);
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
    AnaAlarmPage& page = AnalogAlarm(sheet);
    EXPECT_EQ(page.deadbandText, "0");
    const struct {
        const char* deadband;
        const char* onDelay;
        int field;
        const char* message;
    } refused[] = {
        {"-0.5", "0", AnaAlarmPage::kFieldDeadband, "Enter a number of 0 or more."},
        {"x", "0", AnaAlarmPage::kFieldDeadband, "Enter a number."},
        {"1", "-1", AnaAlarmPage::kFieldOnDelay, "Enter a positive integer."},
    };
    for (const auto& r : refused) {
        page.deadbandText = r.deadband;
        page.onDelayText = r.onDelay;
        const auto error = sheet.Ok();
        ASSERT_TRUE(error) << r.deadband;
        EXPECT_EQ(error->error.field, r.field);
        EXPECT_EQ(error->error.message, r.message);
    }
    page.deadbandText = "0.5";
    page.onDelayText = "2500";
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    const auto& alarm = dynamic_cast<const OAnalogAlarm&>(*tag.alarm);
    EXPECT_EQ(alarm.deadband, 0.5);
    EXPECT_EQ(alarm.onDelay, 2500u);
}

TEST(TagSheet, AnalogAlarmWordsFollowTheTickedRows) {
    struct Case {
        std::array<bool, 4> levels, acks;
        bool normal, normalAck;
        std::uint16_t enable, ack;
    };
    const Case cases[] = {
        {{}, {}, true, true, 0x0000, 0x0000},
        {{false, false, true, false}, {false, false, true, false}, true, false, 0x8004, 0x0004},
        {{true, false, false, true}, {true, true, false, false}, true, true, 0x8009, 0x8001},
        {{false, true, false, false}, {}, false, true, 0x0002, 0x0000},
    };
    for (const Case& c : cases) {
        auto tagOwned = RegisterTag(kHoldingRegister, VT_I2);
        OModbusTag& tag = *tagOwned;
        AeEventSpace space;
        TagDialog sheet(tag, space);
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
        AnaAlarmPage& page = AnalogAlarm(sheet);
        for (int i = 0; i < 4; ++i) {
            page.OnLevelToggled(i, c.levels[i]);
            page.levels[i].ack = c.acks[i];
        }
        page.OnNormalToggled(c.normal);
        page.normal.ack = c.normalAck;
        ASSERT_FALSE(sheet.Ok());
        sheet.ApplyToTag();
        EXPECT_EQ(tag.alarm->enableFlags, c.enable);
        EXPECT_EQ(tag.alarm->acknowledgeFlags, c.ack);
    }
}

TEST(TagSheet, AlarmRowRulesTickAckOnlyAfterLoadingAndEmptyClearedRows) {
    auto tagOwned = RegisterTag(kHoldingRegister, VT_I2);
    OModbusTag& tag = *tagOwned;
    auto* alarm = dynamic_cast<OAnalogAlarm*>(tag.alarm.get());
    alarm->enableFlags = OAnalogAlarm::kLowBit;   // stored without "Ack"
    alarm->levelLimit[OAnalogAlarm::kHiHi] = 90;  // a cleared row's leftovers
    alarm->levelText[OAnalogAlarm::kHiHi] = "old";
    AeEventSpace space;
    TagDialog sheet(tag, space);
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
    AnaAlarmPage& page = AnalogAlarm(sheet);
    EXPECT_FALSE(page.levels[OAnalogAlarm::kLow].ack);
    EXPECT_TRUE(page.levels[OAnalogAlarm::kLow].controlsEnabled);
    EXPECT_EQ(page.levels[OAnalogAlarm::kHiHi].valueText, "0");
    EXPECT_EQ(page.levels[OAnalogAlarm::kHiHi].message, "");
    page.OnLevelToggled(OAnalogAlarm::kLoLo, true);
    EXPECT_TRUE(page.levels[OAnalogAlarm::kLoLo].ack);
}

TEST(TagSheet, BinaryAlarmWordsFollowTheTickedRows) {
    struct Case {
        bool alarm, state, alarmAck, normal, normalAck;
        std::uint16_t enable, ack;
    };
    const Case cases[] = {
        {true, false, true, true, true, 0x8001, 0x8001},
        {true, true, true, false, true, 0x0002, 0x0002},
        {true, true, false, true, true, 0x8002, 0x8000},
        {false, true, false, true, true, 0x0000, 0x0000},
    };
    for (const Case& c : cases) {
        OModbusTag tag;
        AeEventSpace space;
        TagDialog sheet(tag, space);
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
        BinAlarmPage& page = BinaryAlarm(sheet);
        page.OnAlarmToggled(c.alarm);
        page.state = c.state;
        page.alarmRow.ack = c.alarmAck;
        page.OnNormalToggled(c.normal);
        page.normal.ack = c.normalAck;
        ASSERT_FALSE(sheet.Ok());
        sheet.ApplyToTag();
        EXPECT_EQ(tag.alarm->enableFlags, c.enable);
        EXPECT_EQ(tag.alarm->acknowledgeFlags, c.ack);
    }
}

class UserConditionSheet : public ::testing::Test {
  protected:
    UserConditionSheet() {
        // Pump Fault (index 4) with two sub-conditions (8, 9), Door (5) without any,
        // Valve (6) with one (10).
        space.AddUserConditions("[Pump Fault]\nDry run\nOverload\n[Door]\n[Valve]\nStuck\n");
    }
    std::uint32_t SaveChoice(int condition, int subcondition) {
        TagDialog sheet(tag, space);
        EXPECT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
        BinAlarmPage& page = BinaryAlarm(sheet);
        page.OnConditionChosen(condition);
        if (subcondition >= 0) page.subconditionPosition = subcondition;
        EXPECT_FALSE(sheet.Ok());
        sheet.ApplyToTag();
        return dynamic_cast<OBinaryAlarm&>(*tag.alarm).userCondition;
    }
    OModbusTag tag;
    AeEventSpace space;
};

TEST_F(UserConditionSheet, ListsAndStoredValuesRoundTrip) {
    EXPECT_EQ(SaveChoice(1, 1), 0x40009u);
    TagDialog sheet(tag, space);
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
    BinAlarmPage& page = BinaryAlarm(sheet);
    EXPECT_EQ(page.conditionNames,
              (std::vector<std::string>{"(default)", "Pump Fault", "Door", "Valve"}));
    EXPECT_EQ(page.conditionPosition, 1);
    EXPECT_EQ(page.subconditionNames, (std::vector<std::string>{"Dry run", "Overload"}));
    EXPECT_EQ(page.subconditionPosition, 1);
    EXPECT_TRUE(page.simpleConditionEnabled);
    EXPECT_EQ(sheet.HelpTopic(), "velk2bql.htm");

    page.OnConditionChosen(0);
    EXPECT_TRUE(page.subconditionNames.empty());
    EXPECT_EQ(page.subconditionPosition, -1);
    EXPECT_FALSE(page.simpleConditionEnabled);
    EXPECT_EQ(sheet.HelpTopic(), "velk4cq5.htm");
    page.OnConditionChosen(3);
    EXPECT_EQ(page.subconditionPosition, 0);  // the first entry for a user condition
}

TEST(TagSheet, DefaultConditionListsTheSubconditionsBeforeTheFirstBracket) {
    OModbusTag tag;
    AeEventSpace space;
    space.AddUserConditions("Extra level\n[Pump Fault]\nDry run\n");
    TagDialog sheet(tag, space);
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
    EXPECT_EQ(BinaryAlarm(sheet).subconditionNames, std::vector<std::string>{"Extra level"});
    EXPECT_EQ(BinaryAlarm(sheet).subconditionPosition, -1);
}

TEST_F(UserConditionSheet, ConditionWithoutSubconditionsReadsBackAsTheSameChoice) {
    const std::uint32_t stored = SaveChoice(2, -1);
    EXPECT_EQ(stored >> 16, 5u);
    // The low half names no sub-condition, neither Pump Fault's last nor Valve's first.
    EXPECT_EQ(space.SubconditionName(static_cast<std::uint16_t>(stored)), "");
    TagDialog sheet(tag, space);
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
    EXPECT_EQ(BinaryAlarm(sheet).conditionPosition, 2);
    EXPECT_EQ(BinaryAlarm(sheet).subconditionPosition, -1);
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    EXPECT_EQ(dynamic_cast<OBinaryAlarm&>(*tag.alarm).userCondition, stored);
}

TEST_F(UserConditionSheet, PagesNeverShownKeepTheTagsValues) {
    auto& alarm = dynamic_cast<OBinaryAlarm&>(*tag.alarm);
    alarm.userCondition = 0x40009;  // Pump Fault, Overload
    alarm.attributeFlag = 1;
    alarm.enableFlags = kNormalEventBit;  // a word the page would not save so
    TagDialog sheet(tag, space);
    sheet.Connection().description = "only this changed";
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    EXPECT_EQ(tag.description, "only this changed");
    EXPECT_EQ(alarm.userCondition, 0x40009u);
    EXPECT_EQ(alarm.attributeFlag, 1u);
    EXPECT_EQ(alarm.enableFlags, kNormalEventBit);
}

TEST_F(UserConditionSheet, ConditionMissingFromTheTablesIsKept) {
    auto& alarm = dynamic_cast<OBinaryAlarm&>(*tag.alarm);
    alarm.userCondition = 0x00200030;
    alarm.attributeFlag = 0xFFFFFFFF;
    TagDialog sheet(tag, space);
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
    EXPECT_EQ(BinaryAlarm(sheet).conditionPosition, -1);
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    EXPECT_EQ(alarm.userCondition, 0x00200030u);
    EXPECT_EQ(alarm.attributeFlag, 0xFFFFFFFFu);
}

TEST(TagSheet, NoneScalingShownResetsTheRanges) {
    auto tagOwned = RegisterTag(kInputRegister, VT_I2);
    OModbusTag& tag = *tagOwned;
    auto& scaling = dynamic_cast<OAnalogData&>(*tag.scaling);
    scaling.rawMaximum = 4095;
    scaling.units = "bar";
    AeEventSpace space;
    TagDialog sheet(tag, space);
    EXPECT_EQ(AnalogScaling(sheet).rawMaxText, "4095");  // not yet shown
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageScaling));
    EXPECT_EQ(AnalogScaling(sheet).rawMaxText, "10000");
    EXPECT_FALSE(AnalogScaling(sheet).rangesEnabled);
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    EXPECT_EQ(scaling.rawMaximum, 10000);
    EXPECT_EQ(scaling.units, "");
}

TEST(TagSheet, ValueFollowsTheNewTypeOrBecomesBadZero) {
    struct Case {
        Variant value;
        int position;  // of the "Data Type:" list
        Variant expected;
        std::uint16_t quality;
    };
    const Case cases[] = {
        {Variant::Int16(5), 3, Variant::Int32(5), kQualityGood},
        {Variant::Int16(-5), 2, Variant::UInt16(0), kQualityBad},
        {Variant::Float(1e9f), 1, Variant::Int16(0), kQualityBad},
        {Variant::Int16(-5), 1, Variant::Int16(-5), kQualityGood},  // type unchanged
    };
    for (const Case& c : cases) {
        auto tagOwned = RegisterTag(kHoldingRegister, c.value.Type());
        OModbusTag& tag = *tagOwned;
        tag.value = c.value;
        tag.quality = kQualityGood;
        AeEventSpace space;
        TagDialog sheet(tag, space);
        sheet.Connection().OnDataTypeChosen(c.position);
        ASSERT_FALSE(sheet.Ok());
        sheet.ApplyToTag();
        EXPECT_EQ(tag.value, c.expected);
        EXPECT_EQ(tag.quality, c.quality);
    }
}

TEST(TagSheet, DoubleAndStringTagsKeepTheirType) {
    auto dblOwned = RegisterTag(kHoldingRegister, VT_R8);
    OModbusTag& dbl = *dblOwned;
    dbl.size = 4;
    auto textOwned = RegisterTag(kInputRegister, VT_BSTR);
    OModbusTag& text = *textOwned;
    text.size = 20;
    AeEventSpace space;
    {
        TagDialog sheet(dbl, space);
        EXPECT_EQ(sheet.Connection().DataTypeEntries().back(), "DOUBLE");
        EXPECT_EQ(sheet.Connection().bytesText, "8");
        EXPECT_FALSE(sheet.Connection().bytesEnabled);
        ASSERT_FALSE(sheet.Ok());
        sheet.ApplyToTag();
        EXPECT_EQ(dbl.dataType, VT_R8);
        EXPECT_EQ(dbl.size, 4);
    }
    TagDialog sheet(text, space);
    EXPECT_EQ(sheet.Connection().bytesText, "20");
    EXPECT_TRUE(sheet.Connection().bytesEnabled);
    sheet.Connection().bytesText = "x";
    EXPECT_EQ(sheet.Ok()->error.message, "Enter an integer.");
    sheet.Connection().bytesText = "30";
    ASSERT_FALSE(sheet.Ok());
    sheet.ApplyToTag();
    EXPECT_EQ(text.dataType, VT_BSTR);
    EXPECT_EQ(text.size, 30);
}

TEST(TagSheet, ScanListsFollowTheAppliedTag) {
    ODevice device;
    OModbusTag tag;
    tag.device = &device;
    tag.group = &device;  // a tag of the device's own list
    AeEventSpace space;
    auto apply = [&](std::int32_t kind, bool alarm) {
        TagDialog sheet(tag, space);
        sheet.Connection().OnLocationChosen(kind);
        ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
        BinaryAlarm(sheet).OnAlarmToggled(alarm);
        ASSERT_FALSE(sheet.Ok());
        sheet.ApplyToTag();
    };
    apply(kEventSignal, true);
    EXPECT_TRUE(Listed(device.eventSignalScanList, &tag));
    EXPECT_TRUE(Listed(device.alarmScanList, &tag));
    apply(kOutputCoil, false);
    EXPECT_FALSE(Listed(device.eventSignalScanList, &tag));
    EXPECT_FALSE(Listed(device.alarmScanList, &tag));
}

TEST(TagSheet, HelpTopicPerPageAndLanguage) {
    auto tagOwned = RegisterTag(kHoldingRegister, VT_I2);
    OModbusTag& tag = *tagOwned;
    AeEventSpace space;
    TagDialog sheet(tag, space);
    EXPECT_EQ(sheet.HelpAddress(1033), "VELKOPC_E.CHM::/eng_html\\velk506l.htm>mainwin");
    EXPECT_EQ(sheet.HelpAddress(1031), "VELKOPC_D.CHM::/ger_html\\velk506l.htm>mainwin");
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageScaling));
    EXPECT_EQ(sheet.HelpTopic(), "velk4be4.htm");
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageAlarm));
    EXPECT_EQ(sheet.HelpTopic(), "velk2qy5.htm");
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageConnection));
    sheet.Connection().OnLocationChosen(kOutputCoil);
    ASSERT_FALSE(sheet.SelectPage(TagDialog::kPageScaling));
    EXPECT_EQ(sheet.HelpTopic(), "velk5x64.htm");
}

}  // namespace
}  // namespace velk
