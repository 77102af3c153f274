#include "sparkplug/command_decoder.h"

#include <gtest/gtest.h>

#include "model/o_device.h"
#include "tests/sparkplug/sparkplug_test_support.h"

namespace velk::sparkplug {
namespace {

using testing::AddTag;
using testing::InsertDevice;
using testing::InsertGroup;
using testing::ScaleLinear;

// One metric of a command: no name when null, no alias when negative, no datatype when 0;
// the value in field 'b'oolean, 'i'nt, 'f'loat, 'd'ouble, as 'n'ull, or none (0).
struct M {
    const char* name;
    std::int64_t alias;
    std::uint32_t datatype;
    char field;
    double value;
};

std::string Command(std::initializer_list<M> metrics) {
    pb::Payload payload;
    payload.set_timestamp(1609459200000ull);
    for (const M& m : metrics) {
        auto* metric = payload.add_metrics();
        if (m.name) metric->set_name(m.name);
        if (m.alias >= 0) metric->set_alias(static_cast<std::uint64_t>(m.alias));
        if (m.datatype) metric->set_datatype(m.datatype);
        if (m.field == 'b') metric->set_boolean_value(m.value != 0);
        if (m.field == 'i') metric->set_int_value(static_cast<std::uint32_t>(m.value));
        if (m.field == 'f') metric->set_float_value(static_cast<float>(m.value));
        if (m.field == 'd') metric->set_double_value(m.value);
        if (m.field == 'n') metric->set_is_null(true);
    }
    return payload.SerializeAsString();
}

class DeviceCommandTest : public ::testing::Test {
  protected:
    DeviceCommandTest() {
        constexpr std::uint16_t rw = kAccessReadable | kAccessWritable;
        ODevice& plc = InsertDevice(root, "PLC1");
        AddTag(plc, "Run", VT_BOOL, rw);
        AddTag(plc, "Count", VT_I2);  // read only
        AddTag(plc, "Speed", VT_UI2, rw);
        ScaleLinear(AddTag(InsertGroup(plc, "Tanks"), "Level", VT_I2, rw), 0.0, 5.0, "m");
        layout = MetricLayout::Build(root);
    }
    const DeviceMetrics& Plc() const { return layout.Devices().front(); }
    std::int64_t Alias(const char* name) const {
        return static_cast<std::int64_t>(Plc().FindByName(name)->alias);
    }

    OTagGroup root;
    MetricLayout layout;
};

TEST_F(DeviceCommandTest, WritesByNameOrAliasInTheMetricsType) {
    std::vector<TagWrite> writes;
    const CommandCheck check =
        DecodeDeviceCommand(Plc(),
                            Command({{"Run", -1, pb::Boolean, 'b', 1},
                                     {nullptr, Alias("Tanks/Level"), 0, 'd', 2.5},
                                     {"Speed", Alias("Speed"), 0, 'i', 65535}}),
                            writes);
    ASSERT_TRUE(check.Accepted()) << check.detail;
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].metric->name, "Run");
    EXPECT_EQ(writes[0].value, Variant::Bool(true));
    EXPECT_EQ(writes[1].metric->name, "Tanks/Level");
    EXPECT_EQ(writes[1].value, Variant::Double(2.5));
    EXPECT_EQ(writes[2].value, Variant::UInt16(65535));
}

TEST_F(DeviceCommandTest, ACommandWithOneBadMetricIsRefusedWhole) {
    using R = CommandRefusal;
    const struct {
        const char* what;
        M bad;
        CommandRefusal refusal;
    } cases[] = {
        {"unknown name", {"Nope", -1, 0, 'b', 1}, R::kUnknownMetric},
        {"name in another case", {"run", -1, 0, 'b', 1}, R::kUnknownMetric},
        {"unknown alias", {nullptr, 999, 0, 'b', 1}, R::kUnknownMetric},
        {"the node's alias", {nullptr, kRebirthAlias, 0, 'b', 1}, R::kUnknownMetric},
        {"neither name nor alias", {nullptr, -1, 0, 'b', 1}, R::kUnknownMetric},
        {"name and alias disagree", {"Run", Alias("Speed"), 0, 'b', 1}, R::kUnknownMetric},
        {"wrong datatype", {"Speed", -1, pb::Int32, 'i', 1}, R::kWrongDatatype},
        {"wrong field", {"Tanks/Level", -1, 0, 'f', 1}, R::kWrongValue},
        {"out of range", {"Speed", -1, 0, 'i', 65536}, R::kWrongValue},
        {"null", {"Run", -1, 0, 'n', 0}, R::kWrongValue},
        {"no value", {"Run", -1, 0, 0, 0}, R::kWrongValue},
        {"read only", {"Count", -1, 0, 'i', 3}, R::kNotWritable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<TagWrite> writes = {TagWrite{}};
        // The good write before the bad one must not come out either.
        const CommandCheck check =
            DecodeDeviceCommand(Plc(), Command({{"Run", -1, 0, 'b', 1}, c.bad}), writes);
        EXPECT_EQ(check.refusal, c.refusal);
        EXPECT_FALSE(check.detail.empty());
        EXPECT_TRUE(writes.empty());
    }
}

TEST_F(DeviceCommandTest, PayloadsThatAreNoCommandAreRefused) {
    std::vector<TagWrite> writes;
    const std::string good = Command({{"Run", -1, 0, 'b', 1}});
    EXPECT_EQ(DecodeDeviceCommand(Plc(), good.substr(0, good.size() - 3), writes).refusal,
              CommandRefusal::kMalformed);
    EXPECT_EQ(DecodeDeviceCommand(Plc(), Command({}), writes).refusal, CommandRefusal::kNoMetrics);
    // A valid payload just past the bound is refused for its size alone.
    pb::Payload big;
    big.ParseFromString(good);
    big.set_body(std::string(kMaxCommandBytes, 'x'));
    EXPECT_EQ(DecodeDeviceCommand(Plc(), big.SerializeAsString(), writes).refusal,
              CommandRefusal::kOversized);
}

TEST(NodeCommandTest, RebirthByNameOrAliasAndNothingElse) {
    const struct {
        M metric;
        CommandRefusal refusal;
        bool rebirth;
    } cases[] = {
        {{"Node Control/Rebirth", -1, pb::Boolean, 'b', 1}, CommandRefusal::kNone, true},
        {{nullptr, kRebirthAlias, 0, 'b', 1}, CommandRefusal::kNone, true},
        {{"Node Control/Rebirth", -1, 0, 'b', 0}, CommandRefusal::kNone, false},
        {{"bdSeq", -1, 0, 'i', 3}, CommandRefusal::kUnknownMetric, false},
        {{"Node Control/Reboot", -1, 0, 'b', 1}, CommandRefusal::kUnknownMetric, false},
        {{"Node Control/Rebirth", -1, 0, 'i', 1}, CommandRefusal::kWrongValue, false},
        {{"Node Control/Rebirth", -1, pb::Int32, 'b', 1}, CommandRefusal::kWrongDatatype, false},
    };
    for (const auto& c : cases) {
        NodeCommand command{true};
        EXPECT_EQ(DecodeNodeCommand(Command({c.metric}), command).refusal, c.refusal);
        EXPECT_EQ(command.rebirth, c.rebirth);
    }
}

}  // namespace
}  // namespace velk::sparkplug
