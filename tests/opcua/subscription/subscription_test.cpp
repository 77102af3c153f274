// The publishing cycle with a fake clock: keep-alives, lifetime expiry, acknowledgements
// and Republish, the session's Publish queue, MoreNotifications and priorities.
#include <gtest/gtest.h>

#include <string>

#include "opcua/subscription/subscription_status_codes.h"
#include "tests/opcua/subscription/subscription_test_support.h"

namespace velk::ua::test {
namespace {

class SubscriptionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        f.source.nodes["a"] = {kGood, true, std::nullopt};
        f.source.nodes["b"] = {kGood, true, std::nullopt};
        f.source.nodes["c"] = {kGood, true, std::nullopt};
    }
    SessionFixture f;
};

TEST_F(SubscriptionTest, KeepAliveAfterFirstCycleThenEveryMaxKeepAliveCount) {
    const std::uint32_t id = f.Subscribe(100, 3);
    ASSERT_TRUE(f.Publish().empty());
    auto out = f.Run(90);
    EXPECT_TRUE(out.empty());
    out = f.Run(10);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].response.subscriptionId, id);
    EXPECT_TRUE(out[0].response.notificationMessage.notificationData.empty());
    // A keep-alive carries the next number without using it.
    EXPECT_EQ(out[0].response.notificationMessage.sequenceNumber, 1u);

    ASSERT_TRUE(f.Publish().empty());
    EXPECT_TRUE(f.Run(290).empty());
    out = f.Run(10);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].response.notificationMessage.notificationData.empty());
    EXPECT_EQ(out[0].response.notificationMessage.sequenceNumber, 1u);
}

TEST_F(SubscriptionTest, LateKeepAliveGoesWithTheNextRequestAtOnce) {
    f.Subscribe(100, 3);
    f.Run(100);
    const auto out = f.Publish();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].response.notificationMessage.notificationData.empty());
}

TEST_F(SubscriptionTest, LifetimeEndsWithoutPublishAndSendsBadTimeout) {
    // Lifetime 9 cycles of 100 ms; the items keep sampling meanwhile.
    const std::uint32_t id = f.Subscribe(100, 3, 9);
    f.Monitor(id, {Item("a", 1, MonitoringMode::kReporting, 5)});
    for (int i = 0; i < 22; ++i) {
        f.source.Send(f.session, "a", Value(i));
        f.Run(40);
    }
    EXPECT_EQ(f.session.Count(), 1u);
    f.Run(20);
    EXPECT_EQ(f.session.Count(), 0u);
    EXPECT_TRUE(f.source.live.empty());
    EXPECT_EQ(f.server.MonitoredItemCount(), 0u);

    const auto out = f.Publish();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].response.subscriptionId, id);
    ASSERT_EQ(out[0].response.notificationMessage.notificationData.size(), 1u);
    StatusChangeNotification change;
    BinaryReader outer{std::span<const std::uint8_t>{}};
    ASSERT_EQ(
        FromExtensionObject(out[0].response.notificationMessage.notificationData[0], change, outer),
        kGood);
    EXPECT_EQ(change.status, kBadTimeout);
    // Then the session has nothing left.
    const auto after = f.Publish();
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].response.responseHeader.serviceResult, kBadNoSubscription);
}

TEST_F(SubscriptionTest, ClockJumpRunsAtMostALifetimeOfCyclesAndTracesTheEnd) {
    std::vector<std::string> lines;
    f.session.SetTrace([&lines](const std::string& line) { lines.push_back(line); });
    f.Subscribe(100, 3, 9);
    const std::uint32_t second = f.Subscribe(100, 3, 9);
    // A client with a request queued keeps its subscriptions through a day's jump.
    f.Publish();
    f.clock.Advance(24ull * 3600 * 1000 + 55);
    std::vector<PublishOutcome> out;
    f.session.Tick(out);
    EXPECT_EQ(out.size(), 1u);
    EXPECT_EQ(f.session.Count(), 2u);
    EXPECT_EQ(f.session.NextDue(), f.clock.NowUtc() + 100 * kFileTimeTicksPerMs);
    f.clock.Advance(24ull * 3600 * 1000);
    f.session.Tick(out);
    EXPECT_EQ(f.session.Count(), 0u);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[3].find(std::to_string(second)), std::string::npos);
    EXPECT_NE(lines[3].find("expired"), std::string::npos);
}

TEST_F(SubscriptionTest, PublishRequestsKeepTheSubscriptionAlive) {
    const std::uint32_t id = f.Subscribe(100, 3, 9);
    for (int i = 0; i < 10; ++i) {
        f.Publish();
        f.Run(300);
    }
    EXPECT_NE(f.session.Find(id), nullptr);
}

TEST_F(SubscriptionTest, AcknowledgementsAndRepublish) {
    const std::uint32_t id = f.Subscribe(100, 3);
    f.Monitor(id, {Item("a", 7)});
    f.source.Send(f.session, "a", Value(1));
    f.Run(100);
    auto out = f.Publish();
    ASSERT_EQ(out.size(), 1u);
    const NotificationMessage first = out[0].response.notificationMessage;
    EXPECT_EQ(first.sequenceNumber, 1u);
    EXPECT_EQ(Handles(first), std::vector<std::uint32_t>{7});
    EXPECT_EQ(out[0].response.availableSequenceNumbers, std::vector<std::uint32_t>{1});

    RepublishRequest again;
    again.subscriptionId = id;
    again.retransmitSequenceNumber = 1;
    RepublishResponse kept = Republish(again, f.session);
    EXPECT_EQ(kept.responseHeader.serviceResult, kGood);
    EXPECT_EQ(kept.notificationMessage, first);

    f.source.Send(f.session, "a", Value(2));
    out = f.Publish({{id, 1}, {id, 1}, {id + 100, 1}});
    ASSERT_TRUE(out.empty());
    out = f.Run(100);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].response.results, (std::vector<StatusCode>{kGood, kBadSequenceNumberUnknown,
                                                                kBadSubscriptionIdInvalid}));
    EXPECT_EQ(out[0].response.notificationMessage.sequenceNumber, 2u);
    EXPECT_EQ(out[0].response.availableSequenceNumbers, std::vector<std::uint32_t>{2});
    EXPECT_EQ(Republish(again, f.session).responseHeader.serviceResult, kBadMessageNotAvailable);
    again.subscriptionId = id + 100;
    EXPECT_EQ(Republish(again, f.session).responseHeader.serviceResult, kBadSubscriptionIdInvalid);
}

TEST_F(SubscriptionTest, RetransmissionQueueKeepsTheNewestUnacknowledged) {
    const std::uint32_t id = f.Subscribe(100, 3);
    f.Monitor(id, {Item("a", 1)});
    const std::uint32_t bound = f.server.Limits().maxRetransmissionMessages;
    std::vector<PublishOutcome> out;
    for (std::uint32_t i = 0; i < bound + 3; ++i) {
        f.source.Send(f.session, "a", Value(i));
        f.Publish();
        out = f.Run(100);
    }
    ASSERT_EQ(out.size(), 1u);
    const auto& available = out[0].response.availableSequenceNumbers;
    ASSERT_EQ(available.size(), bound);
    EXPECT_EQ(available.front(), 4u);
    EXPECT_EQ(available.back(), bound + 3);
}

TEST_F(SubscriptionTest, PublishQueueIsBoundedAndRequestsTimeOut) {
    f.Subscribe(100000, 100);
    const std::uint32_t bound = f.server.Limits().maxPublishRequestsPerSession;
    for (std::uint32_t i = 0; i < bound; ++i) ASSERT_TRUE(f.Publish({}, 1000).empty());
    const auto refused = f.Publish();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].response.responseHeader.serviceResult, kBadTooManyPublishRequests);
    const auto timedOut = f.Run(1000);
    ASSERT_EQ(timedOut.size(), bound);
    EXPECT_EQ(timedOut[0].response.responseHeader.serviceResult, kBadTimeout);
    EXPECT_EQ(f.session.QueuedPublishRequests(), 0u);
}

TEST_F(SubscriptionTest, MoreNotificationsPastTheMessageBound) {
    const std::uint32_t id = f.Subscribe(100, 3, 9, 0, 2);
    f.Monitor(id, {Item("a", 1), Item("b", 2), Item("c", 3)});
    for (const char* n : {"a", "b", "c"}) f.source.Send(f.session, n, Value(1));
    f.Run(100);
    auto out = f.Publish();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].response.moreNotifications);
    EXPECT_EQ(Handles(out[0].response.notificationMessage), (std::vector<std::uint32_t>{1, 2}));
    out = f.Publish();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_FALSE(out[0].response.moreNotifications);
    EXPECT_EQ(Handles(out[0].response.notificationMessage), (std::vector<std::uint32_t>{3}));
}

TEST_F(SubscriptionTest, HigherPriorityIsServedFirst) {
    const std::uint32_t low = f.Subscribe(100, 3, 9, 1);
    const std::uint32_t high = f.Subscribe(100, 3, 9, 200);
    f.Run(100);
    auto out = f.Publish();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].response.subscriptionId, high);
    out = f.Publish();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].response.subscriptionId, low);
}

TEST_F(SubscriptionTest, DisabledPublishingSendsKeepAlivesOnly) {
    const std::uint32_t id = f.Subscribe(100, 2);
    f.Monitor(id, {Item("a", 1)});
    SetPublishingModeRequest off;
    off.subscriptionIds = {id, id + 1};
    EXPECT_EQ(SetPublishingMode(off, f.session).results,
              (std::vector<StatusCode>{kGood, kBadSubscriptionIdInvalid}));
    f.source.Send(f.session, "a", Value(1));
    f.Publish();
    auto out = f.Run(100);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].response.notificationMessage.notificationData.empty());
    off.publishingEnabled = true;
    SetPublishingMode(off, f.session);
    f.Publish();
    out = f.Run(100);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Handles(out[0].response.notificationMessage), std::vector<std::uint32_t>{1});
}

}  // namespace
}  // namespace velk::ua::test
