#include "sparkplug/command_decoder.h"

#include <gtest/gtest.h>

#include <functional>

#include "model/o_device.h"
#include "tests/sparkplug/sparkplug_test_support.h"

namespace velk::sparkplug {
namespace {

using testing::AddTag;
using testing::InsertDevice;
using testing::InsertGroup;
using testing::ScaleLinear;
using Metric = pb::Payload::Metric;

std::string Command(const std::function<void(pb::Payload&)>& fill) {
    pb::Payload payload;
    payload.set_timestamp(1609459200000ull);
    fill(payload);
    return payload.SerializeAsString();
}

class DeviceCommandTest : public ::testing::Test {
  protected:
    DeviceCommandTest() {
        ODevice& plc = InsertDevice(root, "PLC1");
        AddTag(plc, "Run", VT_BOOL, kAccessReadable | kAccessWritable);
        AddTag(plc, "Count", VT_I2);  // read only
        AddTag(plc, "Speed", VT_UI2, kAccessReadable | kAccessWritable);
        ScaleLinear(
            AddTag(InsertGroup(plc, "Tanks"), "Level", VT_I2, kAccessReadable | kAccessWritable),
            0.0, 5.0, "m");
        layout = MetricLayout::Build(root);
    }
    const DeviceMetrics& Plc() const { return layout.Devices().front(); }
    std::uint64_t Alias(const char* name) const { return Plc().FindByName(name)->alias; }

    OTagGroup root;
    MetricLayout layout;
};

TEST_F(DeviceCommandTest, WritesByNameOrAliasInTheMetricsType) {
    const std::string bytes = Command([&](pb::Payload& p) {
        Metric* run = p.add_metrics();
        run->set_name("Run");
        run->set_datatype(pb::Boolean);
        run->set_boolean_value(true);
        Metric* level = p.add_metrics();
        level->set_alias(Alias("Tanks/Level"));
        level->set_double_value(2.5);
        Metric* speed = p.add_metrics();
        speed->set_name("Speed");
        speed->set_alias(Alias("Speed"));
        speed->set_int_value(65535);
    });
    std::vector<TagWrite> writes;
    const CommandCheck check = DecodeDeviceCommand(Plc(), bytes, writes);
    ASSERT_TRUE(check.Accepted()) << check.detail;
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].metric->name, "Run");
    EXPECT_EQ(writes[0].value, Variant::Bool(true));
    EXPECT_EQ(writes[1].metric->name, "Tanks/Level");
    EXPECT_EQ(writes[1].value, Variant::Double(2.5));
    EXPECT_EQ(writes[2].value, Variant::UInt16(65535));
}

TEST_F(DeviceCommandTest, ACommandWithOneBadMetricIsRefusedWhole) {
    // Each command starts with a good write that must not come out.
    const auto good = [](pb::Payload& p) {
        Metric* run = p.add_metrics();
        run->set_name("Run");
        run->set_boolean_value(true);
    };
    const struct {
        const char* what;
        std::function<void(Metric&)> bad;
        CommandRefusal refusal;
    } cases[] = {
        {"unknown name", [](Metric& m) { m.set_name("Nope"); }, CommandRefusal::kUnknownMetric},
        {"name in another case", [](Metric& m) { m.set_name("run"); },
         CommandRefusal::kUnknownMetric},
        {"unknown alias", [](Metric& m) { m.set_alias(999); }, CommandRefusal::kUnknownMetric},
        {"the node's alias", [](Metric& m) { m.set_alias(kRebirthAlias); },
         CommandRefusal::kUnknownMetric},
        {"neither", [](Metric& m) { m.set_boolean_value(true); }, CommandRefusal::kUnknownMetric},
        {"name and alias disagree",
         [this](Metric& m) {
             m.set_name("Run");
             m.set_alias(Alias("Speed"));
             m.set_boolean_value(true);
         },
         CommandRefusal::kUnknownMetric},
        {"wrong datatype",
         [](Metric& m) {
             m.set_name("Speed");
             m.set_datatype(pb::Int32);
             m.set_int_value(1);
         },
         CommandRefusal::kWrongDatatype},
        {"wrong field",
         [](Metric& m) {
             m.set_name("Tanks/Level");
             m.set_float_value(1.0f);
         },
         CommandRefusal::kWrongValue},
        {"out of range",
         [](Metric& m) {
             m.set_name("Speed");
             m.set_int_value(65536);
         },
         CommandRefusal::kWrongValue},
        {"null",
         [](Metric& m) {
             m.set_name("Run");
             m.set_is_null(true);
         },
         CommandRefusal::kWrongValue},
        {"no value", [](Metric& m) { m.set_name("Run"); }, CommandRefusal::kWrongValue},
        {"read only",
         [](Metric& m) {
             m.set_name("Count");
             m.set_int_value(3);
         },
         CommandRefusal::kNotWritable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = Command([&](pb::Payload& p) {
            good(p);
            c.bad(*p.add_metrics());
        });
        std::vector<TagWrite> writes = {TagWrite{}};
        const CommandCheck check = DecodeDeviceCommand(Plc(), bytes, writes);
        EXPECT_EQ(check.refusal, c.refusal);
        EXPECT_FALSE(check.detail.empty());
        EXPECT_TRUE(writes.empty());
    }
}

TEST_F(DeviceCommandTest, PayloadsThatAreNoCommandAreRefused) {
    std::vector<TagWrite> writes;
    EXPECT_EQ(DecodeDeviceCommand(Plc(), "\xff\xff\xff", writes).refusal,
              CommandRefusal::kMalformed);
    EXPECT_EQ(DecodeDeviceCommand(Plc(), Command([](pb::Payload&) {}), writes).refusal,
              CommandRefusal::kNoMetrics);
    // A valid payload just past the bound is refused for its size alone.
    const std::string big = Command([](pb::Payload& p) {
        p.add_metrics()->set_name("Run");
        p.set_body(std::string(kMaxCommandBytes, 'x'));
    });
    EXPECT_EQ(DecodeDeviceCommand(Plc(), big, writes).refusal, CommandRefusal::kOversized);
    const std::string truncated = Command([](pb::Payload& p) {
        Metric* m = p.add_metrics();
        m->set_name("Run");
        m->set_boolean_value(true);
    });
    EXPECT_EQ(DecodeDeviceCommand(Plc(), truncated.substr(0, truncated.size() - 3), writes).refusal,
              CommandRefusal::kMalformed);
}

TEST(NodeCommandTest, RebirthByNameOrAliasAndNothingElse) {
    const auto rebirth = [](bool byName, bool value) {
        return Command([=](pb::Payload& p) {
            Metric* m = p.add_metrics();
            if (byName) m->set_name("Node Control/Rebirth");
            if (!byName) m->set_alias(kRebirthAlias);
            m->set_datatype(pb::Boolean);
            m->set_boolean_value(value);
        });
    };
    NodeCommand command;
    EXPECT_TRUE(DecodeNodeCommand(rebirth(true, true), command).Accepted());
    EXPECT_TRUE(command.rebirth);
    EXPECT_TRUE(DecodeNodeCommand(rebirth(false, true), command).Accepted());
    EXPECT_TRUE(command.rebirth);
    EXPECT_TRUE(DecodeNodeCommand(rebirth(true, false), command).Accepted());
    EXPECT_FALSE(command.rebirth);

    const auto refusal = [&](const std::function<void(Metric&)>& fill) {
        command.rebirth = true;
        const CommandCheck check =
            DecodeNodeCommand(Command([&](pb::Payload& p) { fill(*p.add_metrics()); }), command);
        EXPECT_FALSE(command.rebirth);
        return check.refusal;
    };
    EXPECT_EQ(refusal([](Metric& m) {
                  m.set_name("bdSeq");
                  m.set_long_value(3);
              }),
              CommandRefusal::kUnknownMetric);
    EXPECT_EQ(refusal([](Metric& m) {
                  m.set_name("Node Control/Reboot");
                  m.set_boolean_value(true);
              }),
              CommandRefusal::kUnknownMetric);
    EXPECT_EQ(refusal([](Metric& m) {
                  m.set_name("Node Control/Rebirth");
                  m.set_int_value(1);
              }),
              CommandRefusal::kWrongValue);
    EXPECT_EQ(refusal([](Metric& m) {
                  m.set_name("Node Control/Rebirth");
                  m.set_datatype(pb::Int32);
                  m.set_boolean_value(true);
              }),
              CommandRefusal::kWrongDatatype);
}

}  // namespace
}  // namespace velk::sparkplug
