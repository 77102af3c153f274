#include "sparkplug/metric_layout.h"

#include <gtest/gtest.h>

#include <set>

#include "model/o_device.h"
#include "sparkplug/sparkplug_topics.h"
#include "tests/sparkplug/sparkplug_test_support.h"

namespace velk::sparkplug {
namespace {

using testing::AddTag;
using testing::InsertDevice;
using testing::InsertGroup;
using testing::ScaleLinear;

class MetricLayoutTest : public ::testing::Test {
  protected:
    MetricLayoutTest() {
        ODevice& plc = InsertDevice(root, "PLC1");
        AddTag(plc, "Run", VT_BOOL, kAccessReadable | kAccessWritable);
        AddTag(plc, "Count", VT_UI4);
        AddTag(plc, "Total", VT_I4);
        AddTag(plc, "Temp", VT_R4);
        AddTag(plc, "Energy", VT_R8);
        AddTag(plc, "Label", VT_BSTR);
        OTagGroup& tanks = InsertGroup(plc, "Tanks");
        ScaleLinear(AddTag(tanks, "Level", VT_I2), 0.0, 5.0, "m");
        AddTag(tanks, "Raw", VT_I2);
        OTagGroup& pumps = InsertGroup(tanks, "Pumps");
        AddTag(pumps, "Speed", VT_UI2);
        // A scaled STRING or BOOL stays what it is.
        ScaleLinear(AddTag(pumps, "Mode", VT_BSTR), 0.0, 1.0, "");

        InsertDevice(root, "Line+2");  // '+' is a wildcard in a topic
        ODevice& clash = InsertDevice(root, "PLC3");
        AddTag(clash, "Tanks/Level", VT_I2);
        AddTag(InsertGroup(clash, "Tanks"), "Level", VT_I2);
    }

    OTagGroup root;
};

TEST_F(MetricLayoutTest, OneMetricPerTagNamedByItsPathWithTheTagsType) {
    const MetricLayout layout = MetricLayout::Build(root);
    const DeviceMetrics* plc = layout.FindDevice("PLC1");
    ASSERT_NE(plc, nullptr);
    using pb::DataType;
    const struct {
        const char* name;
        DataType type;
    } expected[] = {
        {"Count", pb::UInt32},
        {"Energy", pb::Double},
        {"Label", pb::String},
        {"Run", pb::Boolean},
        {"Temp", pb::Float},
        {"Total", pb::Int32},
        {"Tanks/Level", pb::Double},
        {"Tanks/Raw", pb::Int16},
        {"Tanks/Pumps/Mode", pb::String},
        {"Tanks/Pumps/Speed", pb::UInt16},
    };
    ASSERT_EQ(plc->metrics.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(plc->metrics[i].name, expected[i].name);
        EXPECT_EQ(static_cast<int>(plc->metrics[i].type), expected[i].type);
    }
    const MetricDef* level = plc->FindByName("Tanks/Level");
    ASSERT_NE(level, nullptr);
    EXPECT_TRUE(level->scaled);
    EXPECT_EQ(level->engHigh, 5.0);
    EXPECT_EQ(level->engUnit, "m");
    EXPECT_FALSE(plc->FindByName("Tanks/Pumps/Mode")->scaled);
    EXPECT_TRUE(plc->FindByName("Run")->writable);
    EXPECT_FALSE(plc->FindByName("Count")->writable);
    EXPECT_EQ(plc->FindByName("tanks/level"), nullptr);  // names compare exactly
}

TEST_F(MetricLayoutTest, AliasesAreUniqueOverTheNodeAndFindTheirMetric) {
    const MetricLayout layout = MetricLayout::Build(root);
    std::set<std::uint64_t> aliases = {kBdSeqAlias, kRebirthAlias};
    for (const auto& device : layout.Devices()) {
        for (const auto& metric : device.metrics) {
            EXPECT_TRUE(aliases.insert(metric.alias).second) << metric.name;
            EXPECT_EQ(device.FindByAlias(metric.alias), &metric);
        }
    }
    const DeviceMetrics& first = layout.Devices().front();
    EXPECT_EQ(first.FindByAlias(first.metrics.back().alias + 1), nullptr);
    EXPECT_EQ(first.FindByAlias(kRebirthAlias), nullptr);
    // The same tree gives the same aliases at the next birth.
    const MetricLayout again = MetricLayout::Build(root);
    EXPECT_EQ(again.Devices().back().metrics.back().alias,
              layout.Devices().back().metrics.back().alias);
}

TEST_F(MetricLayoutTest, DevicesAndTagsThatCannotBeNamedOnTheWireAreLeftOutAndNamed) {
    const MetricLayout layout = MetricLayout::Build(root);
    EXPECT_EQ(layout.FindDevice("Line+2"), nullptr);
    const DeviceMetrics* clash = layout.FindDevice("PLC3");
    ASSERT_NE(clash, nullptr);
    ASSERT_EQ(clash->metrics.size(), 1u);
    EXPECT_EQ(clash->metrics[0].tag->group, clash->device);  // the first of the two stays
    ASSERT_EQ(layout.Skipped().size(), 2u);
    EXPECT_NE(layout.Skipped()[0].find("Line+2"), std::string::npos);
    EXPECT_NE(layout.Skipped()[1].find("PLC3/Tanks/Level"), std::string::npos);
}

TEST(SparkplugMapping, QualitiesAndTimes) {
    EXPECT_EQ(SparkplugQuality(kQualityGood), 192);
    EXPECT_EQ(SparkplugQuality(0x00D8), 192);  // good with a limit
    EXPECT_EQ(SparkplugQuality(kQualityUncertain), 500);
    EXPECT_EQ(SparkplugQuality(kQualityCommFailure), 0);
    EXPECT_EQ(SparkplugQuality(kQualityBad), 0);
    // 2021-01-01T00:00:00.123Z as a file time.
    const FileTime time = (11644473600ull + 1609459200ull) * 10'000'000ull + 1'234'567ull;
    EXPECT_EQ(ToSparkplugTime(time), 1609459200123ull);
    EXPECT_EQ(ToSparkplugTime(5), 0u);
}

TEST(SparkplugTopicsTest, NamesAndCommands) {
    const SparkplugTopics topics("Plant1", "Edge1");
    EXPECT_EQ(topics.Node(MessageType::kNBirth), "spBv1.0/Plant1/NBIRTH/Edge1");
    EXPECT_EQ(topics.Device(MessageType::kDData, "PLC1"), "spBv1.0/Plant1/DDATA/Edge1/PLC1");
    EXPECT_EQ(SparkplugTopics::State("Scada"), "spBv1.0/STATE/Scada");
    EXPECT_EQ(topics.DeviceCommandFilter(), "spBv1.0/Plant1/DCMD/Edge1/+");

    const auto node = topics.ParseCommand("spBv1.0/Plant1/NCMD/Edge1");
    ASSERT_TRUE(node);
    EXPECT_EQ(node->type, MessageType::kNCmd);
    const auto device = topics.ParseCommand("spBv1.0/Plant1/DCMD/Edge1/PLC1");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->type, MessageType::kDCmd);
    EXPECT_EQ(device->deviceId, "PLC1");
    for (const char* other : {"spBv1.0/Plant1/NCMD/Edge12", "spBv1.0/Plant1/DCMD/Edge1/",
                              "spBv1.0/Plant1/DCMD/Edge1/PLC1/x", "spBv1.0/Plant2/NCMD/Edge1",
                              "spBv1.0/Plant1/DDATA/Edge1/PLC1"}) {
        EXPECT_FALSE(topics.ParseCommand(other)) << other;
    }
}

}  // namespace
}  // namespace velk::sparkplug
