// The rules of the channel supervision with a device that has no channels (its standby
// channel is never good, so no switch follows a failure): retries, status bits and their
// alarms, the quiet time after a switch, the switch spacing and the trace lines.
#include "modbus/comm_supervision.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "modbus/exchange_observer.h"
#include "model/o_device.h"
#include "tests/modbus/route_trace_capture.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"
#include "tests/support/lock_probe.h"

namespace velk {
namespace {

class CommSupervisionTest : public ::testing::Test {
  protected:
    CommSupervisionTest() : supervision_(clock_, poster_, [this] { ++reloads_; }) {
        device_.name = "Dev1";
        device_.params.supervisorRetries = 3;
        for (std::uint16_t code = 1; code <= 3; ++code) {
            device_.AlarmOfCode(code)->enableFlags =
                ODeviceAlarm::kCommFailureBit | kNormalEventBit;
        }
        supervision_.Register(device_);
        clock_.Advance(CommSupervision::kSettleMs);  // the device was made 5 s ago
    }
    int Lines(const std::string& part) const { return trace_.CountContaining(part); }
    std::vector<std::pair<int, int>> Events() const {  // code, active
        std::vector<std::pair<int, int>> out;
        for (const auto& e : poster_.events) out.emplace_back(e->code, e->active);
        return out;
    }

    testing::RouteTraceCapture trace_;
    testing::FakeClock clock_;
    testing::RecordingPoster poster_;
    ODevice device_;
    int reloads_ = 0;
    CommSupervision supervision_;
};

TEST_F(CommSupervisionTest, RetriesUsedUpSetTheBitAndRaiseThePortAlarm) {
    supervision_.CheckComm(device_, true, kActiveChannel);
    supervision_.CheckComm(device_, true, kActiveChannel);
    EXPECT_EQ(device_.statusBits, 0);
    EXPECT_TRUE(poster_.events.empty());
    const FileTime third = clock_.NowUtc();
    supervision_.CheckComm(device_, true, kActiveChannel);
    EXPECT_EQ(device_.statusBits, kPrimaryChannelFailed);
    EXPECT_EQ(device_.statusTime, third);
    EXPECT_EQ(Events(), (std::vector<std::pair<int, int>>{{1, 1}}));
    EXPECT_EQ(poster_.events[0]->activeTime, third);
    EXPECT_EQ(Lines("ODevice::CheckComm: Dev=Dev1; Active ch. - Failure;"), 3);
    EXPECT_EQ(device_.activeChannel, 0);  // the standby channel is not good: no switch

    // One good exchange clears the bit at once, with the normal event, and restarts the
    // communication watch.
    supervision_.CheckComm(device_, false, kActiveChannel);
    EXPECT_EQ(device_.statusBits, 0);
    EXPECT_EQ(Events(), (std::vector<std::pair<int, int>>{{1, 1}, {1, 0}}));
    EXPECT_EQ(reloads_, 1);
    EXPECT_EQ(supervision_.RetriesLeft(device_, kActiveChannel), 3);
}

TEST_F(CommSupervisionTest, BothChannelsFailingRaiseTheCommunicationAlarm) {
    for (int i = 0; i < 3; ++i) supervision_.CheckComm(device_, true, kActiveChannel);
    // The active channel has no retries left: the standby channel's first failure counts.
    supervision_.CheckComm(device_, true, kStandbyChannel);
    EXPECT_EQ(device_.statusBits, kPrimaryChannelFailed | kSecondaryChannelFailed);
    EXPECT_EQ(Events(), (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}, {3, 1}}));
    EXPECT_EQ(Lines("ODevice::CheckComm: Dev=Dev1; Diagn. ch. - Failure;"), 1);

    supervision_.CheckComm(device_, false, kStandbyChannel);
    EXPECT_EQ(device_.statusBits, kPrimaryChannelFailed);
    EXPECT_EQ(Events().back(), (std::pair<int, int>{3, 0}));
    EXPECT_EQ(reloads_, 0);  // only the active channel restarts the watch
}

TEST_F(CommSupervisionTest, ResultsOnTheSecondaryCountForItsBit) {
    device_.activeChannel = 1;
    device_.params.supervisorRetries = 1;
    supervision_.ResetRetries(device_);
    supervision_.CheckComm(device_, true, kActiveChannel);
    EXPECT_EQ(device_.statusBits, kSecondaryChannelFailed);
    supervision_.CheckComm(device_, true, kStandbyChannel);
    EXPECT_EQ(device_.statusBits, kPrimaryChannelFailed | kSecondaryChannelFailed);
}

TEST_F(CommSupervisionTest, ResultsAreIgnoredWithinFiveSecondsOfASwitch) {
    clock_.Advance(CommSupervision::kSwitchSpacingMs);
    ASSERT_TRUE(supervision_.ChangePort(device_));
    EXPECT_EQ(device_.activeChannel, 1);
    EXPECT_EQ(Lines("ODevice::ChangePort: try to change channel from Primary ch."), 1);
    EXPECT_EQ(Lines("ODevice::ChangePort: Dev=Dev1 the port was changed to Secondary ch.!"), 1);

    device_.params.supervisorRetries = 1;
    clock_.Advance(4000);
    supervision_.CheckComm(device_, true, kActiveChannel);
    supervision_.CheckComm(device_, true, kActiveChannel);
    EXPECT_EQ(device_.statusBits, 0);
    EXPECT_EQ(Lines("CheckComm"), 0);
    EXPECT_EQ(supervision_.RetriesLeft(device_, kActiveChannel), 3);

    clock_.Advance(1000);
    supervision_.CheckComm(device_, true, kActiveChannel);
    EXPECT_EQ(Lines("CheckComm"), 1);
}

TEST_F(CommSupervisionTest, SwitchesAreTenSecondsApart) {
    clock_.Advance(CommSupervision::kSwitchSpacingMs);
    ASSERT_TRUE(supervision_.ChangePort(device_));
    clock_.Advance(CommSupervision::kSwitchSpacingMs - 1);
    EXPECT_FALSE(supervision_.ChangePort(device_));
    EXPECT_EQ(device_.activeChannel, 1);
    EXPECT_EQ(Lines("ODevice::ChangePort: try to change channel from Secondary ch."), 1);
    clock_.Advance(1);
    EXPECT_TRUE(supervision_.ChangePort(device_));
    EXPECT_EQ(device_.activeChannel, 0);
}

TEST_F(CommSupervisionTest, DisabledAlarmRaisesNothingButKeepsTheBits) {
    device_.AlarmOfCode(kAlarmPort1)->enableFlags = 0;
    device_.params.supervisorRetries = 0;
    supervision_.ResetRetries(device_);
    supervision_.CheckComm(device_, true, kActiveChannel);
    EXPECT_EQ(device_.statusBits, kPrimaryChannelFailed);
    EXPECT_TRUE(poster_.events.empty());
}

// The status bits, the status time and the alarms' states change under TagDataLock, which
// the AE server holds while it reads and acknowledges them: each evaluation, on a failure
// and on the good exchange that follows, posts its record with the lock held.
TEST(CommSupervisionLocking, AlarmsAreEvaluatedUnderTagDataLock) {
    struct LockCheckingPoster final : IEventPoster {
        explicit LockCheckingPoster(ODevice& device) : device(device) {}
        void PostEvent(std::unique_ptr<BEvent> event) override {
            heldWhilePosting.push_back(!testing::FreeForOthers(device.Locks().tagData));
            codes.push_back(event->code);
        }
        ODevice& device;
        std::vector<bool> heldWhilePosting;
        std::vector<int> codes;
    };
    testing::RouteTraceCapture trace;
    testing::FakeClock clock;
    ODevice device;
    device.params.supervisorRetries = 0;
    device.AlarmOfCode(kAlarmPort1)->enableFlags = ODeviceAlarm::kCommFailureBit | kNormalEventBit;
    LockCheckingPoster poster(device);
    CommSupervision supervision(clock, poster, [] {});
    supervision.Register(device);
    clock.Advance(CommSupervision::kSettleMs);
    supervision.CheckComm(device, true, kActiveChannel);
    supervision.CheckComm(device, false, kActiveChannel);
    EXPECT_EQ(poster.codes, (std::vector<int>{kAlarmPort1, kAlarmPort1}));
    EXPECT_EQ(poster.heldWhilePosting, (std::vector<bool>{true, true}));
}

// The quiet time runs from the device's creation, not from the acquisition's start: a device
// loaded a minute before the first client attached has its first failure counted; one made
// just now has it ignored.
TEST(CommSupervisionCreation, QuietTimeRunsFromTheDevicesCreation) {
    testing::RouteTraceCapture trace;
    testing::FakeClock clock;
    testing::RecordingPoster poster;
    CommSupervision supervision(clock, poster, [] {});
    ODevice loadedEarlier(clock.NowUtc());
    loadedEarlier.params.supervisorRetries = 1;
    clock.Advance(60'000);
    ODevice madeNow(clock.NowUtc());
    madeNow.params.supervisorRetries = 1;
    for (ODevice* device : {&loadedEarlier, &madeNow}) {
        supervision.Register(*device);
        supervision.CheckComm(*device, true, kActiveChannel);
    }
    EXPECT_EQ(supervision.RetriesLeft(loadedEarlier, kActiveChannel), 0);
    EXPECT_EQ(supervision.RetriesLeft(madeNow, kActiveChannel), 1);
}

}  // namespace
}  // namespace velk
