#include "sparkplug/historical_record.h"

#include <gtest/gtest.h>

#include "model/o_device.h"
#include "tests/sparkplug/sparkplug_test_support.h"

namespace velk::sparkplug {
namespace {

using testing::AddTag;
using testing::Decode;
using testing::InsertDevice;
using testing::Property;

constexpr FileTime kThen = (11644473600ull + 1609459200ull) * 10'000'000ull;  // 2021-01-01

class HistoricalRecordTest : public ::testing::Test {
  protected:
    HistoricalRecordTest() {
        ODevice& plc = InsertDevice(before, "PLC1");
        Set(AddTag(plc, "Level", VT_R4), Variant::Float(1.25f), kQualityGood, 0);
        Set(AddTag(plc, "Pump", VT_BOOL), Variant::Bool(true), kQualityCommFailure, 1);
        Set(AddTag(plc, "Speed", VT_I2), Variant::Int16(-3), kQualityGood, 2);
        beforeLayout = MetricLayout::Build(before);
    }
    static void Set(OModbusTag& tag, Variant value, std::uint16_t quality, int second) {
        tag.SetValue(value);
        tag.quality = quality;
        tag.timestamp = kThen + second * kFileTimeTicksPerSecond;
    }
    std::string RecordOfAll() const {
        const DeviceMetrics& plc = beforeLayout.Devices().front();
        return MakeHistoricalRecord(plc, {0, 1, 2}, SampleDevice(plc));
    }

    OTagGroup before;
    MetricLayout beforeLayout;
};

TEST_F(HistoricalRecordTest, ReplaysAsHistoricalDataOfTheCurrentSession) {
    EdgeNodePayloads node(4);
    node.NBirth(kThen);
    const auto replayed = ReplayHistoricalRecord(node, beforeLayout, RecordOfAll(), kThen);
    ASSERT_TRUE(replayed);
    EXPECT_EQ(replayed->deviceId, "PLC1");
    const pb::Payload data = Decode(replayed->payload);
    EXPECT_EQ(data.seq(), 1u);
    ASSERT_EQ(data.metrics_size(), 3);
    const DeviceMetrics& plc = beforeLayout.Devices().front();
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(data.metrics(i).is_historical());
        EXPECT_FALSE(data.metrics(i).has_name());
        EXPECT_EQ(data.metrics(i).alias(), plc.metrics[i].alias);
        EXPECT_EQ(data.metrics(i).timestamp(), 1609459200000ull + 1000u * i);
    }
    EXPECT_EQ(data.metrics(0).float_value(), 1.25f);
    EXPECT_EQ(Property(data.metrics(0), "Quality"), nullptr);
    EXPECT_TRUE(data.metrics(1).boolean_value());
    ASSERT_NE(Property(data.metrics(1), "Quality"), nullptr);
    EXPECT_EQ(Property(data.metrics(1), "Quality")->int_value(), 0u);
    EXPECT_EQ(static_cast<std::int16_t>(data.metrics(2).int_value()), -3);
}

TEST_F(HistoricalRecordTest, AfterAChangedTreeMetricsAreFoundByNameOrLeftOut) {
    // The tree after a restart: a tag before the others shifts the aliases, Pump is gone,
    // Speed is now a LONG.
    OTagGroup after;
    ODevice& plc = InsertDevice(after, "PLC1");
    AddTag(plc, "Alpha", VT_BOOL);
    AddTag(plc, "Level", VT_R4);
    AddTag(plc, "Speed", VT_I4);
    const MetricLayout layout = MetricLayout::Build(after);

    EdgeNodePayloads node(5);
    const auto replayed = ReplayHistoricalRecord(node, layout, RecordOfAll(), kThen);
    ASSERT_TRUE(replayed);
    const pb::Payload data = Decode(replayed->payload);
    ASSERT_EQ(data.metrics_size(), 1);
    EXPECT_EQ(data.metrics(0).alias(), layout.Devices().front().FindByName("Level")->alias);
    EXPECT_EQ(data.metrics(0).float_value(), 1.25f);
}

TEST_F(HistoricalRecordTest, RecordsThatFindNothingTakeNoSeq) {
    const std::string record = RecordOfAll();
    OTagGroup other;
    AddTag(InsertDevice(other, "PLC2"), "Level", VT_R4);
    const MetricLayout otherLayout = MetricLayout::Build(other);
    EdgeNodePayloads node(0);
    EXPECT_FALSE(ReplayHistoricalRecord(node, otherLayout, record, kThen));
    for (const std::size_t cut : {std::size_t{1}, std::size_t{4}, record.size() - 2}) {
        EXPECT_FALSE(ReplayHistoricalRecord(node, beforeLayout, record.substr(0, cut), kThen))
            << cut;
    }
    EXPECT_EQ(node.NextSeq(), 0u);
}

}  // namespace
}  // namespace velk::sparkplug
