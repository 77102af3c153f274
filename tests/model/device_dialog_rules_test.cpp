#include "model/device_dialog_rules.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

DeviceDialogTexts Valid() {
    DeviceDialogTexts t;
    t.address = "17";
    t.timeout = "250";
    t.tagScan = "5000";
    t.eventScan = "1000";
    t.supervisorTime = "65535";
    t.timeSyncMinutes = "1440";
    t.supervisorRetries = "-3";
    t.timeSyncAtStartup = true;
    return t;
}

TEST(DeviceDialogRules, AcceptedValuesAreWritten) {
    ODeviceParams params;
    EXPECT_EQ(ApplyDeviceDialogTexts(Valid(), params), std::nullopt);
    EXPECT_EQ(params.slaveAddress, 17);
    EXPECT_EQ(params.timeout, 250u);
    EXPECT_EQ(params.supervisorTime, 65535u);
    EXPECT_EQ(params.timeSync, 0x8000 | 1440);
    EXPECT_EQ(params.supervisorRetries, -3);
}

TEST(DeviceDialogRules, FirstFailingFieldGivesItsMessage) {
    struct Case {
        void (*change)(DeviceDialogTexts&);
        const char* message;
    };
    const Case cases[] = {
        {[](DeviceDialogTexts& t) { t.address = "256"; }, "Enter an integer between 0 and 255."},
        {[](DeviceDialogTexts& t) { t.address = "x"; }, "Enter an integer between 0 and 255."},
        {[](DeviceDialogTexts& t) { t.address = "0"; }, "Enter an integer between 1 and 255."},
        {[](DeviceDialogTexts& t) { t.timeout = "-1"; }, "Enter a positive integer."},
        {[](DeviceDialogTexts& t) { t.eventScan = "1.5"; }, "Enter a positive integer."},
        {[](DeviceDialogTexts& t) { t.supervisorTime = "4294967296"; },
         "Enter a positive integer."},
        // Kept in 16 bits: 70000 must not become 4464.
        {[](DeviceDialogTexts& t) { t.supervisorTime = "70000"; },
         "Enter an integer between 0 and 65535."},
        {[](DeviceDialogTexts& t) { t.timeSyncMinutes = "1441"; },
         "Enter an integer between 0 and 1440."},
        {[](DeviceDialogTexts& t) { t.supervisorRetries = "40000"; }, "Enter an integer."},
        {[](DeviceDialogTexts& t) {
             t.address = "0";
             t.timeout = "bad";
         },
         "Enter an integer between 1 and 255."},
    };
    for (const Case& c : cases) {
        DeviceDialogTexts texts = Valid();
        c.change(texts);
        ODeviceParams params;
        EXPECT_EQ(ApplyDeviceDialogTexts(texts, params), std::optional<std::string>(c.message));
        EXPECT_EQ(params.slaveAddress, 1);  // unchanged on failure
    }
}

TEST(DeviceDialogRules, FieldSettingsTheirTextsAndTheirMessages) {
    ODeviceParams params;
    std::map<std::uint16_t, std::string> texts = FieldSettingTexts(params);
    EXPECT_EQ(texts.at(5), "");  // the device type's gaps
    texts[3] = " 60 ";
    texts[5] = "0";
    texts[6] = "15";
    ASSERT_EQ(ApplyFieldSettingTexts(texts, {{1, true}}, params), std::nullopt);
    EXPECT_EQ(params.maxReadRegisters, 60);
    EXPECT_EQ(params.maxBlockGap, 0);
    EXPECT_EQ(params.requestPause, 15);
    EXPECT_EQ(params.forceMultipleRegisterWrite, 1);
    EXPECT_EQ(params.forceMultipleCoilWrite, 0);
    EXPECT_EQ(FieldSettingTexts(params).at(5), "0");

    struct Case {
        std::uint16_t key;
        const char* text;
        const char* message;
    };
    for (const Case& c : {Case{3, "126", "Enter an integer between 1 and 125."},
                          Case{3, "", "Enter an integer between 1 and 125."},
                          Case{4, "2001", "Enter an integer between 1 and 2000."},
                          Case{5, "-1", "Enter an integer between 0 and 2000."},
                          Case{9, "1", "Enter an integer between 2 and 1000."},
                          Case{6, "x", "Enter an integer between 0 and 60000."}}) {
        ODeviceParams unchanged = params;
        auto wrong = texts;
        wrong[c.key] = c.text;
        EXPECT_EQ(ApplyFieldSettingTexts(wrong, {{1, false}}, unchanged), std::string(c.message))
            << c.key << " " << c.text;
        EXPECT_EQ(unchanged.maxReadRegisters, 60);
        EXPECT_EQ(unchanged.forceMultipleRegisterWrite, 1);
    }
}

}  // namespace
}  // namespace velk
