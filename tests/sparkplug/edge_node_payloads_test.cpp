#include "sparkplug/edge_node_payloads.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "model/o_device.h"
#include "sparkplug/metric_value.h"
#include "tests/sparkplug/sparkplug_test_support.h"

namespace velk::sparkplug {
namespace {

using testing::AddTag;
using testing::Decode;
using testing::InsertDevice;
using testing::InsertGroup;
using testing::Property;
using testing::ScaleLinear;

// 2021-01-01T00:00:00Z as a file time, and its Sparkplug time.
constexpr FileTime kNow = (11644473600ull + 1609459200ull) * 10'000'000ull;
constexpr std::uint64_t kNowMs = 1609459200000ull;

TEST(EdgeNodePayloadsTest, NodeBirthAndDeathCarryTheSessionsBdSeq) {
    EdgeNodePayloads node(17);
    const pb::Payload birth = Decode(node.NBirth(kNow));
    ASSERT_TRUE(birth.has_seq());
    EXPECT_EQ(birth.seq(), 0u);
    EXPECT_EQ(birth.timestamp(), kNowMs);
    ASSERT_EQ(birth.metrics_size(), 2);
    const auto& bdSeq = birth.metrics(0);
    EXPECT_EQ(bdSeq.name(), "bdSeq");
    EXPECT_EQ(bdSeq.datatype(), static_cast<unsigned>(pb::UInt64));
    EXPECT_EQ(bdSeq.long_value(), 17u);
    const auto& rebirth = birth.metrics(1);
    EXPECT_EQ(rebirth.name(), "Node Control/Rebirth");
    EXPECT_EQ(rebirth.datatype(), static_cast<unsigned>(pb::Boolean));
    ASSERT_TRUE(rebirth.has_boolean_value());
    EXPECT_FALSE(rebirth.boolean_value());
    EXPECT_NE(rebirth.alias(), bdSeq.alias());

    const pb::Payload death = Decode(node.NDeath(kNow));
    EXPECT_FALSE(death.has_seq());
    ASSERT_EQ(death.metrics_size(), 1);
    EXPECT_EQ(death.metrics(0).name(), "bdSeq");
    EXPECT_EQ(death.metrics(0).long_value(), 17u);
    EXPECT_EQ(node.NextSeq(), 1u);  // the death took no seq
}

TEST(EdgeNodePayloadsTest, SeqRunsOverEveryMessageOfTheNodeAndWrapsAfter255) {
    OTagGroup root;
    AddTag(InsertDevice(root, "PLC1"), "Run", VT_BOOL);
    const MetricLayout layout = MetricLayout::Build(root);
    const DeviceMetrics& device = layout.Devices().front();
    const auto samples = SampleDevice(device);

    EdgeNodePayloads node(0);
    EXPECT_EQ(Decode(node.NBirth(kNow)).seq(), 0u);
    std::uint64_t expected = 1;
    for (int i = 0; i < 300; ++i) {
        std::string bytes;
        switch (i % 3) {
            case 0:
                bytes = node.DBirth(device, samples, kNow);
                break;
            case 1:
                bytes = node.DData(device, {0}, samples, kNow);
                break;
            default:
                bytes = node.DDeath(kNow);
                break;
        }
        ASSERT_EQ(Decode(bytes).seq(), expected) << "message " << i;
        expected = (expected + 1) % 256;
    }
    // A new birth starts over.
    EXPECT_EQ(Decode(node.NBirth(kNow)).seq(), 0u);
    EXPECT_EQ(Decode(node.DDeath(kNow)).seq(), 1u);
}

class DevicePayloadTest : public ::testing::Test {
  protected:
    DevicePayloadTest() {
        ODevice& plc = InsertDevice(root, "PLC1");
        Set(AddTag(plc, "Bool", VT_BOOL), Variant::Bool(true));
        Set(AddTag(plc, "Int", VT_I2), Variant::Int16(-2));
        Set(AddTag(plc, "Long", VT_I4), Variant::Int32(-70000));
        Set(AddTag(plc, "Real", VT_R4), Variant::Float(1.5f));
        Set(AddTag(plc, "Text", VT_BSTR), Variant::Text("Auto"));
        Set(AddTag(plc, "UInt", VT_UI2), Variant::UInt16(65535));
        Set(AddTag(plc, "ULong", VT_UI4), Variant::UInt32(4000000000u));
        AddTag(plc, "Unread", VT_R8);
        OModbusTag& level = AddTag(InsertGroup(plc, "Tanks"), "Level", VT_I2);
        ScaleLinear(level, 0.0, 5.0, "m");
        level.SetValue(Variant::Int16(5000));  // half the raw range
        level.quality = kQualityCommFailure;
        level.timestamp = kNow + 5 * kFileTimeTicksPerMs;
        layout = MetricLayout::Build(root);
    }
    void Set(OModbusTag& tag, Variant value) {
        tag.SetValue(value);
        tag.quality = kQualityGood;
        tag.timestamp = kNow - kFileTimeTicksPerSecond;
    }
    const DeviceMetrics& Plc() const { return layout.Devices().front(); }

    OTagGroup root;
    MetricLayout layout;
};

TEST_F(DevicePayloadTest, DeviceBirthDescribesEveryMetricWithItsValue) {
    EdgeNodePayloads node(3);
    node.NBirth(kNow);
    const pb::Payload birth = Decode(node.DBirth(Plc(), SampleDevice(Plc()), kNow));
    EXPECT_EQ(birth.seq(), 1u);
    ASSERT_EQ(birth.metrics_size(), 9);
    std::map<std::string, pb::Payload::Metric> byName;
    for (const auto& metric : birth.metrics()) {
        EXPECT_TRUE(metric.has_alias()) << metric.name();
        ASSERT_NE(Property(metric, "Quality"), nullptr) << metric.name();
        EXPECT_EQ(Property(metric, "Quality")->type(), static_cast<unsigned>(pb::Int32));
        byName[metric.name()] = metric;
    }
    EXPECT_TRUE(byName["Bool"].boolean_value());
    EXPECT_EQ(static_cast<std::int16_t>(byName["Int"].int_value()), -2);
    EXPECT_EQ(static_cast<std::int32_t>(byName["Long"].int_value()), -70000);
    EXPECT_EQ(byName["Real"].float_value(), 1.5f);
    EXPECT_EQ(byName["Text"].string_value(), "Auto");
    EXPECT_EQ(byName["UInt"].int_value(), 65535u);
    EXPECT_EQ(byName["ULong"].int_value(), 4000000000u);
    EXPECT_TRUE(byName["Unread"].is_null());
    EXPECT_EQ(byName["Bool"].timestamp(), kNowMs - 1000);
    EXPECT_EQ(Property(byName["Bool"], "Quality")->int_value(), 192u);
    EXPECT_EQ(Property(byName["Bool"], "engHigh"), nullptr);

    const auto& level = byName["Tanks/Level"];
    EXPECT_EQ(level.datatype(), static_cast<unsigned>(pb::Double));
    EXPECT_DOUBLE_EQ(level.double_value(), 2.5);
    EXPECT_EQ(level.timestamp(), kNowMs + 5);
    EXPECT_EQ(Property(level, "Quality")->int_value(), 0u);
    ASSERT_NE(Property(level, "engUnit"), nullptr);
    EXPECT_EQ(Property(level, "engUnit")->string_value(), "m");
    EXPECT_EQ(Property(level, "engLow")->double_value(), 0.0);
    EXPECT_EQ(Property(level, "engHigh")->double_value(), 5.0);
}

TEST_F(DevicePayloadTest, DataCarriesAliasesWithTheirDatatypesAndTheQualityWhenNotGood) {
    EdgeNodePayloads node(3);
    const auto samples = SampleDevice(Plc());
    const std::size_t level = Plc().metrics.size() - 1;
    const pb::Payload data = Decode(node.DData(Plc(), {0, level}, samples, kNow));
    ASSERT_EQ(data.metrics_size(), 2);
    EXPECT_FALSE(data.metrics(0).has_name());
    EXPECT_EQ(data.metrics(0).alias(), Plc().metrics[0].alias);
    EXPECT_EQ(data.metrics(0).datatype(), static_cast<unsigned>(Plc().metrics[0].type));
    EXPECT_FALSE(data.metrics(0).has_properties());
    EXPECT_FALSE(data.metrics(0).is_historical());
    EXPECT_EQ(data.metrics(1).alias(), Plc().metrics[level].alias);
    ASSERT_NE(Property(data.metrics(1), "Quality"), nullptr);
    EXPECT_EQ(Property(data.metrics(1), "Quality")->int_value(), 0u);

    const pb::Payload replay = Decode(node.DData(Plc(), {0}, samples, kNow, true));
    EXPECT_TRUE(replay.metrics(0).is_historical());
}

TEST(MetricValueTest, ValuesComeBackAsWrittenAndOtherFieldsAreRefused) {
    const struct {
        MetricType type;
        Variant value;
    } cases[] = {
        {MetricType::kBoolean, Variant::Bool(true)},
        {MetricType::kInt16, Variant::Int16(-32768)},
        {MetricType::kUInt16, Variant::UInt16(65535)},
        {MetricType::kInt32, Variant::Int32(-1)},
        {MetricType::kUInt32, Variant::UInt32(4294967295u)},
        {MetricType::kInt64, Variant::Int64(std::numeric_limits<std::int64_t>::min())},
        {MetricType::kUInt64, Variant::UInt64(std::numeric_limits<std::uint64_t>::max())},
        {MetricType::kFloat, Variant::Float(-0.25f)},
        {MetricType::kDouble, Variant::Double(1e300)},
        {MetricType::kString, Variant::Text("x")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.type));
        pb::Payload::Metric metric;
        SetMetricValue(c.type, c.value, metric);
        const auto back = MetricValue(c.type, metric);
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, c.value);
        // The same value in a datatype of another field is refused.
        const MetricType other =
            c.type == MetricType::kBoolean ? MetricType::kDouble : MetricType::kBoolean;
        EXPECT_FALSE(MetricValue(other, metric));
    }
    pb::Payload::Metric wide;
    wide.set_int_value(0x10000u);
    EXPECT_FALSE(MetricValue(MetricType::kInt16, wide));
    EXPECT_FALSE(MetricValue(MetricType::kUInt16, wide));
    wide.set_int_value(0xFFFF8000u);  // -32768 sign-extended
    EXPECT_EQ(MetricValue(MetricType::kInt16, wide), Variant::Int16(-32768));
    pb::Payload::Metric null;
    null.set_is_null(true);
    null.set_boolean_value(true);
    EXPECT_FALSE(MetricValue(MetricType::kBoolean, null));
}

}  // namespace
}  // namespace velk::sparkplug
