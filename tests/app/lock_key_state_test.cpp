#include "app/lock_key_state.h"

#include <gtest/gtest.h>

namespace velk {

TEST(LockKeyTrackerTest, PressesToggleFromTheLastReportAndRepeatsDoNot) {
    LockKeyTracker tracker;
    tracker.Reported({false, true, false});
    tracker.Pressed(LockKey::Caps, false);
    tracker.Pressed(LockKey::Caps, true);  // held down
    tracker.Pressed(LockKey::Num, false);
    EXPECT_EQ(tracker.State(), (LockKeyState{true, false, false}));
    EXPECT_EQ(IndicatorText(LockKey::Caps, tracker.State()), "CAP");
    EXPECT_EQ(IndicatorText(LockKey::Num, tracker.State()), "");
}

}  // namespace velk
