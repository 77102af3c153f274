#include <gtest/gtest.h>

#include "model/ae_event_space.h"
#include "model/o_analog_alarm.h"
#include "model/o_binary_alarm.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using testing::RecordingPoster;

// A REAL tag with all four levels at 10, 20, 80 and 90.
class AnalogAlarmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tag.SetDataType(VT_R4);
        tag.device = &device;
        alarm = dynamic_cast<OAnalogAlarm*>(tag.alarm.get());
        ASSERT_NE(alarm, nullptr);
        alarm->enableFlags = 0x000F;
        alarm->levelLimit = {10.0, 20.0, 80.0, 90.0};
    }
    // Stores a value with a time stamp and evaluates, as the scan engine does.
    std::uint16_t Read(double x, FileTime when) {
        tag.SetValue(Variant::Float(static_cast<float>(x)));
        tag.timestamp = when;
        return tag.alarm->Evaluate(tag, poster);
    }
    ODevice device;
    OModbusTag tag;
    OAnalogAlarm* alarm = nullptr;
    RecordingPoster poster;
};

TEST_F(AnalogAlarmTest, LevelMovesPostOnlyTheNewLevel) {
    EXPECT_EQ(Read(5, 100), OAnalogAlarm::kLoLoBit);
    ASSERT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(poster.events[0]->code, 4);  // LoLo
    EXPECT_EQ(poster.events[0]->active, 1);
    EXPECT_EQ(poster.events[0]->eventTime, 100u);
    EXPECT_EQ(poster.events[0]->activeTime, 100u);
    EXPECT_EQ(poster.events[0]->tag, &tag);
    EXPECT_EQ(poster.events[0]->device, &device);
    EXPECT_EQ(poster.events[0]->valueText, "5");

    EXPECT_EQ(Read(15, 200), OAnalogAlarm::kLowBit);
    ASSERT_EQ(poster.events.size(), 2u);  // no return to normal in between
    EXPECT_EQ(poster.events[1]->code, 5);
    EXPECT_EQ(tag.subconditionIndex, 5);
    EXPECT_EQ(tag.activeTime, 200u);

    EXPECT_EQ(Read(16, 300), OAnalogAlarm::kLowBit);  // same state: nothing posted
    EXPECT_EQ(poster.events.size(), 2u);

    // Back to normal at exactly the Low limit, silently without bit 15.
    EXPECT_EQ(Read(20, 400), 0);
    EXPECT_EQ(poster.events.size(), 2u);
    EXPECT_EQ(tag.normalTime, 400u);
    EXPECT_EQ(tag.acknowledgeState, kAckStateNotRequired);
}

TEST_F(AnalogAlarmTest, ReturnToNormalIsPostedWithBit15) {
    alarm->enableFlags |= kNormalEventBit;
    alarm->acknowledgeFlags = 0x8002;
    Read(15, 100);
    EXPECT_EQ(tag.acknowledgeState, 2);  // Low needs acknowledgement
    Read(50, 150);
    ASSERT_EQ(poster.events.size(), 2u);
    EXPECT_EQ(poster.events[1]->code, 5);  // the previous level
    EXPECT_EQ(poster.events[1]->active, 0);
    EXPECT_EQ(poster.events[1]->eventTime, 150u);
    EXPECT_EQ(poster.events[1]->activeTime, 100u);
    EXPECT_EQ(tag.acknowledgeState, 0x8000);
}

TEST_F(AnalogAlarmTest, HighHiHiOrderAndStrictLimits) {
    EXPECT_EQ(Read(90, 1), OAnalogAlarm::kHighBit);  // equal to HiHi: not HiHi
    EXPECT_EQ(Read(95, 2), OAnalogAlarm::kHiHiBit);
    EXPECT_EQ(Read(80, 3), 0);                    // equal to High: normal
    alarm->enableFlags = OAnalogAlarm::kHighBit;  // only High enabled
    EXPECT_EQ(Read(1000, 4), OAnalogAlarm::kHighBit);
    EXPECT_EQ(poster.events.back()->code, 6);
}

TEST_F(AnalogAlarmTest, TextValuesLeaveTheStateAlone) {
    Read(5, 1);
    tag.value = Variant::Text("n/a");
    EXPECT_EQ(tag.alarm->Evaluate(tag, poster), OAnalogAlarm::kLoLoBit);
    EXPECT_EQ(poster.events.size(), 1u);
}

// Deadband 2 and on-delay 500 ms; time stamps in file-time units from a fake clock.
TEST_F(AnalogAlarmTest, DeadbandHoldsALevelUntilTheValueIsBackBeyondIt) {
    alarm->deadband = 2.0;
    alarm->enableFlags |= kNormalEventBit;
    const struct {
        double value;
        std::uint16_t state;
    } steps[] = {
        {81, OAnalogAlarm::kHighBit},
        {78.5, OAnalogAlarm::kHighBit},
        {91, OAnalogAlarm::kHiHiBit},
        {88.5, OAnalogAlarm::kHiHiBit},
        {87.5, OAnalogAlarm::kHighBit},
        {78, 0},
        {19, OAnalogAlarm::kLowBit},
        {21.5, OAnalogAlarm::kLowBit},
        {22, 0},
        {50, 0},
    };
    FileTime when = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.value);
        EXPECT_EQ(Read(step.value, when += 10), step.state);
    }
    // High, HiHi, High, normal, Low, normal: one record per change and no chatter.
    EXPECT_EQ(poster.events.size(), 6u);
}

TEST_F(AnalogAlarmTest, OnDelayRaisesOnlyALimitThatStaysExceeded) {
    alarm->onDelay = 500;
    constexpr FileTime kMs = 10000;
    testing::FakeClock clock;
    auto at = [&](std::uint32_t ms) { return clock.NowUtc() + ms * kMs; };
    // Above High for 400 ms, then back: nothing at all.
    EXPECT_EQ(Read(85, at(0)), 0);
    EXPECT_EQ(Read(85, at(400)), 0);
    EXPECT_EQ(Read(50, at(450)), 0);
    EXPECT_TRUE(poster.events.empty());
    // Exceeded again: the delay starts anew and the level comes once it has run.
    EXPECT_EQ(Read(85, at(1000)), 0);
    EXPECT_EQ(Read(85, at(1499)), 0);
    EXPECT_EQ(Read(86, at(1500)), OAnalogAlarm::kHighBit);
    ASSERT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(tag.activeTime, at(1500));
    // The return is at once; a move on to HiHi waits for the delay like the first limit.
    EXPECT_EQ(Read(95, at(1600)), OAnalogAlarm::kHighBit);
    EXPECT_EQ(Read(95, at(2100)), OAnalogAlarm::kHiHiBit);
    EXPECT_EQ(Read(50, at(2200)), 0);
    EXPECT_EQ(Read(5, at(2300)), 0);  // LoLo pending
    EXPECT_EQ(Read(5, at(2800)), OAnalogAlarm::kLoLoBit);
}

class BinaryAlarmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        alarm = dynamic_cast<OBinaryAlarm*>(tag.alarm.get());
        ASSERT_NE(alarm, nullptr);
    }
    std::uint16_t Read(bool v, FileTime when) {
        tag.SetValue(Variant::UInt16(v ? 0xFFFF : 0));
        tag.timestamp = when;
        return tag.alarm->Evaluate(tag, poster);
    }
    OModbusTag tag;
    OBinaryAlarm* alarm = nullptr;
    RecordingPoster poster;
};

TEST_F(BinaryAlarmTest, AlarmOnFalseTripsAndReturnsOnTrue) {
    alarm->enableFlags = OBinaryAlarm::kOnFalse | kNormalEventBit;
    alarm->acknowledgeFlags = OBinaryAlarm::kOnFalse;
    EXPECT_EQ(Read(true, 1), 0);
    EXPECT_TRUE(poster.events.empty());
    EXPECT_EQ(Read(false, 2), 1);
    ASSERT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(poster.events[0]->code, 1);  // "Trip"
    EXPECT_EQ(tag.acknowledgeState, 1);
    EXPECT_EQ(Read(false, 3), 1);  // no repeat
    EXPECT_EQ(Read(true, 4), 0);
    ASSERT_EQ(poster.events.size(), 2u);
    EXPECT_EQ(poster.events[1]->code, 1);
    EXPECT_EQ(poster.events[1]->active, 0);
    EXPECT_EQ(poster.events[1]->activeTime, 2u);
    EXPECT_EQ(tag.acknowledgeState, kAckStateNotRequired);  // bit 15 not in the ack flags
}

TEST_F(BinaryAlarmTest, BothBitsAlternateWithoutReturningToNormal) {
    alarm->enableFlags = OBinaryAlarm::kOnFalse | OBinaryAlarm::kOnTrue | kNormalEventBit;
    EXPECT_EQ(Read(true, 1), 2);
    EXPECT_EQ(Read(false, 2), 1);
    EXPECT_EQ(Read(true, 3), 2);
    ASSERT_EQ(poster.events.size(), 3u);
    for (const auto& e : poster.events) EXPECT_EQ(e->active, 1);
    EXPECT_EQ(poster.events[0]->code, 2);  // "Set"
    EXPECT_EQ(poster.events[1]->code, 1);
}

TEST_F(BinaryAlarmTest, AcknowledgementClearsOnlyTheAcknowledgeState) {
    alarm->enableFlags = OBinaryAlarm::kOnTrue;
    alarm->acknowledgeFlags = OBinaryAlarm::kOnTrue;
    Read(true, 7);
    EXPECT_FALSE(IsAcknowledgedState(tag.acknowledgeState));
    tag.Acknowledge(9);
    EXPECT_TRUE(IsAcknowledgedState(tag.acknowledgeState));
    EXPECT_EQ(tag.acknowledgeTime, 9u);
    EXPECT_EQ(tag.alarmState, 2);
    EXPECT_EQ(tag.activeTime, 7u);
}

TEST(BinaryAlarmTexts, UserConditionNamesComeFromTheEventSpace) {
    AeEventSpace space;
    space.AddUserConditions("[Valve]\nOpen\nClosed\n");
    OBinaryAlarm alarm;
    EXPECT_EQ(alarm.GetConditionName(space), "");
    alarm.userCondition = (4u << 16) | 9u;
    EXPECT_EQ(alarm.GetConditionName(space), "Valve");
    EXPECT_EQ(alarm.GetSubconditionName(space), "Closed");
    EXPECT_EQ(alarm.GetAttributeText(), "FALSE");
    alarm.attributeFlag = 1;
    EXPECT_EQ(alarm.GetAttributeText(), "TRUE");
    alarm.userCondition = (60u << 16) | 200u;  // not in the tables
    EXPECT_EQ(alarm.GetConditionName(space), "");
}

TEST(AlarmCopies, EqualityComparesConfigurationOnly) {
    OBinaryAlarm a;
    a.enableFlags = 2;
    a.alarmText = "open";
    a.area = "North";
    auto b = a.Clone();
    EXPECT_TRUE(a.IsEqualAll(*b));
    b->alarmClass = 3;
    EXPECT_FALSE(a.IsEqualAll(*b));
    OAnalogAlarm analog;
    EXPECT_FALSE(OBinaryAlarm().IsEqualAll(analog));
    analog.Assign(analog);  // self-assignment is a no-op
    EXPECT_EQ(analog.GetSource(), "");
    EXPECT_EQ(analog.GetAttributeText(), "");
}

class DeviceAlarmTest : public ::testing::Test {
  protected:
    std::uint16_t Comm(std::uint16_t code, std::uint16_t status, FileTime when) {
        device.statusBits = status;
        device.statusTime = when;
        return device.AlarmOfCode(code)->EvaluateComm(device, code, poster);
    }
    ODevice device;
    RecordingPoster poster;
};

TEST_F(DeviceAlarmTest, CommunicationAlarmNeedsBothChannels) {
    for (auto& a : device.communicationAlarms) a.enableFlags = 0x8001;
    Comm(1, kPrimaryChannelFailed, 10);
    Comm(3, kPrimaryChannelFailed, 10);
    ASSERT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(poster.events[0]->code, 1);
    EXPECT_EQ(poster.events[0]->device, &device);
    EXPECT_EQ(poster.events[0]->tag, nullptr);
    EXPECT_EQ(device.communicationAlarms[2].lastStatus, 0);

    Comm(3, kPrimaryChannelFailed | kSecondaryChannelFailed, 20);
    ASSERT_EQ(poster.events.size(), 2u);
    EXPECT_EQ(poster.events[1]->code, 3);
    EXPECT_EQ(poster.events[1]->activeTime, 20u);

    EXPECT_EQ(Comm(3, kSecondaryChannelFailed, 30), kSecondaryChannelFailed);
    ASSERT_EQ(poster.events.size(), 3u);
    EXPECT_EQ(poster.events[2]->active, 0);
    EXPECT_EQ(poster.events[2]->eventTime, 30u);
    EXPECT_EQ(poster.events[2]->activeTime, 20u);
}

TEST_F(DeviceAlarmTest, FailureBeforeEnablingIsRaisedAtTheNextEvaluation) {
    ODeviceAlarm& port1 = device.communicationAlarms[0];
    Comm(1, kPrimaryChannelFailed, 5);
    EXPECT_TRUE(poster.events.empty());
    EXPECT_EQ(port1.lastStatus, 0);
    port1.enableFlags = ODeviceAlarm::kCommFailureBit;
    port1.acknowledgeFlags = ODeviceAlarm::kCommFailureBit;
    Comm(1, kPrimaryChannelFailed, 6);
    ASSERT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(port1.acknowledgeState, 1);
    EXPECT_EQ(port1.activeTime, 6u);
    // Return without bit 15: the state changes, nothing is posted.
    Comm(1, 0, 7);
    EXPECT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(port1.acknowledgeState, kAckStateNotRequired);
    EXPECT_EQ(port1.normalTime, 7u);
}

TEST_F(DeviceAlarmTest, OverrunUsesBit1AndStampsTheStatusTime) {
    ODeviceAlarm& overrun = device.communicationAlarms[3];
    overrun.enableFlags = ODeviceAlarm::kCommFailureBit;  // wrong bit for code 4
    device.overrunState = kOverrunActive;
    overrun.EvaluateOverrun(device, kAlarmBufferOverrun, 1000, poster);
    EXPECT_TRUE(poster.events.empty());
    EXPECT_EQ(device.statusTime, 1000u);
    overrun.enableFlags = ODeviceAlarm::kOverrunFailureBit | kNormalEventBit;
    overrun.acknowledgeFlags = 0x8002;
    EXPECT_EQ(overrun.EvaluateOverrun(device, kAlarmBufferOverrun, 2000, poster), 4);
    ASSERT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(poster.events[0]->code, 4);
    EXPECT_EQ(poster.events[0]->activeTime, 2000u);
    EXPECT_EQ(overrun.acknowledgeState, 2);
    device.overrunState = 0;
    overrun.EvaluateOverrun(device, kAlarmBufferOverrun, 3000, poster);
    ASSERT_EQ(poster.events.size(), 2u);
    EXPECT_EQ(overrun.acknowledgeState, 0x8000);
    EXPECT_EQ(poster.events[1]->eventTime, 3000u);
}

TEST(DeviceAlarmIds, EveryAlarmHasItsOwnIdAndCopiesTakeNewOnes) {
    ODevice device;
    ODeviceAlarm copy = device.communicationAlarms[0];
    EXPECT_NE(copy.id, device.communicationAlarms[0].id);
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(device.communicationAlarms[i].id, device.communicationAlarms[i - 1].id + 1);
    EXPECT_EQ(device.CodeOfAlarm(&device.communicationAlarms[2]), 3);
    EXPECT_EQ(device.CodeOfAlarm(&copy), 0);
    copy.failureText = "x";
    const std::uint32_t keptId = device.communicationAlarms[1].id;
    device.communicationAlarms[1] = copy;  // assignment copies configuration, keeps the id
    EXPECT_EQ(device.communicationAlarms[1].id, keptId);
    EXPECT_EQ(device.communicationAlarms[1].failureText, "x");
}

TEST(DeviceAlarmDefaults, DialogDefaultsPerCode) {
    ODeviceAlarm a;
    a.ApplyDefaultTexts(3);
    EXPECT_EQ(a.failurePriority, 1000);
    EXPECT_EQ(a.failureText, "communication failure");
    EXPECT_EQ(a.normalPriority, 100);
    EXPECT_EQ(a.normalText, "communication OK");
    ODeviceAlarm b;
    b.failurePriority = 5;
    b.ApplyDefaultTexts(4);  // only filled in while the priority is 0
    EXPECT_EQ(b.failureText, "");
}

}  // namespace
}  // namespace velk
