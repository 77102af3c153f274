// The DA class of the real server program on a private bus, used by a python3-dbus client
// that knows only the documented bus interface: its devices are the controller simulator
// and a libmodbus slave. Covers browsing, properties, reads and writes that reach the
// devices, asynchronous completions, data changes, a client killed in the middle of a
// subscription, and a server started by bus activation that ends with its last client.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/text.h"
#include "tests/modbus/scan_libmodbus_slave.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace velk::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kPython = "/usr/bin/python3";

class DaBusProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(sim_.Start(
            {"--tcp", "127.0.0.2:0", "--holding", "0=123", "--holding", "2=55", "--input", "0=500"},
            error))
            << error;
        ASSERT_TRUE(slave_.Start());
        slave_.Mapping()->tab_registers[0] = 9;
        ASSERT_EQ(RunProgram(kPython, {Script("make_da_config.py"), "peers", Config()}, {},
                             dir_.File("config.out")),
                  0)
            << ReadFile(dir_.File("config.out"));
        WriteSettings();
        ASSERT_TRUE(bus_.Start(dir_.File("services"), {}, ServerEnvironment())) << bus_.Problem();
    }

    static std::string Script(const std::string& name) {
        return std::string(VELK_DA_BUS_TEST_DIR) + "/" + name;
    }
    std::string Config() const { return dir_.File("peers.vlk"); }
    std::string TracePath() const { return dir_.File("trace.txt"); }
    std::string TraceText() const { return Utf16LeBytesToUtf8(ReadFile(TracePath())); }
    int TraceCount(const std::string& text) const {
        const std::string trace = TraceText();
        int count = 0;
        for (auto at = trace.find(text); at != std::string::npos; at = trace.find(text, at + 1)) {
            ++count;
        }
        return count;
    }

    void WriteSettings() {
        ServerStoreText store;
        store.changelessUpdate = true;
        store.traceFile = TracePath();
        store.recentFile = Config();
        store.tcpPorts = {{"127.0.0.2", sim_.TcpPort(1)}, {"127.0.0.1", slave_.Port()}};
        ASSERT_TRUE(store.WriteTo(dir_.File("settings.reg")));
    }

    // What the server needs, whether the test or the bus starts it.
    std::vector<std::string> ServerEnvironment() const {
        return {"VELKOPC_SETTINGS=" + dir_.File("settings.reg"),
                "VELKOPC_USER_SETTINGS=" + dir_.File("user.reg"),
                "VELKOPC_DBUS_SERVICES_DIR=" + dir_.File("services"),
                "VELKOPC_INSTANCE_NAME=velk-dabus-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name()};
    }
    std::vector<std::string> BusEnvironment() const {
        std::vector<std::string> env = ServerEnvironment();
        env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus_.Address());
        return env;
    }

    // The server as a user starts it (no window without a display), with the test's devices.
    bool StartServer() {
        if (!server_.Start(VELKOPC_BINARY, {}, BusEnvironment(), dir_.File("server.out"))) {
            return false;
        }
        return WaitUntil([&] { return TraceText().find("started") != std::string::npos; }, 20s);
    }
    int RunClient(const std::string& mode, const std::string& output) {
        return RunProgram(kPython, {Script("da_bus_client.py"), bus_.Address(), mode}, {},
                          dir_.File(output), 90s);
    }
    void TearDown() override {
        if (server_.Running()) {
            server_.Signal(SIGTERM);
            server_.Wait(15s);
        }
    }

    TempDirectory dir_;
    velk::test::PlcsimProcess sim_;
    LibmodbusSlave slave_;
    PrivateBus bus_;
    ChildProcess server_;
};

TEST_F(DaBusProcessTest, ClientBrowsesReadsWritesAndSubscribesThroughTheDocumentedInterface) {
    ASSERT_TRUE(StartServer()) << ReadFile(dir_.File("server.out"));
    EXPECT_EQ(RunClient("full", "client.out"), 0) << ReadFile(dir_.File("client.out"));

    // The writes reached the devices themselves.
    EXPECT_EQ(sim_.Command("get holding 1"), "4321\n");
    EXPECT_EQ(sim_.Command("get coil 0"), "1\n");
    EXPECT_EQ(slave_.Mapping()->tab_registers[0], static_cast<std::uint16_t>(-5));

    // Every call is in the trace with its result, as for any client.
    for (const char* line :
         {"Called IOPCServer::AddGroup", "Called IOPCItemMgt::AddItems", "Called IOPCSyncIO::Read",
          "Called IOPCSyncIO::Write", "Called IOPCAsyncIO2::Read", "Called IOPCAsyncIO2::Write",
          "Called IOPCAsyncIO2::Refresh2", "Called IConnectionPoint<IOPCDataCallback>::Advise",
          "Called IDataObject::DAdvise", "Called IOPCServer::RemoveGroup",
          "Called IOPCBrowseServerAddressSpace::BrowseOPCItemIDs"}) {
        EXPECT_GT(TraceCount(line), 0) << line;
    }
    // The client released its instance: its server object and groups are gone.
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("OPC DA server object destroyed") == 1; }, 20s))
        << TraceText();
    EXPECT_EQ(TraceCount("Creating OPC DA server instance"), 1);
}

TEST_F(DaBusProcessTest, KilledClientHasItsGroupsReleasedAndTheDeviceThreadsStop) {
    ASSERT_TRUE(StartServer()) << ReadFile(dir_.File("server.out"));
    ChildProcess client;
    ASSERT_TRUE(client.Start(kPython, {Script("da_bus_client.py"), bus_.Address(), "subscribe"}, {},
                             dir_.File("client.out")));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(dir_.File("client.out")).find("subscribed") != std::string::npos; },
        30s))
        << ReadFile(dir_.File("client.out"));
    // The first client started the device threads.
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("EventScanThread: Dev=Plc1") > 0; }, 10s))
        << TraceText();
    EXPECT_EQ(TraceCount("finished"), 0);

    ASSERT_TRUE(client.Signal(SIGKILL));
    client.Wait(10s);
    // The bus tells the server; it releases the group and the server object, and as that
    // was its last client, the device threads end.
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("OPC DA server object destroyed") == 1; }, 20s))
        << TraceText();
    EXPECT_TRUE(WaitUntil([&] { return TraceCount("OPC DA group object destroyed") >= 1; }, 20s));
    EXPECT_TRUE(WaitUntil(
        [&] {
            // (Their diagnostic threads do not run: each has one channel only.)
            return TraceCount("ODevice::EventScanThread: Dev=Plc1 finished") == 1 &&
                   TraceCount("ODevice::EventScanThread: Dev=Slave finished") == 1;
        },
        20s))
        << TraceText();
    // The server itself stays: a user started it.
    EXPECT_TRUE(server_.Running());
}

// Resident memory of a process in kB, 0 when it cannot be read.
long ResidentKb(pid_t pid) {
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    const auto at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

TEST_F(DaBusProcessTest, ACallbackObjectThatNeverAnswersCannotMakeTheServerHoardItsRefreshes) {
    ASSERT_TRUE(StartServer()) << ReadFile(dir_.File("server.out"));
    ChildProcess deaf;
    ASSERT_TRUE(deaf.Start(kPython, {Script("da_bus_client.py"), bus_.Address(), "deaf"}, {},
                           dir_.File("deaf.out")));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return !deaf.Running() ||
                   ReadFile(dir_.File("deaf.out")).find("refreshed") != std::string::npos;
        },
        170s));
    ASSERT_TRUE(deaf.Running()) << ReadFile(dir_.File("deaf.out"));
    // 100 refreshes of 100,000 items are several hundred megabytes of callbacks; the server holds
    // at most 64 MiB of them for one client, and with its refresh buffers and the calls on
    // their way stays near 250 MB (it grew past 600 MB when every thread kept its own
    // allocator arena).
    constexpr long kBoundKb = 384 * 1024;
    const long resident = ResidentKb(server_.Pid());
    EXPECT_GT(resident, 0);
    EXPECT_LT(resident, kBoundKb) << ReadFile(dir_.File("deaf.out"));
    // Another client is still served meanwhile.
    EXPECT_EQ(RunClient("activate", "client.out"), 0) << ReadFile(dir_.File("client.out"));
    // When the client has gone, so has what it held, and the memory returns to the system
    // (to some 30 MB when the machine is idle; a loaded machine needs longer to get there, so
    // the bound is half the one above: a server that kept its peak stays far over it).
    deaf.Signal(SIGKILL);
    deaf.Wait(10s);
    EXPECT_TRUE(WaitUntil([&] { return ResidentKb(server_.Pid()) < kBoundKb / 2; }, 60s))
        << ResidentKb(server_.Pid()) << " kB";
}

TEST_F(DaBusProcessTest, ServerStartedByTheBusEndsWithItsLastClient) {
    ASSERT_EQ(
        RunProgram(VELKOPC_BINARY, {"-Register"}, ServerEnvironment(), dir_.File("register.out")),
        0)
        << ReadFile(dir_.File("register.out"));
    EXPECT_EQ(RunClient("activate", "client.out"), 0)
        << ReadFile(dir_.File("client.out")) << bus_.Output();
    // The client has left; its instance was the activated server's last one.
    EXPECT_TRUE(WaitUntil([&] { return TraceText().find("stopped") != std::string::npos; }, 30s))
        << TraceText();
    EXPECT_EQ(TraceCount("Creating OPC DA server instance"), 1);
    EXPECT_EQ(TraceCount("OPC DA server object destroyed"), 1);
}

}  // namespace
}  // namespace velk::testing
