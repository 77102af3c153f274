// The UA conditions over the real AE server: a limit transition from the evaluation becomes
// the UA event, and an acknowledgement through either side is the one AE acknowledgement.
#include "opcua/alarms/ae_alarm_conditions.h"

#include <gtest/gtest.h>

#include "opcua/alarms/ua_alarm_ids.h"
#include "tests/model/recording_poster.h"
#include "tests/opcae/ae_test_support.h"

namespace velk::ua {
namespace {

using velk::testing::AeFixture;
using velk::testing::RecordingEventSink;

class AeAlarmConditionsTest : public ::testing::Test, public AeFixture {
  protected:
    AeAlarmConditionsTest()
        : aeServer(Context()),
          conditions(document, space, aeServer,
                     [](const std::string& source) { return NodeId::String(2, source); }),
          methods(conditions, clock, 2, [this](const UaEvent& e) { events.push_back(e); }) {
        conditions.SetMethods(&methods);
        servers.AddAEServer(&conditions);
        ODevice& plc = AddDevice("PLC1");
        level = &AddAnalogTag(AddGroup(plc, "G"), "Level");
    }
    ~AeAlarmConditionsTest() override { servers.RemoveAEServer(&conditions); }

    // A value above the High limit read with the controller's stamp, as the scan does.
    void PassHighLimit(FileTime stamp) {
        level->SetValue(velk::Variant::Float(85.0f));
        level->timestamp = stamp;
        level->alarm->Evaluate(*level, poster);
        ASSERT_EQ(poster.events.size(), 1u);
        servers.DistributeToAeServers(*poster.events.back());
    }

    OPCEventServer aeServer;
    AeAlarmConditions conditions;
    std::vector<UaEvent> events;
    ConditionMethods methods;
    OModbusTag* level = nullptr;
    velk::testing::RecordingPoster poster;
};

TEST_F(AeAlarmConditionsTest, HighLimitTransitionBecomesTheUaEvent) {
    const FileTime stamp = clock.NowUtc() - 30'000'000;  // three seconds before reception
    PassHighLimit(stamp);
    ASSERT_EQ(events.size(), 1u);
    const UaEvent& e = events[0];
    EXPECT_EQ(e.eventType, ids::kExclusiveLimitAlarmType);
    EXPECT_EQ(e.Field("Severity"), Variant::Scalar(std::uint16_t{650}));
    EXPECT_EQ(e.Field("Message"), Variant::Scalar(LocalizedText{"", "high"}));
    EXPECT_EQ(e.Field("Time"), Variant::Scalar(DateTime{static_cast<std::int64_t>(stamp)}));
    EXPECT_EQ(e.Field("ConditionName"), Variant::Scalar(std::string("Analog Level")));
    EXPECT_EQ(e.Field("SourceName"), Variant::Scalar(std::string("PLC1.G.Level")));
    EXPECT_EQ(e.Field("LimitState/CurrentState/Id"),
              Variant::Scalar(NodeId::Numeric(0, ids::kLimitStateHigh)));
    EXPECT_EQ(e.Field("HighLimit"), Variant::Scalar(80.0));
    EXPECT_EQ(e.Field("AckedState/Id"), Variant::Scalar(false));
    EXPECT_EQ(CookieOfConditionNode(e.conditionId), level->id);
}

TEST_F(AeAlarmConditionsTest, UaAcknowledgementIsTheAeAcknowledgement) {
    redundancy = true;
    PassHighLimit(clock.NowUtc());
    auto sink = std::make_shared<RecordingEventSink>();
    OPCEventServer aeClient(Context());
    std::shared_ptr<OPCEventSubscription> subscription;
    std::uint32_t cookie = 0;
    aeClient.CreateEventSubscription(true, 1000, 100, 7, &subscription, nullptr, nullptr);
    subscription->Advise(sink, &cookie);

    const NodeId node = events[0].conditionId;
    const ByteString id = events[0].EventId();
    ASSERT_EQ(methods.Acknowledge(node, id, {"", "seen"}, {"anna", false}), kGood);
    EXPECT_EQ(level->acknowledgeState, 0);
    ASSERT_EQ(ackQueue.messages.size(), 1u);  // forwarded to the peer
    EXPECT_EQ(ackQueue.messages[0]->tagPath, "PLC1.G.Level");
    subscription->DeliverOnce();
    ASSERT_EQ(sink->EventCount(), 1u);
    EXPECT_EQ(sink->Calls()[0].events[0].actorId, "anna");
    EXPECT_EQ(sink->Calls()[0].events[0].changeMask, OPC_CHANGE_ACK_STATE);
    // The AE acknowledgement record came back as the AckedState event.
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].Field("AckedState/Id"), Variant::Scalar(true));
    EXPECT_EQ(events[1].Field("ClientUserId"), Variant::Scalar(std::string("anna")));
    EXPECT_EQ(methods.Acknowledge(node, events[1].EventId(), {}, {"anna", false}),
              kBadConditionBranchAlreadyAcked);
    EXPECT_EQ(ackQueue.messages.size(), 1u);
}

TEST_F(AeAlarmConditionsTest, AeAcknowledgementReachesUaAndRefreshShowsTheCondition) {
    PassHighLimit(clock.NowUtc());
    auto refresh = methods.ConditionRefresh();
    ASSERT_EQ(refresh.size(), 3u);
    EXPECT_EQ(refresh[0].eventType, ids::kRefreshStartEventType);
    EXPECT_EQ(refresh[1].Field("ActiveState/Id"), Variant::Scalar(true));
    EXPECT_EQ(refresh[2].eventType, ids::kRefreshEndEventType);

    std::vector<HRESULT> errors;
    ASSERT_EQ(
        aeServer.AckCondition({{"PLC1.G.Level", "Analog Level", level->activeTime, level->id}},
                              "operator", "", &errors),
        S_OK);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].Field("AckedState/Id"), Variant::Scalar(true));
    EXPECT_EQ(events[1].Field("ClientUserId"), Variant::Scalar(std::string("operator")));
    // Back to normal and acknowledged: nothing left to refresh.
    level->SetValue(velk::Variant::Float(50.0f));
    level->alarm->Evaluate(*level, poster);
    EXPECT_EQ(methods.ConditionRefresh().size(), 2u);
}

}  // namespace
}  // namespace velk::ua
