// The services: parameter revision, the bounds per session and per server, monitored
// items of unknown or vanishing nodes, monitoring modes, triggering, and the messages'
// encoding through their schema tables.
#include <gtest/gtest.h>

#include "opcua/subscription/subscription_status_codes.h"
#include "tests/opcua/subscription/subscription_test_support.h"

namespace velk::ua::test {
namespace {

class SubscriptionServicesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* n : {"trigger", "x", "y"}) f.source.nodes[n] = {kGood, true, std::nullopt};
    }
    SubscriptionLimits Small() {
        SubscriptionLimits limits;
        limits.maxSubscriptionsPerSession = 2;
        limits.maxMonitoredItems = 3;
        return limits;
    }
    SessionFixture f;
};

TEST_F(SubscriptionServicesTest, CreateSubscriptionRevisesParameters) {
    struct Case {
        double interval;
        std::uint32_t keepAlive;
        std::uint32_t lifetime;
        double revisedInterval;
        std::uint32_t revisedKeepAlive;
        std::uint32_t revisedLifetime;
    };
    const SubscriptionLimits& l = f.server.Limits();
    const Case cases[] = {
        {0, 0, 0, l.minPublishingIntervalMs, l.defaultKeepAliveCount, 3 * l.defaultKeepAliveCount},
        {-5, 4, 100, l.minPublishingIntervalMs, 4, 100},
        {500, 10, 20, 500, 10, 30},
        {1e12, 1, 1000, l.maxPublishingIntervalMs, 1, 3},
        {1000, 5, 0xFFFFFFFF, 1000, 5, static_cast<std::uint32_t>(l.maxLifetimeMs / 1000)},
    };
    for (const Case& c : cases) {
        CreateSubscriptionRequest r;
        r.requestHeader.requestHandle = 77;
        r.requestedPublishingInterval = c.interval;
        r.requestedMaxKeepAliveCount = c.keepAlive;
        r.requestedLifetimeCount = c.lifetime;
        const CreateSubscriptionResponse response = CreateSubscription(r, f.session);
        EXPECT_EQ(response.responseHeader.requestHandle, 77u);
        EXPECT_NE(response.subscriptionId, 0u);
        EXPECT_EQ(response.revisedPublishingInterval, c.revisedInterval) << c.interval;
        EXPECT_EQ(response.revisedMaxKeepAliveCount, c.revisedKeepAlive) << c.interval;
        EXPECT_EQ(response.revisedLifetimeCount, c.revisedLifetime) << c.interval;
    }
    ModifySubscriptionRequest m;
    m.subscriptionId = f.Subscribe();
    m.requestedPublishingInterval = 250;
    m.requestedMaxKeepAliveCount = 8;
    const ModifySubscriptionResponse modified = ModifySubscription(m, f.session);
    EXPECT_EQ(modified.revisedPublishingInterval, 250);
    EXPECT_EQ(modified.revisedLifetimeCount, 24u);
    m.subscriptionId = 0;
    EXPECT_EQ(ModifySubscription(m, f.session).responseHeader.serviceResult,
              kBadSubscriptionIdInvalid);
}

TEST_F(SubscriptionServicesTest, SubscriptionsAndItemsAreBounded) {
    SessionFixture small(Small());
    small.source.nodes["x"] = {kGood, true, std::nullopt};
    const std::uint32_t a = small.Subscribe();
    small.Subscribe();
    CreateSubscriptionRequest third;
    EXPECT_EQ(CreateSubscription(third, small.session).responseHeader.serviceResult,
              kBadTooManySubscriptions);

    // The server's item count is shared by its sessions.
    SessionSubscriptions other(small.server, small.source, small.clock);
    CreateSubscriptionRequest r;
    const std::uint32_t b = CreateSubscription(r, other).subscriptionId;
    CreateMonitoredItemsRequest items;
    items.subscriptionId = b;
    items.itemsToCreate = {Item("x", 1), Item("x", 2)};
    CreateMonitoredItems(items, other);
    items.subscriptionId = a;
    const auto results = CreateMonitoredItems(items, small.session).results;
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].statusCode, kGood);
    EXPECT_EQ(results[1].statusCode, kBadTooManyMonitoredItems);

    DeleteSubscriptionsRequest del;
    del.subscriptionIds = {b, b};
    EXPECT_EQ(DeleteSubscriptions(del, other).results,
              (std::vector<StatusCode>{kGood, kBadSubscriptionIdInvalid}));
    EXPECT_EQ(small.server.MonitoredItemCount(), 1u);
    EXPECT_EQ(CreateMonitoredItems(items, small.session).results[1].statusCode, kGood);

    items.itemsToCreate.clear();
    EXPECT_EQ(CreateMonitoredItems(items, small.session).responseHeader.serviceResult,
              kBadNothingToDo);
}

TEST_F(SubscriptionServicesTest, CreateMonitoredItemsChecksEachItem) {
    const std::uint32_t id = f.Subscribe(300);
    auto percent = Item("x", 4);
    percent.requestedParameters.filter =
        Filter(DataChangeTrigger::kStatusValue, DeadbandType::kPercent, 1);
    auto range = Item("x", 5);
    range.itemToMonitor.indexRange = "1:2";
    auto badMode = Item("x", 6);
    badMode.monitoringMode = MonitoringMode{7};
    auto encoding = Item("x", 6);
    encoding.itemToMonitor.dataEncoding = {0, "Default Binary"};
    auto queues = Item("y", 7, MonitoringMode::kReporting, 0);
    queues.requestedParameters.samplingInterval = 120;
    auto huge = Item("y", 8, MonitoringMode::kReporting, 0xFFFFFFFF);
    CreateMonitoredItemsRequest r;
    r.subscriptionId = id;
    r.itemsToCreate = {Item("gone", 1), Item("x", 2), percent, range,
                       badMode,         queues,       huge,    encoding};
    const auto response = CreateMonitoredItems(r, f.session);
    ASSERT_EQ(response.results.size(), 8u);
    EXPECT_EQ(response.results[7].statusCode, kBadDataEncodingInvalid);
    EXPECT_EQ(response.results[0].statusCode, kBadNodeIdUnknown);
    EXPECT_EQ(response.results[1].statusCode, kGood);
    // -1 takes the publishing interval, which the source's grid keeps.
    EXPECT_EQ(response.results[1].revisedSamplingInterval, 300);
    EXPECT_EQ(response.results[2].statusCode, kBadDeadbandFilterInvalid);
    EXPECT_EQ(response.results[3].statusCode, kBadIndexRangeInvalid);
    EXPECT_EQ(response.results[4].statusCode, kBadMonitoringModeInvalid);
    EXPECT_EQ(response.results[5].revisedSamplingInterval, 200);
    EXPECT_EQ(response.results[5].revisedQueueSize, 1u);
    EXPECT_EQ(response.results[6].revisedQueueSize, f.server.Limits().maxQueueSize);
    // The good items were started in one call, at their intervals.
    ASSERT_EQ(f.source.started.size(), 3u);
    EXPECT_EQ(f.source.started[1].intervalMs, 200);

    r.subscriptionId = id + 1;
    EXPECT_EQ(CreateMonitoredItems(r, f.session).responseHeader.serviceResult,
              kBadSubscriptionIdInvalid);
    r.subscriptionId = id;
    r.timestampsToReturn = TimestampsToReturn{4};
    EXPECT_EQ(CreateMonitoredItems(r, f.session).responseHeader.serviceResult,
              kBadTimestampsToReturnInvalid);
}

TEST_F(SubscriptionServicesTest, VanishedNodeReportsBadNodeIdUnknown) {
    const std::uint32_t id = f.Subscribe();
    f.Monitor(id, {Item("x", 9)});
    f.source.Send(f.session, "x", Value(3));
    DataValue gone;
    gone.status = kBadNodeIdUnknown;
    f.source.Send(f.session, "x", gone);
    f.Publish();
    const auto out = f.Run(100);
    ASSERT_EQ(out.size(), 1u);
    const auto n = Notifications(out[0].response.notificationMessage);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].value.status, kBadNodeIdUnknown);
}

TEST_F(SubscriptionServicesTest, MonitoringModeStopsAndRestartsSampling) {
    const std::uint32_t id = f.Subscribe();
    const auto ids = f.Monitor(id, {Item("x", 1)});
    f.source.Send(f.session, "x", Value(1));
    SetMonitoringModeRequest mode;
    mode.subscriptionId = id;
    mode.monitoringMode = MonitoringMode::kDisabled;
    mode.monitoredItemIds = {ids[0], 99};
    EXPECT_EQ(SetMonitoringMode(mode, f.session).results,
              (std::vector<StatusCode>{kGood, kBadMonitoredItemIdInvalid}));
    EXPECT_TRUE(f.source.live.empty());
    mode.monitoringMode = MonitoringMode::kReporting;
    SetMonitoringMode(mode, f.session);
    EXPECT_EQ(f.source.live.size(), 1u);
    f.source.Send(f.session, "x", Value(1));
    f.Publish();
    const auto out = f.Run(100);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Notifications(out[0].response.notificationMessage).size(), 1u);
}

TEST_F(SubscriptionServicesTest, TriggeringReportsSamplingItemsWithTheirTrigger) {
    const std::uint32_t id = f.Subscribe(100, 100);
    const auto ids = f.Monitor(id, {Item("trigger", 1), Item("x", 2, MonitoringMode::kSampling, 5),
                                    Item("y", 3, MonitoringMode::kSampling)});
    SetTriggeringRequest link;
    link.subscriptionId = id;
    link.triggeringItemId = ids[0];
    link.linksToAdd = {ids[1], 99};
    EXPECT_EQ(SetTriggering(link, f.session).addResults,
              (std::vector<StatusCode>{kGood, kBadMonitoredItemIdInvalid}));

    f.source.Send(f.session, "x", Value(1));
    f.source.Send(f.session, "y", Value(1));
    f.Publish();
    EXPECT_TRUE(Notifications(f.Run(100).at(0).response.notificationMessage).empty());

    f.source.Send(f.session, "x", Value(2));
    f.source.Send(f.session, "trigger", Value(1));
    f.Publish();
    auto out = f.Run(100);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Handles(out[0].response.notificationMessage), (std::vector<std::uint32_t>{1, 2, 2}));

    // Without the link the trigger reports alone.
    link.linksToAdd.clear();
    link.linksToRemove = {ids[1], ids[2]};
    EXPECT_EQ(SetTriggering(link, f.session).removeResults,
              (std::vector<StatusCode>{kGood, kBadMonitoredItemIdInvalid}));
    f.source.Send(f.session, "x", Value(3));
    f.source.Send(f.session, "trigger", Value(2));
    f.Publish();
    out = f.Run(100);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Handles(out[0].response.notificationMessage), std::vector<std::uint32_t>{1});

    link.triggeringItemId = 99;
    EXPECT_EQ(SetTriggering(link, f.session).responseHeader.serviceResult,
              kBadMonitoredItemIdInvalid);
}

TEST_F(SubscriptionServicesTest, DeletedItemStopsSamplingAndLeavesNoLinks) {
    const std::uint32_t id = f.Subscribe();
    const auto ids = f.Monitor(id, {Item("trigger", 1), Item("x", 2, MonitoringMode::kSampling)});
    SetTriggeringRequest link;
    link.subscriptionId = id;
    link.triggeringItemId = ids[0];
    link.linksToAdd = {ids[1]};
    SetTriggering(link, f.session);
    DeleteMonitoredItemsRequest del;
    del.subscriptionId = id;
    del.monitoredItemIds = {ids[1], ids[1]};
    EXPECT_EQ(DeleteMonitoredItems(del, f.session).results,
              (std::vector<StatusCode>{kGood, kBadMonitoredItemIdInvalid}));
    EXPECT_EQ(f.source.live.size(), 1u);
    link.linksToAdd.clear();
    link.linksToRemove = {ids[1]};
    EXPECT_EQ(SetTriggering(link, f.session).removeResults,
              std::vector<StatusCode>{kBadMonitoredItemIdInvalid});
}

TEST_F(SubscriptionServicesTest, DeletingTheLastSubscriptionAnswersQueuedRequests) {
    DeleteSubscriptionsRequest del;
    del.subscriptionIds = {f.Subscribe(1000)};
    ASSERT_TRUE(f.Publish().empty());
    DeleteSubscriptions(del, f.session);
    ASSERT_EQ(f.session.NextDue(), f.clock.NowUtc());
    std::vector<PublishOutcome> out;
    f.session.Tick(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].response.responseHeader.serviceResult, kBadNoSubscription);
    EXPECT_EQ(f.session.NextDue(), 0u);
}

TEST_F(SubscriptionServicesTest, TransferIsUnsupported) {
    TransferSubscriptionsRequest r;
    r.subscriptionIds = {f.Subscribe()};
    EXPECT_EQ(TransferSubscriptions(r, f.session).responseHeader.serviceResult,
              kBadServiceUnsupported);
}

TEST(SubscriptionMessagesTest, RequestsDecodeFromTheirWireLayout) {
    // PublishRequest: encoding id 826 (four-byte NodeId), a RequestHeader with handle 5,
    // then one acknowledgement (subscription 3, sequence 9).
    const Bytes wire = B({0x01, 0x00, 0x3A, 0x03,              // 826
                          0x00, 0x00,                          // token
                          0,    0,    0,    0,    0, 0, 0, 0,  // timestamp
                          5,    0,    0,    0,                 // handle
                          0,    0,    0,    0,                 // diagnostics
                          0xFF, 0xFF, 0xFF, 0xFF,              // audit id
                          0,    0,    0,    0,                 // timeout
                          0x00, 0x00, 0x00,                    // additional
                          1,    0,    0,    0,    3, 0, 0, 0, 9, 0, 0, 0});
    BinaryReader r(wire);
    NodeId type;
    Decode(r, type);
    EXPECT_EQ(type, BinaryEncodingId<PublishRequest>());
    PublishRequest request;
    Decode(r, request);
    ASSERT_TRUE(r.Ok());
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_EQ(request.requestHeader.requestHandle, 5u);
    ASSERT_EQ(request.subscriptionAcknowledgements.size(), 1u);
    EXPECT_EQ(request.subscriptionAcknowledgements[0].subscriptionId, 3u);
    EXPECT_EQ(request.subscriptionAcknowledgements[0].sequenceNumber, 9u);

    CreateMonitoredItemsRequest create;
    create.subscriptionId = 4;
    create.itemsToCreate = {Item("x", 11)};
    create.itemsToCreate[0].requestedParameters.filter =
        Filter(DataChangeTrigger::kStatusValue, DeadbandType::kAbsolute, 0.5);
    const Bytes bytes = EncodeServiceMessage(create);
    BinaryReader back(bytes);
    Decode(back, type);
    CreateMonitoredItemsRequest decoded;
    Decode(back, decoded);
    ASSERT_TRUE(back.Ok());
    EXPECT_EQ(type, NodeId::Numeric(0, 751));
    ASSERT_EQ(decoded.itemsToCreate.size(), 1u);
    EXPECT_EQ(decoded.itemsToCreate[0].requestedParameters.clientHandle, 11u);
    EXPECT_EQ(decoded.itemsToCreate[0].requestedParameters.filter,
              create.itemsToCreate[0].requestedParameters.filter);
}

}  // namespace
}  // namespace velk::ua::test
