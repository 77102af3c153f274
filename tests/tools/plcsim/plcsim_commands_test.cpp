// The control commands, on a simulator that is not started (no channel is opened).
#include <gtest/gtest.h>

#include <string>

#include "tools/plcsim/command_interpreter.h"
#include "tools/plcsim/plc_simulator.h"

namespace velk::plcsim {
namespace {

class CommandTest : public ::testing::Test {
  protected:
    CommandTest() : simulator_(Options()) {}

    static SimulatorOptions Options() {
        SimulatorOptions options;
        options.channels.resize(2);
        options.imageSize = 4096;
        options.deviceType = kDeviceTypeKestrel;
        return options;
    }

    std::string Run(const std::string& line) { return ExecuteCommand(simulator_, line); }

    PlcSimulator simulator_;
};

TEST_F(CommandTest, SetAndGetEveryTable) {
    EXPECT_EQ(Run("set holding 10 1 2 0x10"), "ok\n");
    EXPECT_EQ(Run("get holding 10 3"), "1 2 16\nok\n");
    EXPECT_EQ(Run("set input 0 -1"), "ok\n");
    EXPECT_EQ(Run("get input 0"), "65535\nok\n");
    EXPECT_EQ(Run("set coil 5 1 0 1"), "ok\n");
    EXPECT_EQ(Run("get coil 5 3"), "1 0 1\nok\n");
    EXPECT_EQ(Run("set discrete 4095 1"), "ok\n");
    EXPECT_EQ(Run("get d 4095"), "1\nok\n");
}

TEST_F(CommandTest, RefusesBadInput) {
    EXPECT_EQ(Run("set holding 4096 1").rfind("error: ", 0), 0u);
    EXPECT_EQ(Run("set coil 1 2").rfind("error: ", 0), 0u);
    EXPECT_EQ(Run("set holding 1 70000").rfind("error: ", 0), 0u);
    EXPECT_EQ(Run("set nothing 1 1").rfind("error: ", 0), 0u);
    EXPECT_EQ(Run("get holding 4095 2").rfind("error: ", 0), 0u);
    EXPECT_EQ(Run("frobnicate").rfind("error: ", 0), 0u);
    EXPECT_EQ(Run("delay 10 ch=3").rfind("error: ", 0), 0u);
    EXPECT_EQ(Run("event 1 1 at=25:00:00").rfind("error: ", 0), 0u);
    EXPECT_EQ(Run(""), "");
    EXPECT_EQ(Run("# comment"), "");
}

TEST_F(CommandTest, EventsGoToTheNamedAreas) {
    EXPECT_EQ(Run("event 7 1 at=01:02:03.456 area=2"), "ok\n");
    EXPECT_TRUE(simulator_.Events().Records(0).empty());
    ASSERT_EQ(simulator_.Events().Records(1).size(), 1u);
    const EventRecord& record = simulator_.Events().Records(1)[0];
    EXPECT_EQ(record.signal, 7);
    EXPECT_EQ(record.millisecond, 456);
    EXPECT_EQ(record.second, 3);
    EXPECT_EQ(Run("get coil 2055"), "1\nok\n");

    EXPECT_EQ(Run("event 8 0"), "ok\n");
    EXPECT_EQ(simulator_.Events().Records(0).size(), 1u);
    EXPECT_EQ(simulator_.Events().Records(1).size(), 2u);

    EXPECT_EQ(Run("overrun area=1"), "ok\n");
    EXPECT_TRUE(simulator_.Events().Overrun(0));
    EXPECT_FALSE(simulator_.Events().Overrun(1));
    EXPECT_EQ(Run("events area=1"),
              "area 1 base=3072 size=248 records=1 capacity=61 overrun=1\nok\n");
    EXPECT_EQ(Run("clear-events"), "ok\n");
    EXPECT_FALSE(simulator_.Events().Overrun(0));
    EXPECT_TRUE(simulator_.Events().Records(1).empty());
}

TEST_F(CommandTest, FaultsApplyToOneOrEveryChannel) {
    EXPECT_EQ(Run("delay 250 ch=2"), "ok\n");
    EXPECT_EQ(simulator_.Faults(1).delayMs, 0);
    EXPECT_EQ(simulator_.Faults(2).delayMs, 250);
    EXPECT_EQ(Run("exception 4 all"), "ok\n");
    EXPECT_EQ(simulator_.Faults(1).exceptionCode, 4);
    EXPECT_EQ(simulator_.Faults(1).exceptionCount, FaultPlan::kAlways);
    EXPECT_EQ(Run("wrong-length -2 3 ch=1"), "ok\n");
    EXPECT_EQ(simulator_.Faults(1).lengthDelta, -2);
    EXPECT_EQ(simulator_.Faults(1).lengthCount, 3);
    EXPECT_EQ(simulator_.Faults(2).lengthCount, 0);
    EXPECT_EQ(Run("split 2 gap=300"), "ok\n");
    EXPECT_EQ(simulator_.Faults(2).splitCount, 2);
    EXPECT_EQ(simulator_.Faults(2).splitGapMs, 300);
    EXPECT_EQ(simulator_.Faults(2).splitParts, 2);
    EXPECT_EQ(Run("split 1 parts=300"), "ok\n");
    EXPECT_EQ(simulator_.Faults(2).splitParts, 300);
    EXPECT_EQ(Run("silent on ch=1"), "ok\n");
    EXPECT_TRUE(simulator_.Faults(1).silent);
    EXPECT_EQ(Run("clear-faults"), "ok\n");
    EXPECT_FALSE(simulator_.Faults(1).silent);
    EXPECT_EQ(simulator_.Faults(2).delayMs, 0);
    EXPECT_EQ(simulator_.Faults(1).exceptionCount, 0);
}

TEST(FaultPlanTest, CountedFaultsRunOut) {
    int count = 2;
    EXPECT_TRUE(FaultPlan::Take(count));
    EXPECT_TRUE(FaultPlan::Take(count));
    EXPECT_FALSE(FaultPlan::Take(count));
    int always = FaultPlan::kAlways;
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(FaultPlan::Take(always));
    }
}

TEST(SimulatorOptionsTest, ParsesChannelsAndPresets) {
    const char* argv[] = {"velkopc-plcsim",
                          "--tcp",
                          "127.0.0.1:1502",
                          "--tcp",
                          ":0",
                          "--rtu",
                          "/dev/ttyS1",
                          "--parity",
                          "even",
                          "--holding",
                          "0x10=-1",
                          "--coil",
                          "3=1",
                          "--unit",
                          "17"};
    SimulatorOptions options;
    std::string error;
    ASSERT_TRUE(
        ParseOptions(static_cast<int>(std::size(argv)), const_cast<char**>(argv), options, error))
        << error;
    ASSERT_EQ(options.channels.size(), 3u);
    EXPECT_EQ(options.channels[0].port, 1502);
    EXPECT_EQ(options.channels[1].host, "127.0.0.1");
    EXPECT_EQ(options.channels[2].framing, MessageFraming::kRtu);
    EXPECT_EQ(options.parity, 'E');
    EXPECT_EQ(options.unit, 17);
    ASSERT_EQ(options.presets.size(), 2u);
    EXPECT_EQ(options.presets[0].address, 16u);
    EXPECT_EQ(options.presets[0].value, 0xFFFF);

    const char* bad[] = {"velkopc-plcsim", "--tcp", "127.0.0.1:1502", "--coil", "3=2"};
    EXPECT_FALSE(ParseOptions(5, const_cast<char**>(bad), options, error));
    const char* none[] = {"velkopc-plcsim"};
    SimulatorOptions empty;
    EXPECT_FALSE(ParseOptions(1, const_cast<char**>(none), empty, error));
}

}  // namespace
}  // namespace velk::plcsim
