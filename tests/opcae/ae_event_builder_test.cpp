#include "opcae/ae_event_builder.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "tests/opcae/ae_test_support.h"

namespace velk {
namespace {

class EventBuilderTest : public ::testing::Test, public testing::AeFixture {
  protected:
    EventBuilderTest()
        : plc(AddDevice("PLC1")),
          group(AddGroup(plc, "G")),
          pump(AddBinaryTag(group, "Pump")),
          level(AddAnalogTag(group, "Level")) {}

    BuiltEvent Build(const BEvent& record) {
        BuiltEvent built;
        EXPECT_TRUE(AeEventBuilder(space, document.Settings()).FromRecord(record, built));
        return built;
    }
    void Settings(const std::string& delimiter, bool fullPath) {
        ModelSettings settings;
        settings.areaDelimiter = delimiter;
        settings.fullTagPath = fullPath ? 1 : 0;
        document.SetSettings(settings);
    }

    ODevice& plc;
    OTagGroup& group;
    OModbusTag& pump;
    OModbusTag& level;
};

TEST_F(EventBuilderTest, BinaryActivationWaitingForAcknowledgement) {
    pump.description = "Main pump";
    pump.quality = kQualityGood;
    Activate(pump, 2, 2);
    clock.Advance(20);
    const BuiltEvent built = Build(TagRecord(pump, 2, true));
    const OnEventStruct& e = built.event;
    EXPECT_EQ(built.categoryIndex, 1);
    EXPECT_EQ(built.area, "PLC1.G");
    EXPECT_EQ(e.eventType, OPC_CONDITION_EVENT);
    EXPECT_EQ(e.eventCategory, 2u);
    EXPECT_EQ(e.conditionName, "Discrete On");
    EXPECT_EQ(e.subconditionName, "Set");
    EXPECT_EQ(e.severity, 500u);
    EXPECT_EQ(e.message, "Main pump pump on");
    EXPECT_EQ(e.source, "PLC1.G.Pump");
    EXPECT_EQ(e.changeMask, OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_MESSAGE);
    EXPECT_EQ(e.newState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE);
    EXPECT_TRUE(e.ackRequired);
    EXPECT_EQ(e.actorId, "");
    EXPECT_EQ(e.time, clock.NowUtc());
    EXPECT_EQ(e.activeTime, pump.activeTime);
    EXPECT_EQ(e.quality, kQualityGood);
    EXPECT_EQ(e.cookie, pump.id);
    EXPECT_TRUE(e.attributes.empty());
}

TEST_F(EventBuilderTest, ReturnToNormalUsesTheNormalPriorityAndText) {
    Activate(pump, 2, 2);
    pump.alarmState = 0;
    pump.acknowledgeState = kAckStateNotRequired;
    const OnEventStruct e = Build(TagRecord(pump, 2, false)).event;
    EXPECT_EQ(e.conditionName, "Discrete On");
    EXPECT_EQ(e.subconditionName, "");
    EXPECT_EQ(e.severity, 100u);
    EXPECT_EQ(e.message, "pump off");  // no description, no leading blank
    EXPECT_EQ(e.newState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED);
    EXPECT_FALSE(e.ackRequired);
}

TEST_F(EventBuilderTest, TripOfABinaryAlarmOnFalse) {
    Binary(pump).enableFlags = OBinaryAlarm::kOnFalse;
    Activate(pump, 1, 1);
    const OnEventStruct e = Build(TagRecord(pump, 1, true)).event;
    EXPECT_EQ(e.conditionName, "Discrete Trip");
    EXPECT_EQ(e.subconditionName, "Trip");
}

TEST_F(EventBuilderTest, SourceNamesFollowFullTagPathAndSourceText) {
    Activate(pump, 2, 2);
    EXPECT_EQ(Build(TagRecord(pump, 2, true)).event.source, "PLC1.G.Pump");
    Binary(pump).source = "Pump-Trip";
    EXPECT_EQ(Build(TagRecord(pump, 2, true)).event.source, "PLC1.G.Pump-Trip");
    Settings("/", true);
    EXPECT_EQ(Build(TagRecord(pump, 2, true)).event.source, "PLC1/G/Pump-Trip");
    EXPECT_EQ(Build(TagRecord(pump, 2, true)).area, "PLC1/G");
    Settings(".", false);
    EXPECT_EQ(Build(TagRecord(pump, 2, true)).event.source, "Pump-Trip");
    Binary(pump).source.clear();
    EXPECT_EQ(Build(TagRecord(pump, 2, true)).event.source, "Pump");
}

TEST_F(EventBuilderTest, AnalogLevelsTakeTheirOwnPriorityAndText) {
    level.description = "Tank";
    const std::uint16_t states[] = {1, 2, 4, 8};
    const char* names[] = {"LoLo", "Low", "High", "HiHi"};
    const std::uint32_t severities[] = {700, 600, 650, 750};
    const char* texts[] = {"Tank very low", "Tank low", "Tank high", "Tank very high"};
    for (int i = 0; i < 4; ++i) {
        const auto sub = static_cast<std::uint16_t>(4 + i);
        Activate(level, states[i], sub);
        const BuiltEvent built = Build(TagRecord(level, sub, true));
        EXPECT_EQ(built.categoryIndex, 2);
        EXPECT_EQ(built.event.eventCategory, 4u);
        EXPECT_EQ(built.event.conditionName, "Analog Level");
        EXPECT_EQ(built.event.subconditionName, names[i]);
        EXPECT_EQ(built.event.severity, severities[i]);
        EXPECT_EQ(built.event.message, texts[i]);
    }
    level.alarmState = 0;
    const OnEventStruct normal = Build(TagRecord(level, 5, false)).event;
    EXPECT_EQ(normal.severity, 200u);
    EXPECT_EQ(normal.message, "Tank level normal");
    EXPECT_EQ(normal.conditionName, "Analog Level");
}

TEST_F(EventBuilderTest, SeverityIsPassedOnUnclamped) {
    Analog(level).levelPriority[3] = 65000;
    Activate(level, 8, 7);
    EXPECT_EQ(Build(TagRecord(level, 7, true)).event.severity, 65000u);
}

// A user condition is named by its own index (the high half): also one without
// sub-conditions, which the tag sheet stores with a low half that names none.
TEST_F(EventBuilderTest, UserConditionOfABinaryAlarm) {
    space.AddUserConditions("[Valve]\nOpen\nClosed\n[Door]\n");
    const struct {
        std::uint32_t userCondition;
        const char* condition;
        const char* subcondition;
    } cases[] = {{(4u << 16) | 9u, "Valve", "Closed"}, {(5u << 16) | 0xFFFFu, "Door", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        Binary(pump).userCondition = c.userCondition;
        Activate(pump, 2, 2);
        const BuiltEvent built = Build(TagRecord(pump, 2, true));
        EXPECT_EQ(built.categoryIndex, 3);
        EXPECT_EQ(built.event.eventCategory, 8u);
        EXPECT_EQ(built.event.conditionName, c.condition);
        EXPECT_EQ(built.event.subconditionName, c.subcondition);
        EXPECT_EQ(built.event.severity, 500u);
    }
}

TEST_F(EventBuilderTest, DeviceAlarmSourcesMessagesAndSeverities) {
    plc.description = "Press";
    ODeviceAlarm& comm = *plc.AlarmOfCode(kAlarmCommunication);
    comm.failurePriority = 1000;
    comm.failureText = "communication failure";
    comm.normalPriority = 100;
    comm.normalText = "communication OK";
    comm.acknowledgeState = 1;
    BuiltEvent built = Build(DeviceRecord(plc, kAlarmCommunication, true));
    const OnEventStruct& e = built.event;
    EXPECT_EQ(built.categoryIndex, 0);
    EXPECT_EQ(built.area, "PLC1");
    EXPECT_EQ(e.eventCategory, 1u);
    EXPECT_EQ(e.conditionName, "Device Comm");
    EXPECT_EQ(e.subconditionName, "CommFail");
    EXPECT_EQ(e.source, "PLC1.__CF");
    EXPECT_EQ(e.severity, 1000u);
    EXPECT_EQ(e.message, "Press communication failure");
    EXPECT_EQ(e.quality, 0xC0);
    EXPECT_EQ(e.cookie, comm.id);
    EXPECT_TRUE(e.ackRequired);

    const OnEventStruct normal = Build(DeviceRecord(plc, kAlarmCommunication, false)).event;
    EXPECT_EQ(normal.severity, 100u);
    EXPECT_EQ(normal.message, "Press communication OK");
    EXPECT_EQ(normal.subconditionName, "");

    EXPECT_EQ(Build(DeviceRecord(plc, kAlarmPort1, true)).event.source, "PLC1.__P1");
    EXPECT_EQ(Build(DeviceRecord(plc, kAlarmPort2, true)).event.source, "PLC1.__P2");
    EXPECT_EQ(Build(DeviceRecord(plc, kAlarmBufferOverrun, true)).event.source, "PLC1.__BO");
    Settings(".", false);
    EXPECT_EQ(Build(DeviceRecord(plc, kAlarmBufferOverrun, true)).event.source, "PLC1__BO");
    plc.AlarmOfCode(kAlarmBufferOverrun)->source = "Buffer";
    EXPECT_EQ(Build(DeviceRecord(plc, kAlarmBufferOverrun, true)).event.source, "Buffer");
    Settings("/", true);
    EXPECT_EQ(Build(DeviceRecord(plc, kAlarmBufferOverrun, true)).event.source, "PLC1/Buffer");
}

TEST_F(EventBuilderTest, RecordsWithoutSourceOrWithBadCodesBuildNothing) {
    AeEventBuilder builder(space, document.Settings());
    BuiltEvent built;
    EXPECT_FALSE(builder.FromRecord(BEvent{}, built));
    BEvent bad = DeviceRecord(plc, kAlarmPort1, true);
    bad.code = 5;
    EXPECT_FALSE(builder.FromRecord(bad, built));
    OModbusTag& bare = AddTag(group, "Bare", VT_I2);
    bare.alarm.reset();
    EXPECT_FALSE(builder.FromRecord(TagRecord(bare, 4, true), built));
}

TEST_F(EventBuilderTest, AttributesAndTheAttributeChangeBit) {
    Binary(pump).attributeFlag = 1;
    Binary(pump).area = "North";
    Binary(pump).alarmClass = 17;
    Activate(pump, 2, 2);
    BEvent record = TagRecord(pump, 2, true);
    record.valueText = "True";
    BuiltEvent built = Build(record);
    AeEventBuilder::AddAttributes(built, {110, 111, 112, 113, 114, 999}, nullptr);
    const OnEventStruct& e = built.event;
    EXPECT_EQ(e.changeMask, OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_MESSAGE | OPC_CHANGE_ATTRIBUTE);
    ASSERT_EQ(e.attributes.size(), 6u);
    EXPECT_EQ(e.attributes[0], Variant::Bool(true));
    EXPECT_EQ(e.attributes[1], Variant::Text("PLC1.G"));
    EXPECT_EQ(e.attributes[2], Variant::Text("True"));
    EXPECT_EQ(e.attributes[3], Variant::Text("North"));
    EXPECT_EQ(e.attributes[4], Variant::Int32(17));
    EXPECT_TRUE(e.attributes[5].IsEmpty());

    const std::string matched = "PLC*";
    AeEventBuilder::AddAttributes(built, {111}, &matched);
    EXPECT_EQ(built.event.attributes, std::vector<Variant>{Variant::Text("PLC*")});

    record.acknowledger = "op";
    BuiltEvent ack = Build(record);
    AeEventBuilder::AddAttributes(ack, {110}, nullptr);
    EXPECT_EQ(ack.event.changeMask, OPC_CHANGE_ACK_STATE);  // no active-state change
    EXPECT_EQ(ack.event.attributes.size(), 1u);
}

// The attributes are filled in after TagDataLock is released: they show the alarm as it was
// when the event was built, even when the tag sheet has since replaced the alarm object.
TEST_F(EventBuilderTest, AttributesKeepTheAlarmAsBuiltWhenTheSheetReplacesIt) {
    Binary(pump).attributeFlag = 0xFFFFFFFFu;
    Binary(pump).area = "North";
    Binary(pump).alarmClass = 17;
    Activate(pump, 2, 2);
    BuiltEvent built = Build(TagRecord(pump, 2, true));
    auto replacement = std::make_unique<OBinaryAlarm>();
    replacement->area = "South";
    replacement->alarmClass = 3;
    pump.alarm = std::move(replacement);  // the old object is destroyed here
    AeEventBuilder::AddAttributes(built, {110, 113, 114}, nullptr);
    EXPECT_EQ(
        built.event.attributes,
        (std::vector<Variant>{Variant::Bool(true), Variant::Text("North"), Variant::Int32(17)}));
}

TEST_F(EventBuilderTest, RefreshEventOfAPresentCondition) {
    Activate(level, OAnalogAlarm::kLowBit, 5);
    level.value = Variant::Float(15.5f);
    AeEventBuilder builder(space, document.Settings());
    BuiltEvent built;
    ASSERT_TRUE(builder.FromTagCondition(level, built));
    EXPECT_EQ(built.event.changeMask, 0x47);
    EXPECT_EQ(built.event.newState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE);
    EXPECT_EQ(built.event.subconditionName, "Low");
    EXPECT_EQ(built.event.time, level.activeTime);
    EXPECT_EQ(built.valueText, "15.5");

    clock.Advance(1000);
    level.Acknowledge(clock.NowUtc());
    ASSERT_TRUE(builder.FromTagCondition(level, built));
    EXPECT_EQ(built.event.newState, 7);
    EXPECT_EQ(built.event.time, clock.NowUtc());
    EXPECT_EQ(built.event.activeTime, level.activeTime);

    level.alarmState = 0;
    EXPECT_FALSE(builder.FromTagCondition(level, built));
    Activate(pump, 1, 1);
    ASSERT_TRUE(builder.FromTagCondition(pump, built));
    EXPECT_EQ(built.event.subconditionName, "Trip");
}

}  // namespace
}  // namespace velk
