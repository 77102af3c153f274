#include "model/comm_alarms_dialog_model.h"

#include <gtest/gtest.h>

#include "model/o_device_alarm.h"

namespace velk {
namespace {

using Alarms = std::array<CommAlarmSettings, kCommAlarmCount>;

TEST(CommAlarmsDialog, EnablingFillsEachAlarmsDefaultsAndTheAcknowledgeBox) {
    struct Case {
        int index;
        const char* failure;
        const char* failurePriority;
        const char* normal;
        const char* normalPriority;
    };
    const Case cases[] = {{0, "communication lost on P1", "900", "communication back on P1", "150"},
                          {1, "communication lost on P2", "900", "communication back on P2", "150"},
                          {2, "communication failure", "1000", "communication OK", "100"},
                          {3, "buffer overrun", "800", "buffer OK", "200"}};
    for (const Case& c : cases) {
        CommAlarmsDialogModel model(Alarms{});
        EXPECT_FALSE(model.SourceEditable(c.index));
        model.SetEnabled(c.index, true, true);
        model.SetEnabled(c.index, false, true);
        EXPECT_EQ(model.Failure(c.index).message, c.failure);
        EXPECT_EQ(model.Failure(c.index).priority, c.failurePriority);
        EXPECT_EQ(model.Normal(c.index).message, c.normal);
        EXPECT_EQ(model.Normal(c.index).priority, c.normalPriority);
        EXPECT_TRUE(model.Failure(c.index).acknowledge);
        EXPECT_TRUE(model.SourceEditable(c.index));
    }
}

TEST(CommAlarmsDialog, AnEnteredPriorityStaysAndDisablingClearsThePart) {
    CommAlarmsDialogModel model(Alarms{});
    model.SetPriority(0, true, "321");
    model.SetMessage(0, true, "own text");
    model.SetEnabled(0, true, true);
    EXPECT_EQ(model.Failure(0).priority, "321");
    EXPECT_EQ(model.Failure(0).message, "own text");
    model.SetEnabled(0, true, false);
    EXPECT_EQ(model.Failure(0).priority, "0");
    EXPECT_EQ(model.Failure(0).message, "");
    EXPECT_FALSE(model.Failure(0).acknowledge);
}

TEST(CommAlarmsDialog, TheOverrunAlarmsAcknowledgeBoxesCannotBeChanged) {
    CommAlarmsDialogModel model(Alarms{});
    model.SetEnabled(3, true, true);
    model.SetAcknowledge(3, true, false);
    EXPECT_TRUE(model.Failure(3).acknowledge);
    model.SetEnabled(2, true, true);
    model.SetAcknowledge(2, true, false);
    EXPECT_FALSE(model.Failure(2).acknowledge);
}

TEST(CommAlarmsDialog, OkRefusesAPriorityOutsideZeroToThousandAndWritesNothing) {
    Alarms stored{};
    stored[1].failureText = "kept";
    CommAlarmsDialogModel model(stored);
    model.SetEnabled(1, true, true);
    model.SetPriority(1, true, "1001");
    Alarms out = stored;
    EXPECT_EQ(model.Ok(out), std::optional<std::string>("Enter an integer between 0 and 1000."));
    EXPECT_EQ(out, stored);
    model.SetPriority(1, true, "x");
    EXPECT_EQ(model.Ok(out), std::optional<std::string>("Enter an integer."));
    model.SetPriority(1, true, "1000");
    model.SetSource(1, "Line 2");
    ASSERT_EQ(model.Ok(out), std::nullopt);
    EXPECT_EQ(out[1].enableFlags, ODeviceAlarm::kCommFailureBit);
    EXPECT_EQ(out[1].acknowledgeFlags, ODeviceAlarm::kCommFailureBit);
    EXPECT_EQ(out[1].failurePriority, 1000);
    EXPECT_EQ(out[1].source, "Line 2");
}

TEST(CommAlarmsDialog, TheOverrunFailureUsesItsOwnBitAndNormalEventsBit15) {
    CommAlarmsDialogModel model(Alarms{});
    model.SetEnabled(3, true, true);
    model.SetEnabled(3, false, true);
    Alarms out{};
    ASSERT_EQ(model.Ok(out), std::nullopt);
    EXPECT_EQ(out[3].enableFlags, ODeviceAlarm::kOverrunFailureBit | kNormalEventBit);
    // Read back, the dialog shows what was written.
    CommAlarmsDialogModel again(out);
    EXPECT_TRUE(again.Failure(3).enabled);
    EXPECT_TRUE(again.Normal(3).enabled);
    EXPECT_EQ(again.Normal(3).message, "buffer OK");
}

}  // namespace
}  // namespace velk
