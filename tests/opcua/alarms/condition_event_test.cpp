// Condition events as UA clients see them, and the ServiceLevel of the pair.
#include <gtest/gtest.h>

#include "opcua/alarms/service_level.h"
#include "opcua/alarms/ua_alarm_ids.h"
#include "opcua/alarms/ua_event.h"

namespace velk::ua {
namespace {

ConditionSnapshot HighLimitTransition() {
    ConditionSnapshot c;
    c.cookie = 42;
    c.kind = ConditionKind::kLimit;
    c.conditionName = "Analog Level";
    c.subconditionName = "High";
    c.sourceName = "PLC1.Tank.Level";
    c.sourceNode = NodeId::String(2, "PLC1.Tank.Level");
    c.message = "Tank level high";
    c.priority = 700;
    c.time = 133000000000000000;  // the controller's stamp, not the reception
    c.activeTime = c.time;
    c.active = true;
    c.acked = false;
    c.quality = 0xC0;
    c.limits = {std::nullopt, 20.0, 80.0, std::nullopt};
    c.limitStateBit = 4;
    return c;
}

TEST(ConditionEvent, HighLimitTransitionCarriesSeverityMessageTimeAndLimitState) {
    EventIdSource ids(1);
    const UaEvent e = BuildConditionEvent(HighLimitTransition(), 2, ids.Next(), 133000000050000000);
    EXPECT_EQ(e.eventType, ids::kExclusiveLimitAlarmType);
    EXPECT_EQ(e.Field("Severity"), Variant::Scalar(std::uint16_t{700}));
    EXPECT_EQ(e.Field("Message"), Variant::Scalar(LocalizedText{"", "Tank level high"}));
    EXPECT_EQ(e.Field("Time"), Variant::Scalar(DateTime{133000000000000000}));
    EXPECT_EQ(e.Field("ReceiveTime"), Variant::Scalar(DateTime{133000000050000000}));
    EXPECT_EQ(e.Field("ConditionName"), Variant::Scalar(std::string("Analog Level")));
    EXPECT_EQ(e.Field("SourceName"), Variant::Scalar(std::string("PLC1.Tank.Level")));
    EXPECT_EQ(e.Field("LimitState/CurrentState/Id"),
              Variant::Scalar(NodeId::Numeric(0, ids::kLimitStateHigh)));
    EXPECT_EQ(e.Field("ActiveState/EffectiveDisplayName"),
              Variant::Scalar(LocalizedText{"", "High"}));
    EXPECT_EQ(e.Field("ActiveState/Id"), Variant::Scalar(true));
    EXPECT_EQ(e.Field("AckedState/Id"), Variant::Scalar(false));
    EXPECT_EQ(e.Field("Retain"), Variant::Scalar(true));
    EXPECT_EQ(e.Field("HighLimit"), Variant::Scalar(80.0));
    // Levels that are not configured are not reported.
    EXPECT_TRUE(e.Field("HighHighLimit").IsNull());
    EXPECT_EQ(CookieOfConditionNode(e.conditionId), 42u);
}

TEST(ConditionEvent, ReturnToNormalAcknowledgedIsNotRetainedAndHasNoLimitState) {
    ConditionSnapshot c = HighLimitTransition();
    c.active = false;
    c.acked = true;
    EventIdSource ids(1);
    const UaEvent e = BuildConditionEvent(c, 2, ids.Next(), 0);
    EXPECT_EQ(e.Field("Retain"), Variant::Scalar(false));
    EXPECT_TRUE(e.Field("LimitState/CurrentState/Id").IsNull());
}

TEST(ConditionEvent, EventIdsDifferPerEventAndPerRun) {
    EventIdSource run1(100), run2(200);
    const ByteString a = run1.Next();
    EXPECT_NE(a, run1.Next());
    EXPECT_NE(a, run2.Next());
}

TEST(ConditionEvent, SeverityAndQualityMapping) {
    struct Case {
        std::uint32_t priority;
        std::uint16_t severity;
    };
    for (const Case c : {Case{0, 1}, Case{1, 1}, Case{1000, 1000}, Case{65535, 1000}})
        EXPECT_EQ(SeverityOfPriority(c.priority), c.severity) << c.priority;
    EXPECT_EQ(QualityStatus(0xC0), kGood);
    EXPECT_EQ(QualityStatus(0x40), kUncertain);
    EXPECT_EQ(QualityStatus(0x18), kBadNoCommunication);
    EXPECT_EQ(QualityStatus(0x00), kBad);
}

TEST(ServiceLevel, Boundaries) {
    struct Case {
        ServerHealth health;
        int low, high;
    };
    const Case cases[] = {
        {{true, 4, 0}, 0, 0},         // starting, however healthy
        {{false, 4, 0}, 255, 255},    // every device communicates
        {{false, 0, 0}, 255, 255},    // nothing to fail
        {{false, 4, 4}, 1, 1},        // none communicates
        {{false, 4, 1}, 100, 199},    // degraded
        {{false, 100, 99}, 2, 10},    // almost all failed, still above "none"
        {{false, 100, 1}, 190, 199},  // one failed, still below healthy
    };
    for (const Case& c : cases) {
        const int level = ServiceLevel(c.health);
        EXPECT_GE(level, c.low) << c.health.devices << "/" << c.health.devicesInFailure;
        EXPECT_LE(level, c.high) << c.health.devices << "/" << c.health.devicesInFailure;
    }
    // Each further failure lowers the level.
    EXPECT_GT(ServiceLevel({false, 10, 2}), ServiceLevel({false, 10, 3}));
}

TEST(ServerRedundancy, PairNamesPeerWithoutPairNone) {
    const auto pair = ServerRedundancy(true, "urn:a", "10.0.0.2");
    EXPECT_EQ(pair.support, RedundancySupport::kHot);
    ASSERT_EQ(pair.serverUris.size(), 2u);
    EXPECT_EQ(pair.serverUris[1], ApplicationUri("10.0.0.2"));
    EXPECT_EQ(ServerRedundancy(false, "urn:a", "10.0.0.2").support, RedundancySupport::kNone);
    EXPECT_TRUE(ServerRedundancy(true, "urn:a", "").serverUris.empty());
}

}  // namespace
}  // namespace velk::ua
