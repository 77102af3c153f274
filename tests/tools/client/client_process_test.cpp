// velkopc-client against the real server: velkopc on a private session bus serving the demo
// plant, whose two controllers are velkopc-plcsim processes on free loopback ports (the
// server finds them through the TcpPorts settings). Every check runs the client program as
// a user would and looks at its output, its exit status and the simulators' registers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "opc/opc_result.h"
#include "platform/text.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace velk {
namespace {

using namespace velk::testing;
using namespace std::chrono_literals;

struct ClientRun {
    int status = -1;
    std::string output;  // standard output and error together
};

int Count(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// The private bus and the two simulators, without a server.
class ClientBusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus.Start()) << bus.Problem();
        std::string error;
        ASSERT_TRUE(boiler.Start({"--tcp", "127.0.0.1:0", "--unit", "1"}, error)) << error;
        ASSERT_TRUE(tanks.Start({"--tcp", "127.0.0.2:0", "--unit", "2"}, error)) << error;
    }

    ClientRun Client(const std::vector<std::string>& arguments, const std::string& address = {}) {
        std::vector<std::string> all = {"--address", address.empty() ? bus.Address() : address};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const std::string output = dir.File("client" + std::to_string(++runs_) + ".out");
        ClientRun run;
        run.status = RunProgram(VELKOPC_CLIENT_BINARY, all, {}, output);
        run.output = ReadFile(output);
        return run;
    }

    TempDirectory dir;
    PrivateBus bus;
    velk::test::PlcsimProcess boiler;  // BoilerHouse, unit 1 at 127.0.0.1
    velk::test::PlcsimProcess tanks;   // TankFarm, unit 2 at 127.0.0.2

  private:
    int runs_ = 0;
};

// The server on the demo plant as well.
class ClientProcessTest : public ClientBusTest {
  protected:
    void SetUp() override {
        ClientBusTest::SetUp();
        if (HasFatalFailure()) return;
        ServerStoreText store;
        store.traceFile = dir.File("trace.txt");
        store.tcpPorts = {{"127.0.0.1", boiler.TcpPort(1)}, {"127.0.0.2", tanks.TcpPort(1)}};
        ASSERT_TRUE(store.WriteTo(dir.File("settings.reg")));
        std::ofstream(dir.File("plant.vlk"), std::ios::binary) << ReadFile(VELK_DEMO_PLANT);
        const std::vector<std::string> environment = {
            "DBUS_SESSION_BUS_ADDRESS=" + bus.Address(),
            "VELKOPC_SETTINGS=" + dir.File("settings.reg"),
            "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
            "VELKOPC_INSTANCE_NAME=velk-client-test-" + std::to_string(::getpid()),
        };
        ASSERT_TRUE(server.Start(VELKOPC_BINARY, {dir.File("plant.vlk")}, environment,
                                 dir.File("server.out")));
        ASSERT_TRUE(WaitUntil([&] { return Client({"status"}).status == 0; }, 30s))
            << ReadFile(dir.File("server.out")) << Trace();
    }
    void TearDown() override {
        if (server.Running()) {
            server.Signal(SIGTERM);
            server.Wait(15s);
        }
    }

    std::string Trace() const { return Utf16LeBytesToUtf8(ReadFile(dir.File("trace.txt"))); }
    // Every DA server object that was created has been destroyed again.
    bool NoClientLeft() const {
        const std::string trace = Trace();
        return Count(trace, "Creating OPC DA server instance") > 0 &&
               Count(trace, "Creating OPC DA server instance") ==
                   Count(trace, "OPC DA server object destroyed");
    }
    std::string Register(velk::test::PlcsimProcess& plc, const std::string& what) {
        return Trimmed(plc.Command("get " + what));
    }

    ChildProcess server;
};

TEST_F(ClientProcessTest, StatusShowsTheRunningServerAndItsOwnInstance) {
    const ClientRun run = Client({"status"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("server        VELK.ModbusOPCServer on the bus at " + bus.Address()),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output,
                                  std::regex("instance +/VELK/ModbusOPCServer/Instance[0-9]+\n")))
        << run.output;
    EXPECT_NE(run.output.find("state         running (1)"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("address space hierarchical"), std::string::npos) << run.output;
    EXPECT_TRUE(std::regex_search(
        run.output, std::regex(R"(start time +\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\n)")))
        << run.output;
    EXPECT_TRUE(WaitUntil([&] { return NoClientLeft(); }, 10s)) << Trace();
}

TEST_F(ClientProcessTest, BrowseShowsTheTreeTheFlatListAndOneBranch) {
    const ClientRun tree = Client({"browse"});
    EXPECT_EQ(tree.status, 0) << tree.output;
    EXPECT_TRUE(std::regex_search(tree.output,
                                  std::regex("^BoilerHouse/\n(  \\w+ +BoilerHouse\\.\\w+\n){5}")))
        << tree.output;
    EXPECT_TRUE(std::regex_search(tree.output, std::regex("  Level +BoilerHouse\\.Level\n")))
        << tree.output;
    EXPECT_NE(tree.output.find("TankFarm/\n  Tank1/\n    Flow      TankFarm.Tank1.Flow\n"),
              std::string::npos)
        << tree.output;

    const ClientRun flat = Client({"browse", "--flat"});
    EXPECT_EQ(flat.status, 0) << flat.output;
    std::istringstream lines(flat.output);
    std::set<std::string> items;
    for (std::string line; std::getline(lines, line);) items.insert(line);
    const std::set<std::string> plant = {
        "BoilerHouse.Level", "BoilerHouse.Pressure", "BoilerHouse.Temperature", "BoilerHouse.Pump",
        "BoilerHouse.Door",  "TankFarm.Tank1.Flow",  "TankFarm.Tank1.Overfill"};
    EXPECT_EQ(items, plant) << flat.output;

    const ClientRun branch = Client({"browse", "--flat", "tankfarm.TANK1"});  // names ignore case
    EXPECT_EQ(branch.status, 0) << branch.output;
    EXPECT_EQ(branch.output, "TankFarm.Tank1.Flow\nTankFarm.Tank1.Overfill\n");

    const ClientRun missing = Client({"browse", "TankFarm.Tank9"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(
        missing.output.find(
            "velkopc-client: no branch TankFarm.Tank9 in the address space: E_FAIL (0x80004005)"),
        std::string::npos)
        << missing.output;
}

TEST_F(ClientProcessTest, PropertiesOfAnAnalogItemCarryItsDeviceValue) {
    ASSERT_EQ(boiler.Command("set holding 0 420"), "");
    const ClientRun run = Client({"properties", "BoilerHouse.Level"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(
        std::regex_search(run.output, std::regex("\n +1  Item Canonical DataType +VT_R8\n")))
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("\n +2  Item Value +42\n"))) << run.output;
    EXPECT_TRUE(
        std::regex_search(run.output, std::regex("\n +3  Item Quality +good \\(0x00C0\\)\n")))
        << run.output;
    EXPECT_TRUE(
        std::regex_search(run.output, std::regex("\n +5  Item Access Rights +read/write\n")))
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("\n +100  EU Units +\"%\"\n")))
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output,
                                  std::regex("\n +101  Item Description +\"Feed tank level\"\n")))
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("\n +102  High EU +100\n"))) << run.output;

    const ClientRun binary = Client({"properties", "BoilerHouse.Door"});
    EXPECT_EQ(binary.status, 0) << binary.output;
    EXPECT_EQ(binary.output.find("EU Units"), std::string::npos) << binary.output;  // not analog
    EXPECT_TRUE(
        std::regex_search(binary.output, std::regex("\n +1  Item Canonical DataType +VT_BOOL\n")))
        << binary.output;

    const ClientRun unknown = Client({"properties", "BoilerHouse.Nothing"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(
        unknown.output,
        "velkopc-client: BoilerHouse.Nothing: OPC_E_UNKNOWNITEMID (0xC0040007): unknown item ID\n");
}

TEST_F(ClientProcessTest, ReadFromTheDeviceFollowsTheControllerAndTheCacheKeepsIt) {
    ASSERT_EQ(boiler.Command("set holding 0 250"), "");
    ASSERT_EQ(boiler.Command("set coil 0 1"), "");
    const ClientRun device = Client({"read", "--device", "BoilerHouse.Level", "BoilerHouse.Pump"});
    EXPECT_EQ(device.status, 0) << device.output;
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})";
    EXPECT_TRUE(std::regex_search(device.output,
                                  std::regex("BoilerHouse.Level  25 +good  " + stamp + "\n")))
        << device.output;
    EXPECT_TRUE(std::regex_search(device.output,
                                  std::regex("BoilerHouse.Pump   true +good  " + stamp + "\n")))
        << device.output;

    // Nothing changed at the controller, so whatever the server read last is 25.
    const ClientRun cache = Client({"read", "BoilerHouse.Level"});
    EXPECT_EQ(cache.status, 0) << cache.output;
    EXPECT_TRUE(
        std::regex_search(cache.output, std::regex("BoilerHouse.Level  25 +good  " + stamp + "\n")))
        << cache.output;

    ASSERT_EQ(boiler.Command("set holding 0 300"), "");
    ASSERT_EQ(tanks.Command("set holding 1 2000"), "");  // Flow 0..4000 raw is 0..250 m3/h
    const ClientRun again =
        Client({"read", "--device", "BoilerHouse.Level", "TankFarm.Tank1.Flow"});
    EXPECT_EQ(again.status, 0) << again.output;
    EXPECT_TRUE(std::regex_search(again.output, std::regex("BoilerHouse.Level    30 +good")))
        << again.output;
    EXPECT_TRUE(std::regex_search(again.output, std::regex("TankFarm.Tank1.Flow  125 +good")))
        << again.output;
    EXPECT_TRUE(WaitUntil([&] { return NoClientLeft(); }, 10s)) << Trace();
}

TEST_F(ClientProcessTest, UnknownItemsAreReportedAndTheOthersStillRead) {
    ASSERT_EQ(boiler.Command("set holding 0 100"), "");
    const ClientRun run = Client({"read", "--device", "BoilerHouse.Nothing", "BoilerHouse.Level"});
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("velkopc-client: BoilerHouse.Nothing: OPC_E_UNKNOWNITEMID "
                              "(0xC0040007): unknown item ID\n"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("BoilerHouse.Level  10 +good")))
        << run.output;

    // A subscription with nothing to subscribe to ends at once and leaves nothing behind.
    const ClientRun subscribe = Client({"subscribe", "--count", "1", "BoilerHouse.Nothing"});
    EXPECT_EQ(subscribe.status, 1);
    EXPECT_NE(subscribe.output.find("velkopc-client: BoilerHouse.Nothing: OPC_E_UNKNOWNITEMID"),
              std::string::npos)
        << subscribe.output;
    EXPECT_TRUE(WaitUntil([&] { return NoClientLeft(); }, 10s)) << Trace();

    const ClientRun write = Client({"write", "NoDevice.Level", "1"});
    EXPECT_EQ(write.status, 1);
    EXPECT_NE(write.output.find("velkopc-client: NoDevice.Level: OPC_E_UNKNOWNITEMID (0xC0040007)"),
              std::string::npos)
        << write.output;
}

TEST_F(ClientProcessTest, WritesReachTheControllerInTheItemsOwnType) {
    ASSERT_EQ(boiler.Command("set holding 0 0"), "");
    ClientRun run = Client({"write", "BoilerHouse.Level", "55"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "BoilerHouse.Level = 55 (VT_R8) written\n");
    EXPECT_EQ(Register(boiler, "holding 0"), "550");  // scaled back: 0..100 % is 0..1000

    run = Client({"write", "BoilerHouse.Level", "12.5"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Register(boiler, "holding 0"), "125");

    ASSERT_EQ(boiler.Command("set coil 0 0"), "");
    run = Client({"write", "BoilerHouse.Pump", "on"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "BoilerHouse.Pump = true (VT_BOOL) written\n");
    EXPECT_EQ(Register(boiler, "coil 0"), "1");
    EXPECT_TRUE(WaitUntil([&] { return NoClientLeft(); }, 10s)) << Trace();
}

TEST_F(ClientProcessTest, RefusedWritesLeaveTheControllerAlone) {
    ASSERT_EQ(boiler.Command("set holding 1 1000"), "");
    ClientRun run = Client({"write", "BoilerHouse.Pressure", "3"});  // a read-only item
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(
        run.output.find(
            "velkopc-client: BoilerHouse.Pressure: OPC_E_BADRIGHTS (0xC0040006): the item's access "
            "rights do not allow the operation\n"),
        std::string::npos)
        << run.output;
    EXPECT_EQ(Register(boiler, "holding 1"), "1000");

    ASSERT_EQ(boiler.Command("set holding 0 100"), "");
    const long writesBefore =
        boiler.ReportValue("requests.fc6") + boiler.ReportValue("requests.fc16");
    run = Client({"write", "BoilerHouse.Level", "high"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("velkopc-client: bad value \"high\" for VT_R8: not a number\n"),
              std::string::npos)
        << run.output;
    run = Client({"write", "BoilerHouse.Pump", "2"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("bad value \"2\" for VT_BOOL"), std::string::npos) << run.output;
    EXPECT_EQ(Register(boiler, "holding 0"), "100");
    EXPECT_EQ(boiler.ReportValue("requests.fc6") + boiler.ReportValue("requests.fc16"),
              writesBefore);
    EXPECT_TRUE(WaitUntil([&] { return NoClientLeft(); }, 10s)) << Trace();
}

TEST_F(ClientProcessTest, SubscribePrintsEachChangeUntilInterruptedAndThenLeavesNoClient) {
    ASSERT_EQ(boiler.Command("set holding 0 100"), "");
    ChildProcess subscriber;
    ASSERT_TRUE(subscriber.Start(VELKOPC_CLIENT_BINARY,
                                 {"--address", bus.Address(), "subscribe", "--rate", "100",
                                  "BoilerHouse.Level", "BoilerHouse.Pump"},
                                 {}, dir.File("subscribe.out")));
    const auto output = [&] { return ReadFile(dir.File("subscribe.out")); };
    const std::string line = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  )";
    const std::string stamp = R"( +good  \d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\n)";
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::regex_search(output(), std::regex(line + "BoilerHouse.Level  10" + stamp));
        },
        20s))
        << output();
    EXPECT_NE(output().find("subscribed to 2 item(s) at 100 ms; Ctrl+C stops\n"), std::string::npos)
        << output();
    ASSERT_EQ(boiler.Command("set holding 0 200"), "");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::regex_search(output(), std::regex(line + "BoilerHouse.Level  20" + stamp));
        },
        20s))
        << output();
    ASSERT_EQ(boiler.Command("set coil 0 1"), "");
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::regex_search(output(),
                                     std::regex(line + "BoilerHouse.Pump   true" + stamp));
        },
        20s))
        << output();
    // Unchanged values are not repeated: each value showed once.
    EXPECT_EQ(Count(output(), "BoilerHouse.Level  10 "), 1) << output();
    EXPECT_EQ(Count(output(), "BoilerHouse.Level  20 "), 1) << output();
    EXPECT_LT(output().find("BoilerHouse.Level  10 "), output().find("BoilerHouse.Level  20 "));

    ASSERT_TRUE(subscriber.Signal(SIGINT));
    const int status = subscriber.Wait(15s);
    ASSERT_TRUE(WIFEXITED(status)) << output();
    EXPECT_EQ(WEXITSTATUS(status), 0) << output();
    std::smatch stopped;
    const std::string text = output();
    ASSERT_TRUE(
        std::regex_search(text, stopped,
                          std::regex("stopped on SIGINT after ([0-9]+) data change\\(s\\); group "
                                     "removed, server released\n")))
        << text;
    EXPECT_GE(std::stoi(stopped[1]), 3) << text;  // 10, then 20, then the pump at least
    EXPECT_TRUE(WaitUntil([&] { return NoClientLeft(); }, 10s)) << Trace();
    // Taken apart by the client itself, not by the server after the connection went.
    EXPECT_NE(Trace().find("Called IConnectionPoint<IOPCDataCallback>::Unadvise, return code: 0"),
              std::string::npos)
        << Trace();
    EXPECT_NE(Trace().find("Called IOPCServer::RemoveGroup, return code: 0"), std::string::npos)
        << Trace();
    EXPECT_NE(Trace().find("OPC DA group object destroyed"), std::string::npos) << Trace();
    EXPECT_TRUE(server.Running());
}

TEST_F(ClientProcessTest, SubscribeEndsByItselfAfterTheGivenCountAndOnSigterm) {
    ClientRun counted =
        Client({"subscribe", "--rate", "50", "--count", "1", "TankFarm.Tank1.Overfill"});
    EXPECT_EQ(counted.status, 0) << counted.output;
    EXPECT_EQ(Count(counted.output, "TankFarm.Tank1.Overfill  false "), 1) << counted.output;
    EXPECT_NE(counted.output.find("stopped after 1 data change(s)"), std::string::npos)
        << counted.output;

    ChildProcess subscriber;
    ASSERT_TRUE(subscriber.Start(VELKOPC_CLIENT_BINARY,
                                 {"--address", bus.Address(), "subscribe", "BoilerHouse.Door"}, {},
                                 dir.File("sigterm.out")));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ReadFile(dir.File("sigterm.out")).find("BoilerHouse.Door") != std::string::npos;
        },
        20s));
    // A second signal close behind the first (a script passing on Ctrl+C, say) changes nothing.
    ASSERT_TRUE(subscriber.Signal(SIGTERM));
    ASSERT_TRUE(subscriber.Signal(SIGINT));
    const int status = subscriber.Wait(15s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // Either may be taken first; the other must not end the clean-up or the process.
    EXPECT_TRUE(std::regex_search(
        ReadFile(dir.File("sigterm.out")),
        std::regex("stopped on SIG(TERM|INT) after [0-9]+ data change\\(s\\); group removed")))
        << ReadFile(dir.File("sigterm.out"));
    EXPECT_TRUE(WaitUntil([&] { return NoClientLeft(); }, 10s)) << Trace();
}

TEST_F(ClientProcessTest, SubscriberLearnsThatTheServerStopped) {
    ChildProcess subscriber;
    ASSERT_TRUE(subscriber.Start(VELKOPC_CLIENT_BINARY,
                                 {"--address", bus.Address(), "subscribe", "BoilerHouse.Door"}, {},
                                 dir.File("stopped.out")));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return ReadFile(dir.File("stopped.out")).find("BoilerHouse.Door") != std::string::npos;
        },
        20s));
    server.Signal(SIGTERM);
    EXPECT_NE(server.Wait(20s), -1);
    const int status = subscriber.Wait(15s);
    ASSERT_TRUE(WIFEXITED(status)) << ReadFile(dir.File("stopped.out"));
    EXPECT_EQ(WEXITSTATUS(status), 3) << ReadFile(dir.File("stopped.out"));
    const std::string output = ReadFile(dir.File("stopped.out"));
    EXPECT_TRUE(output.find("velkopc-client: the server VELK.ModbusOPCServer has left the bus") !=
                    std::string::npos ||
                output.find("velkopc-client: the server asks its clients to disconnect") !=
                    std::string::npos)
        << output;
}

TEST_F(ClientProcessTest, DevicesShowChannelsAndCountersOfEveryDevice) {
    ASSERT_EQ(Client({"read", "--device", "BoilerHouse.Level", "TankFarm.Tank1.Flow"}).status, 0);
    const ClientRun run = Client({"devices"});
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find(
                  "BoilerHouse\n  active channel     primary\n  primary channel    127.0.0.1\n"
                  "  secondary channel  127.0.0.1\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(
        run.output.find("TankFarm\n  active channel     primary\n  primary channel    127.0.0.2\n"),
        std::string::npos)
        << run.output;
    // The counters never go back while the server runs; the device reads above were sent
    // and answered.
    std::smatch sent;
    ASSERT_TRUE(std::regex_search(run.output, sent,
                                  std::regex("BoilerHouse\n(.*\n)*?  Sent messages: +([0-9]+) ")))
        << run.output;
    EXPECT_GT(std::stol(sent[2]), 0) << run.output;
    std::smatch received;
    ASSERT_TRUE(
        std::regex_search(run.output, received, std::regex("  Received messages: +([0-9]+) ")))
        << run.output;
    EXPECT_GT(std::stol(received[1]), 0) << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("  Negative ACKs: +0\n"))) << run.output;
}

TEST_F(ClientBusTest, WithoutAServerTheClientSaysSoAndFails) {
    const ClientRun run = Client({"status"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.output,
              "velkopc-client: the server VELK.ModbusOPCServer is not running on the bus at " +
                  bus.Address() + "\n");
    const ClientRun read = Client({"read", "BoilerHouse.Level"});
    EXPECT_EQ(read.status, 3);

    const ClientRun noBus = Client({"status"}, "unix:path=" + dir.File("no-such-socket"));
    EXPECT_EQ(noBus.status, 3);
    EXPECT_NE(noBus.output.find("velkopc-client: cannot connect to the bus at unix:path="),
              std::string::npos)
        << noBus.output;
}

TEST_F(ClientBusTest, WrongCommandLinesAreUsageErrors) {
    ClientRun run = Client({"read"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.output, "velkopc-client: read: too few arguments; see velkopc-client --help\n");
    run = Client({"frobnicate"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.output,
              "velkopc-client: unknown command frobnicate; see velkopc-client --help\n");
    run = Client({"subscribe", "--rate", "soon", "A.B"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("--rate needs a whole number"), std::string::npos) << run.output;
    run = Client({"--help"});
    EXPECT_EQ(run.status, 0);
    for (const char* command :
         {"status", "browse [--flat] [BRANCH]", "properties ITEM", "read [--device] ITEM...",
          "write ITEM VALUE", "subscribe [--rate MS] [--count N] ITEM...", "devices", "--system",
          "--address ADDR"}) {
        EXPECT_NE(run.output.find(command), std::string::npos) << command;
    }
}

}  // namespace
}  // namespace velk
