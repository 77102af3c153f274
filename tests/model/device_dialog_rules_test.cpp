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

}  // namespace
}  // namespace velk
