// The AE class of the real server program on a private bus, used by a python3-dbus client
// that knows only the documented bus interface; the device is the controller simulator on
// two loopback channels. Covers alarm events from values written into the simulator, their
// filters, acknowledgement across two clients, refresh, and the communication alarm when
// the simulator stops answering and after it answers again.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/tools/plcsim_process.h"

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
        char ports[200];
        std::snprintf(ports, sizeof ports,
                      "\"127.0.0.2\"=dword:%08x\r\n\"127.0.0.3\"=dword:%08x\r\n", sim_.TcpPort(1),
                      sim_.TcpPort(2));
        const std::string key = "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server";
        const std::string text = "Windows Registry Editor Version 5.00\r\n\r\n" + key +
                                 "\\TraceFile]\r\n\"FileName\"=\"" + TracePath() + "\"\r\n\r\n" +
                                 key + "\\TcpPorts]\r\n" + ports + "\r\n" + key +
                                 "\\Recent File List]\r\n\"File1\"=\"" + Config() + "\"\r\n";
        FILE* f = std::fopen(dir_.File("settings.reg").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
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

TEST_F(AeBusProcessTest, ACommunicationLossRaisesTheDeviceAlarmAndItsReturnClearsIt) {
    EXPECT_EQ(RunClient("commloss", "client.out"), 0)
        << ReadFile(dir_.File("client.out")) << TraceText();
    EXPECT_GT(TraceCount("ODevice::CheckComm: Dev=Plc1; "), 0);
}

}  // namespace
}  // namespace velk::testing
