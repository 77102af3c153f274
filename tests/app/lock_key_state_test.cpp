#include "app/lock_key_state.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

TEST(LockKeyTrackerTest, PressesToggleAndTheDisplaysReportWins) {
    LockKeyTracker tracker;
    tracker.Pressed(LockKey::Caps, false);
    tracker.Pressed(LockKey::Caps, true);  // held down: repeats change nothing
    tracker.Pressed(LockKey::Scroll, false);
    EXPECT_EQ(tracker.State(), (LockKeyState{true, false, true}));
    EXPECT_EQ(IndicatorText(LockKey::Caps, tracker.State()), "CAP");
    EXPECT_EQ(IndicatorText(LockKey::Num, tracker.State()), "");
    EXPECT_EQ(IndicatorText(LockKey::Scroll, tracker.State()), "SCRL");

    tracker.Reported({false, true, false});
    tracker.Pressed(LockKey::Num, false);  // toggles from the report
    tracker.Pressed(LockKey::Caps, false);
    EXPECT_EQ(tracker.State(), (LockKeyState{true, false, false}));
}

}  // namespace
}  // namespace velk
