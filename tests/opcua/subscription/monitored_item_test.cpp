// The data change filter, the deadbands at their boundaries and the monitored item's queue.
#include "opcua/subscription/monitored_item.h"

#include <gtest/gtest.h>

#include <limits>

#include "opcua/subscription/subscription_status_codes.h"
#include "tests/opcua/subscription/subscription_test_support.h"

namespace velk::ua::test {
namespace {

const SampledNodeInfo kAnalog{kGood, true, EuRange{-50, 150}};
const SampledNodeInfo kNumber{kGood, true, std::nullopt};
const SampledNodeInfo kText{kGood, false, std::nullopt};

TEST(DataChangeFilterTest, RefusedFiltersGetTheirCodes) {
    struct Case {
        const char* name;
        ExtensionObject filter;
        std::uint32_t attributeId;
        SampledNodeInfo node;
        StatusCode expected;
    };
    ExtensionObject event;
    event.typeId = NodeId::Numeric(0, 727);
    event.encoding = ExtensionObject::Encoding::kBinary;
    ExtensionObject shortBody = Filter(DataChangeTrigger::kStatusValue, DeadbandType::kAbsolute, 1);
    shortBody.body.pop_back();
    const Case cases[] = {
        {"percent without EURange",
         Filter(DataChangeTrigger::kStatusValue, DeadbandType::kPercent, 5), 13, kNumber,
         kBadDeadbandFilterInvalid},
        {"percent above 100",
         Filter(DataChangeTrigger::kStatusValue, DeadbandType::kPercent, 100.5), 13, kAnalog,
         kBadDeadbandFilterInvalid},
        {"percent 100", Filter(DataChangeTrigger::kStatusValue, DeadbandType::kPercent, 100), 13,
         kAnalog, kGood},
        {"negative absolute",
         Filter(DataChangeTrigger::kStatusValue, DeadbandType::kAbsolute, -0.1), 13, kNumber,
         kBadDeadbandFilterInvalid},
        {"unknown deadband type", Filter(DataChangeTrigger::kStatusValue, DeadbandType{3}, 1), 13,
         kNumber, kBadDeadbandFilterInvalid},
        {"deadband on a string",
         Filter(DataChangeTrigger::kStatusValue, DeadbandType::kAbsolute, 1), 13, kText,
         kBadFilterNotAllowed},
        {"no deadband on a string", Filter(DataChangeTrigger::kStatus, DeadbandType::kNone, 0), 13,
         kText, kGood},
        {"filter on DisplayName", Filter(DataChangeTrigger::kStatus, DeadbandType::kNone, 0), 4,
         kText, kBadFilterNotAllowed},
        {"event filter", event, 13, kNumber, kBadMonitoredItemFilterUnsupported},
        {"short body", shortBody, 13, kNumber, kBadMonitoredItemFilterInvalid},
        {"trigger 3", Filter(DataChangeTrigger{3}, DeadbandType::kNone, 0), 13, kNumber,
         kBadMonitoredItemFilterInvalid},
    };
    for (const Case& c : cases) {
        ResolvedFilter out;
        EXPECT_EQ(ResolveDataChangeFilter(c.filter, c.attributeId, c.node, out), c.expected)
            << c.name;
    }
}

TEST(DataChangeFilterTest, DeadbandsReportOnlyBeyondTheirBand) {
    struct Case {
        DeadbandType type;
        double band;
        double last;
        double next;
        bool reported;
    };
    // Absolute 1.0; percent 10 % of the span 200 = 20.
    const Case cases[] = {
        {DeadbandType::kAbsolute, 1.0, 10, 11, false},
        {DeadbandType::kAbsolute, 1.0, 10, 11.001, true},
        {DeadbandType::kAbsolute, 1.0, 10, 9, false},
        {DeadbandType::kAbsolute, 1.0, 10, 8.999, true},
        {DeadbandType::kAbsolute, 0.0, 10, 10, false},
        {DeadbandType::kAbsolute, 0.0, 10, 10.001, true},
        {DeadbandType::kPercent, 10, 0, 20, false},
        {DeadbandType::kPercent, 10, 0, 20.01, true},
        {DeadbandType::kPercent, 10, 0, -20.01, true},
        {DeadbandType::kPercent, 0, 5, 5, false},
    };
    for (const Case& c : cases) {
        ResolvedFilter filter;
        ASSERT_EQ(ResolveDataChangeFilter(Filter(DataChangeTrigger::kStatusValue, c.type, c.band),
                                          13, kAnalog, filter),
                  kGood);
        EXPECT_EQ(PassesFilter(filter, Value(c.last), Value(c.next)), c.reported)
            << static_cast<int>(c.type) << " " << c.band << ": " << c.last << " -> " << c.next;
    }
}

TEST(DataChangeFilterTest, TriggersAndStatusChanges) {
    ResolvedFilter band;
    ASSERT_EQ(
        ResolveDataChangeFilter(Filter(DataChangeTrigger::kStatusValue, DeadbandType::kAbsolute, 5),
                                13, kNumber, band),
        kGood);
    // A status change goes through a deadband.
    EXPECT_TRUE(PassesFilter(band, Value(1), Value(1, kBadNoCommunication)));

    ResolvedFilter status;
    status.trigger = DataChangeTrigger::kStatus;
    EXPECT_FALSE(PassesFilter(status, Value(1), Value(2)));
    EXPECT_TRUE(PassesFilter(status, Value(1), Value(1, kUncertain)));

    DataValue later = Value(1);
    later.sourceTimestamp = DateTime{42};
    ResolvedFilter stamped;
    stamped.trigger = DataChangeTrigger::kStatusValueTimestamp;
    EXPECT_TRUE(PassesFilter(stamped, Value(1), later));
    EXPECT_FALSE(PassesFilter(ResolvedFilter{}, Value(1), later));

    // Arrays: one element beyond the band reports the whole array.
    DataValue a;
    a.value = Variant::Array(BuiltinType::kDouble, {1.0, 2.0});
    DataValue b;
    b.value = Variant::Array(BuiltinType::kDouble, {1.0, 7.5});
    EXPECT_TRUE(PassesFilter(band, a, b));
    b.value = Variant::Array(BuiltinType::kDouble, {5.0, 6.0});
    EXPECT_FALSE(PassesFilter(band, a, b));
}

TEST(DataChangeFilterTest, NaNIsReportedOnceAndLargeIntegersExactly) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    ResolvedFilter band;
    band.deadband = 1.0;
    for (const ResolvedFilter& filter : {ResolvedFilter{}, band}) {
        EXPECT_TRUE(PassesFilter(filter, Value(1), Value(nan)));
        EXPECT_FALSE(PassesFilter(filter, Value(nan), Value(nan)));
        EXPECT_TRUE(PassesFilter(filter, Value(nan), Value(1)));
    }
    DataValue big;
    big.value = Variant::Scalar(std::int64_t{1} << 60);
    DataValue next = big;
    next.value = Variant::Scalar((std::int64_t{1} << 60) + 1);
    EXPECT_TRUE(PassesFilter(ResolvedFilter{}, big, next));
}

MonitoredItem QueueItem(std::uint32_t size, bool discardOldest) {
    MonitoredItemSettings s;
    s.queueSize = size;
    s.discardOldest = discardOldest;
    s.filter.deadband = 0.0;
    return MonitoredItem(1, ReadValueId{}, MonitoringMode::kReporting, s);
}

std::vector<double> Drain(MonitoredItem& item, std::vector<bool>& overflow) {
    std::vector<MonitoredItemNotification> out;
    item.TakeNotifications(100, out);
    std::vector<double> values;
    for (const auto& n : out) {
        values.push_back(std::get<double>(n.value.value->scalar));
        overflow.push_back(HasOverflow(n.value.status.value_or(kGood)));
    }
    return values;
}

TEST(MonitoredItemQueueTest, OverflowByDiscardPolicy) {
    struct Case {
        std::uint32_t size;
        bool discardOldest;
        std::vector<double> values;
        std::vector<bool> overflow;
    };
    const Case cases[] = {
        {3, true, {3, 4, 5}, {true, false, false}},
        {3, false, {1, 2, 5}, {false, false, true}},
        // A queue of one holds the newest value; nothing is marked.
        {1, true, {5}, {false}},
        {1, false, {5}, {false}},
    };
    for (const Case& c : cases) {
        MonitoredItem item = QueueItem(c.size, c.discardOldest);
        for (double v = 1; v <= 5; ++v) item.OnSample(Value(v), DateTime{});
        std::vector<bool> overflow;
        EXPECT_EQ(Drain(item, overflow), c.values) << c.size << c.discardOldest;
        EXPECT_EQ(overflow, c.overflow) << c.size << c.discardOldest;
    }
}

TEST(MonitoredItemQueueTest, NoOverflowWithoutLossAndShrinkMarksIt) {
    MonitoredItem full = QueueItem(3, true);
    for (double v = 1; v <= 3; ++v) full.OnSample(Value(v), DateTime{});
    std::vector<bool> overflow;
    EXPECT_EQ(Drain(full, overflow), (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(overflow, (std::vector<bool>{false, false, false}));

    MonitoredItem item = QueueItem(4, false);
    for (double v = 1; v <= 4; ++v) item.OnSample(Value(v), DateTime{});
    MonitoredItemSettings smaller = item.Settings();
    smaller.queueSize = 2;
    item.Modify(smaller);
    overflow.clear();
    EXPECT_EQ(Drain(item, overflow), (std::vector<double>{1, 4}));
    EXPECT_EQ(overflow, (std::vector<bool>{false, true}));
}

TEST(MonitoredItemQueueTest, DisabledItemQueuesNothingAndReportsFirstSampleWhenEnabled) {
    MonitoredItem item = QueueItem(5, true);
    item.OnSample(Value(1), DateTime{});
    item.SetMode(MonitoringMode::kDisabled);
    EXPECT_EQ(item.QueuedCount(), 0u);
    EXPECT_FALSE(item.OnSample(Value(2), DateTime{}));
    item.SetMode(MonitoringMode::kReporting);
    // The same value as the last one before disabling is reported again.
    EXPECT_TRUE(item.OnSample(Value(1), DateTime{}));
}

}  // namespace
}  // namespace velk::ua::test
