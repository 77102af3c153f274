// Acknowledge, AddComment, Enable, Disable and ConditionRefresh over the AE alarm state.
#include "opcua/alarms/condition_methods.h"

#include <gtest/gtest.h>

#include <map>

#include "opcua/alarms/ua_alarm_ids.h"
#include "tests/support/fake_clock.h"

namespace velk::ua {
namespace {

// The AE server as far as the methods see it: its conditions, and an acknowledgement that
// changes the state and sends the acknowledgement record back, as AckCondition does.
class FakeAeConditions final : public IAlarmConditionAccess {
  public:
    std::optional<ConditionSnapshot> Find(std::uint32_t cookie) const override {
        const auto it = conditions.find(cookie);
        if (it == conditions.end()) return std::nullopt;
        return it->second;
    }
    std::vector<ConditionSnapshot> Retained() const override {
        std::vector<ConditionSnapshot> out;
        for (const auto& [cookie, c] : conditions)
            if (c.active || !c.acked) out.push_back(c);
        return out;
    }
    bool Acknowledge(const ConditionSnapshot& c, const std::string& user,
                     const std::string&) override {
        acknowledgers.push_back(user);
        ConditionSnapshot& state = conditions[c.cookie];
        state.acked = true;
        ConditionSnapshot record = state;
        record.clientUserId = user;
        if (methods) methods->OnConditionChange(record);
        return true;
    }
    std::map<std::uint32_t, ConditionSnapshot> conditions;
    std::vector<std::string> acknowledgers;
    ConditionMethods* methods = nullptr;
};

ConditionSnapshot Condition(std::uint32_t cookie, bool active, bool acked) {
    ConditionSnapshot c;
    c.cookie = cookie;
    c.kind = ConditionKind::kOffNormal;
    c.conditionName = "Discrete On";
    c.active = active;
    c.acked = acked;
    return c;
}

class ConditionMethodsTest : public ::testing::Test {
  protected:
    ConditionMethodsTest()
        : methods(ae, clock, 2, [this](const UaEvent& e) { events.push_back(e); }) {
        ae.methods = &methods;
        ae.conditions[5] = Condition(5, true, false);
        ae.conditions[6] = Condition(6, false, true);
        ae.conditions[9] = Condition(9, false, false);
        methods.OnConditionChange(ae.conditions[5]);
    }
    ByteString LastEventId() const { return events.back().EventId(); }

    testing::FakeClock clock;
    FakeAeConditions ae;
    std::vector<UaEvent> events;
    ConditionMethods methods;
    const MethodCaller operatorUser{"anna", false};
};

TEST_F(ConditionMethodsTest, AcknowledgeOnceThenRefused) {
    const ByteString id = LastEventId();
    ASSERT_EQ(methods.Acknowledge(ConditionNodeId(2, 5), id, {"", "seen"}, operatorUser), kGood);
    // The AE server acknowledged it, named after the UA user.
    EXPECT_EQ(ae.acknowledgers, std::vector<std::string>{"anna"});
    // Its acknowledgement record became the AckedState event.
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events.back().Field("AckedState/Id"), Variant::Scalar(true));
    EXPECT_EQ(events.back().Field("ClientUserId"), Variant::Scalar(std::string("anna")));
    EXPECT_EQ(events.back().Field("Comment"), Variant::Scalar(LocalizedText{"", "seen"}));
    EXPECT_EQ(methods.Acknowledge(ConditionNodeId(2, 5), id, {}, operatorUser),
              kBadConditionBranchAlreadyAcked);
    EXPECT_EQ(ae.acknowledgers.size(), 1u);
}

TEST_F(ConditionMethodsTest, AcknowledgeRefusals) {
    const ByteString id = LastEventId();
    EXPECT_EQ(methods.Acknowledge(ConditionNodeId(2, 5), id, {}, {"viewer", true}),
              kBadUserAccessDenied);
    EXPECT_EQ(methods.Acknowledge(ConditionNodeId(2, 5), ByteString{{1, 2}}, {}, operatorUser),
              kBadEventIdUnknown);
    // An EventId of another condition does not acknowledge this one.
    EXPECT_EQ(methods.Acknowledge(ConditionNodeId(2, 9), id, {}, operatorUser), kBadEventIdUnknown);
    EXPECT_EQ(methods.Acknowledge(ConditionNodeId(2, 77), id, {}, operatorUser), kBadNodeIdUnknown);
    EXPECT_TRUE(ae.acknowledgers.empty());
}

TEST_F(ConditionMethodsTest, EnableDisableAndComment) {
    const NodeId node = ConditionNodeId(2, 5);
    EXPECT_EQ(methods.Enable(node, operatorUser), kBadConditionAlreadyEnabled);
    EXPECT_EQ(methods.Disable(node, {"v", true}), kBadUserAccessDenied);
    ASSERT_EQ(methods.Disable(node, operatorUser), kGood);
    EXPECT_EQ(events.back().Field("EnabledState/Id"), Variant::Scalar(false));
    EXPECT_EQ(events.back().Field("Retain"), Variant::Scalar(false));
    EXPECT_EQ(methods.Disable(node, operatorUser), kBadConditionAlreadyDisabled);
    // A disabled condition reports no transition and cannot be acknowledged.
    const std::size_t before = events.size();
    methods.OnConditionChange(ae.conditions[5]);
    EXPECT_EQ(events.size(), before);
    EXPECT_EQ(methods.Acknowledge(node, LastEventId(), {}, operatorUser), kBadConditionDisabled);
    ASSERT_EQ(methods.Enable(node, operatorUser), kGood);
    ASSERT_EQ(methods.AddComment(node, LastEventId(), {"", "checking"}, {"bob", false}), kGood);
    EXPECT_EQ(events.back().Field("Comment"), Variant::Scalar(LocalizedText{"", "checking"}));
    EXPECT_EQ(methods.AddComment(node, ByteString{{9}}, {"", "x"}, operatorUser),
              kBadEventIdUnknown);
}

TEST_F(ConditionMethodsTest, RefreshBracketsRetainedConditions) {
    const auto refresh = methods.ConditionRefresh();
    ASSERT_EQ(refresh.size(), 4u);  // start, 5 (active), 9 (unacknowledged), end
    EXPECT_EQ(refresh.front().eventType, ids::kRefreshStartEventType);
    EXPECT_EQ(refresh.back().eventType, ids::kRefreshEndEventType);
    EXPECT_EQ(CookieOfConditionNode(refresh[1].conditionId), 5u);
    EXPECT_EQ(CookieOfConditionNode(refresh[2].conditionId), 9u);
    EXPECT_EQ(refresh[2].Field("Retain"), Variant::Scalar(true));
    // Refresh events go to the one subscription that asked, not to every client.
    EXPECT_EQ(events.size(), 1u);
    // A refreshed event can be acknowledged by its EventId.
    EXPECT_EQ(methods.Acknowledge(ConditionNodeId(2, 9), refresh[2].EventId(), {}, operatorUser),
              kGood);
}

}  // namespace
}  // namespace velk::ua
