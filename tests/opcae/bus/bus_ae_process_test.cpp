// The AE class of the real server program on a private bus, used by a python3-dbus client
// that knows only the documented bus interface; the device is the controller simulator on
// two loopback channels. Covers alarm events from values written into the simulator, their
// filters, acknowledgement across two clients, refresh, and the communication alarm when
// the simulator stops answering and after it answers again.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace velk::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPython = "/usr/bin/python3";

class AeBusProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim_.Start({"--tcp", "127.0.0.2:0", "--tcp", "127.0.0.3:0", "--holding",
                                "0=500", "--holding", "2=100"},
                               error))
            << error;
        ASSERT_EQ(RunProgram(kPython, {Script("bus_ae_make_config.py"), Config()}, {},
                             dir_.File("config.out")),
                  0)
            << ReadFile(dir_.File("config.out"));
        WriteSettings();
        ASSERT_TRUE(bus_.Start()) << bus_.Problem();
        ASSERT_TRUE(StartServer()) << ReadFile(dir_.File("server.out"));
    }
    void TearDown() override {
        if (server_.Running()) {
            server_.Signal(SIGTERM);
            server_.Wait(15s);
        }
    }

    static std::string Script(const std::string& name) {
        return std::string(VELK_AE_BUS_TEST_DIR) + "/" + name;
    }
    std::string Config() const { return dir_.File("plant.vlk"); }
    std::string TracePath() const { return dir_.File("trace.txt"); }
    std::string TraceText() const { return Utf16LeBytesToUtf8(ReadFile(TracePath())); }
    int TraceCount(const std::string& text) const {
        const std::string trace = TraceText();
        int count = 0;
        for (auto at = trace.find(text); at != std::string::npos; at = trace.find(text, at + 1))
            ++count;
        return count;
    }

    void WriteSettings() {
        ServerStoreText store;
        store.traceFile = TracePath();
        store.recentFile = Config();
        store.tcpPorts = {{"127.0.0.2", sim_.TcpPort(1)}, {"127.0.0.3", sim_.TcpPort(2)}};
        ASSERT_TRUE(store.WriteTo(dir_.File("settings.reg")));
    }
    std::vector<std::string> Environment() const {
        return {"VELKOPC_SETTINGS=" + dir_.File("settings.reg"),
                "VELKOPC_USER_SETTINGS=" + dir_.File("user.reg"),
                "VELKOPC_DBUS_SERVICES_DIR=" + dir_.File("services"),
                "VELKOPC_INSTANCE_NAME=velk-aebus-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                "DBUS_SESSION_BUS_ADDRESS=" + bus_.Address()};
    }
    bool StartServer() {
        if (!server_.Start(VELKOPC_BINARY, {}, Environment(), dir_.File("server.out")))
            return false;
        return WaitUntil([&] { return TraceText().find("started") != std::string::npos; }, 20s);
    }
    int RunClient(const std::string& mode, const std::string& output) {
        return RunProgram(
            kPython,
            {Script("bus_ae_e2e_client.py"), bus_.Address(), sim_.Directory() + "/control", mode},
            {}, dir_.File(output), 120s);
    }

    TempDirectory dir_;
    velk::test::PlcsimProcess sim_;
    PrivateBus bus_;
    ChildProcess server_;
};

TEST_F(AeBusProcessTest,
       AlarmsFromTheControllerReachFilteredSubscriptionsAcknowledgementsAndRefresh) {
    EXPECT_EQ(RunClient("alarms", "client.out"), 0)
        << ReadFile(dir_.File("client.out")) << TraceText();
    // The calls are in the trace with their results, as for any client.
    for (const char* line :
         {"Called IOPCEventServer::CreateEventSubscription", "Called IOPCEventServer::AckCondition",
          "Called IOPCEventSubscriptionMgt::SetFilter", "Called IOPCEventSubscriptionMgt::Refresh",
          "Called IConnectionPoint<IOPCEventSink>::Advise"})
        EXPECT_GT(TraceCount(line), 0) << line;
    // Both clients have left: their server objects and subscriptions ended with them.
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("OPC AE server object destroyed") == 2; }, 20s))
        << TraceText();
    EXPECT_EQ(TraceCount("OPC AE server object created"), 2);
    EXPECT_EQ(TraceCount("OPC AE subscription object created"),
              TraceCount("OPC AE subscription object destroyed"));
}

TEST_F(AeBusProcessTest, ClientCommandsShowTheSpaceAreasEventsConditionsAndAcknowledge) {
    auto client = [&](std::vector<std::string> args, const std::string& output) {
        args.insert(args.begin(), {"--address", bus_.Address()});
        return RunProgram(VELKOPC_CLIENT_BINARY, args, {}, dir_.File(output), 60s);
    };
    ASSERT_EQ(client({"ae-space"}, "space.out"), 0) << ReadFile(dir_.File("space.out"));
    const std::string space = ReadFile(dir_.File("space.out"));
    EXPECT_NE(space.find("category 4  Analog  (condition events)"), std::string::npos) << space;
    EXPECT_NE(space.find("  condition \"Analog Level\": \"LoLo\" \"Low\" \"High\" \"HiHi\""),
              std::string::npos);
    EXPECT_NE(space.find("  attribute 112  NEW VALUE  (any)"), std::string::npos);
    EXPECT_NE(space.find("category 65536  Event  (tracking events)"), std::string::npos);

    ASSERT_EQ(client({"areas", "--sources"}, "areas.out"), 0) << ReadFile(dir_.File("areas.out"));
    EXPECT_EQ(ReadFile(dir_.File("areas.out")),
              "Plc1  (Plc1)\n  source Level  (Plc1.Level)\n  source Pump  (Plc1.Pump)\n"
              "  Tanks  (Plc1.Tanks)\n    source Flow  (Plc1.Tanks.Flow)\n");
    ASSERT_EQ(client({"areas", "Plc1.Tanks"}, "tanks.out"), 0);
    EXPECT_EQ(ReadFile(dir_.File("tanks.out")), "Plc1.Tanks\n");

    // Events of the analog category only, while the pump starts and the level rises.
    ChildProcess events;
    ASSERT_TRUE(events.Start(VELKOPC_CLIENT_BINARY,
                             {"--address", bus_.Address(), "events", "--category", "4", "--buffer",
                              "100", "--max", "1", "--source", "*.lev*"},
                             {}, dir_.File("events.out")));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(dir_.File("events.out")).find("subscribed") != std::string::npos; },
        20s))
        << ReadFile(dir_.File("events.out"));
    sim_.Command("set coil 0 1");
    sim_.Command("set holding 2 800");
    sim_.Command("set holding 0 950");
    const int status = events.Wait(30s);
    const std::string printed = ReadFile(dir_.File("events.out"));
    ASSERT_TRUE(WIFEXITED(status)) << printed;
    EXPECT_EQ(WEXITSTATUS(status), 0) << printed;
    EXPECT_NE(printed.find(
                  "  Plc1.Level  Analog Level/HiHi  severity 900  \"Tank level level very high\"  "
                  "active,unacked,enabled  cookie "),
              std::string::npos)
        << printed;
    EXPECT_EQ(printed.find("Pump"), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Flow"), std::string::npos) << printed;
    EXPECT_NE(printed.find("stopped after 1 event(s)"), std::string::npos) << printed;

    ASSERT_EQ(client({"refresh"}, "refresh.out"), 0) << ReadFile(dir_.File("refresh.out"));
    std::string conditions = ReadFile(dir_.File("refresh.out"));
    EXPECT_NE(conditions.find("Plc1.Level  Analog Level/HiHi  severity 900"), std::string::npos)
        << conditions;
    EXPECT_NE(conditions.find("Plc1.Pump  Discrete On/Set  severity 500"), std::string::npos)
        << conditions;
    EXPECT_NE(conditions.find("last refresh: 3 condition(s)"), std::string::npos) << conditions;

    ASSERT_EQ(client({"ack", "Plc1.Level", "Analog Level", "--actor", "tester"}, "ack.out"), 0)
        << ReadFile(dir_.File("ack.out"));
    EXPECT_NE(ReadFile(dir_.File("ack.out")).find("acknowledged Plc1.Level  Analog Level  cookie "),
              std::string::npos);
    ASSERT_EQ(client({"refresh"}, "refresh2.out"), 0);
    conditions = ReadFile(dir_.File("refresh2.out"));
    EXPECT_NE(conditions.find(
                  "Plc1.Level  Analog Level/HiHi  severity 900  \"Tank level level very high\"  "
                  "active,acked,enabled"),
              std::string::npos)
        << conditions;
    EXPECT_NE(
        conditions.find("Plc1.Pump  Discrete On/Set  severity 500  \"Feed pump pump running\"  "
                        "active,unacked,enabled"),
        std::string::npos)
        << conditions;
    EXPECT_EQ(client({"ack", "Plc1.Nothing", "Analog Level"}, "noack.out"), 1);
    EXPECT_EQ(client({"events", "--severity", "0-1000"}, "usage.out"), 2);
    EXPECT_GT(TraceCount("Called IOPCEventServer::AckCondition, return code: 0"), 0);
}

TEST_F(AeBusProcessTest, ACommunicationLossRaisesTheDeviceAlarmAndItsReturnClearsIt) {
    EXPECT_EQ(RunClient("commloss", "client.out"), 0)
        << ReadFile(dir_.File("client.out")) << TraceText();
    EXPECT_GT(TraceCount("ODevice::CheckComm: Dev=Plc1; "), 0);
}

}  // namespace
}  // namespace velk::testing
