// The server as an OPC UA server, end to end: velkopc on a private bus serving a plant of a
// controller simulator (Plc1), a libmodbus slave (Slave) and a device where nothing listens
// (Dead), read by an independent client (node-opcua, tests/node/ua_client.js) on a None
// channel with an anonymous session, as the test's settings allow on loopback.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "tests/modbus/scan_libmodbus_slave.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace velk {
namespace {

using namespace velk::testing;
using namespace std::chrono_literals;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The client's output lines of a step that hold every part.
std::vector<std::string> Matching(const std::string& output, const std::string& op,
                                  const std::vector<std::string>& parts = {}) {
    std::vector<std::string> found;
    for (const auto& line : Lines(output)) {
        if (line.find("{\"op\":\"" + op + "\"") != 0) continue;
        bool all = true;
        for (const auto& part : parts) all = all && line.find(part) != std::string::npos;
        if (all) found.push_back(line);
    }
    return found;
}

class UaProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(VELK_NODE_DIR "/node_modules/node-opcua-client", R_OK) != 0) {
            GTEST_SKIP() << "the UA client is not installed (scripts/setup.sh runs npm ci)";
        }
        std::string error;
        ASSERT_TRUE(
            sim.Start({"--tcp", "127.0.0.2:0", "--holding", "0=123", "--input", "0=500"}, error))
            << error;
        ASSERT_TRUE(slave.Start());
        slave.Mapping()->tab_registers[0] = 9;
        ASSERT_EQ(RunProgram("/usr/bin/python3",
                             {VELK_DA_BUS_TEST_DIR "/make_da_config.py", "ua", dir.File("ua.vlk")},
                             {}, dir.File("config.out")),
                  0)
            << ReadFile(dir.File("config.out"));
        port = FreeLoopbackPort();
        endpoint = "opc.tcp://127.0.0.1:" + std::to_string(port);
        ServerStoreText store;
        store.traceFile = dir.File("trace.txt");
        store.tcpPorts = {{"127.0.0.2", sim.TcpPort(1)}, {"127.0.0.1", slave.Port()}};
        store.extra =
            "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\OpcUa]\r\n"
            "\"Enabled\"=dword:00000001\r\n\"Port\"=dword:" +
            Hex(port) +
            "\r\n\"BindAddresses\"=\"127.0.0.1\"\r\n"
            "\"AllowAnonymous\"=dword:00000001\r\n\"AllowSecurityNone\"=dword:00000001\r\n"
            "\"PkiDirectory\"=\"" +
            dir.File("pki") + "\"\r\n\r\n";
        ASSERT_TRUE(store.WriteTo(dir.File("settings.reg")));
        ASSERT_TRUE(bus.Start()) << bus.Problem();
        const std::vector<std::string> environment = {
            "DBUS_SESSION_BUS_ADDRESS=" + bus.Address(),
            "VELKOPC_SETTINGS=" + dir.File("settings.reg"),
            "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
            "VELKOPC_INSTANCE_NAME=velk-ua-test-" + std::to_string(::getpid()),
        };
        ASSERT_TRUE(server.Start(VELKOPC_BINARY, {dir.File("ua.vlk")}, environment,
                                 dir.File("server.out")));
        const std::string listening = "listening on 127.0.0.1:" + std::to_string(port);
        ASSERT_TRUE(WaitUntil([&] { return Trace().find(listening) != std::string::npos; }, 30s))
            << Trace();
    }
    void TearDown() override {
        if (server.Running()) {
            server.Signal(SIGTERM);
            server.Wait(15s);
        }
    }
    static std::string Hex(int value) {
        char text[9];
        std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
        return text;
    }
    std::string Trace() const { return Utf16LeBytesToUtf8(ReadFile(dir.File("trace.txt"))); }

    // Starts the client with the steps (JSON objects without the brackets); its output file.
    bool StartClient(ChildProcess& client, const std::string& name, const std::string& steps) {
        std::ofstream(dir.File(name + ".json")) << "[" << steps << "]";
        return client.Start("/usr/bin/node",
                            {VELK_NODE_DIR "/ua_client.js", endpoint, dir.File(name + ".json"),
                             dir.File(name + ".pki")},
                            {}, dir.File(name + ".out"));
    }
    std::string Output(const std::string& name) const { return ReadFile(dir.File(name + ".out")); }
    bool WaitForLine(const std::string& name, const std::string& op,
                     const std::vector<std::string>& parts, std::chrono::seconds timeout = 30s) {
        return WaitUntil([&] { return !Matching(Output(name), op, parts).empty(); }, timeout);
    }
    // Lets a client waiting at a waitFile step go on.
    void Release(const std::string& file) { std::ofstream(dir.File(file)) << "go"; }

    TempDirectory dir;
    velk::test::PlcsimProcess sim;
    LibmodbusSlave slave;
    PrivateBus bus;
    ChildProcess server;
    int port = 0;
    std::string endpoint;
};

TEST_F(UaProcessTest, AGenericClientBrowsesReadsWritesAndSubscribes) {
    ChildProcess client;
    ASSERT_TRUE(StartClient(client, "full",
                            R"({"op":"session","name":"a"},
        {"op":"path","path":"/1:Plc1/1:Level"},
        {"op":"path","path":"/1:Plc1/1:Area/1:Flow"},
        {"op":"path","path":"/1:Plc1/1:NoSuchTag"},
        {"op":"attrs","node":"ns=1;s=Plc1.Level"},
        {"op":"attrs","node":"ns=1;s=Plc1.Pump"},
        {"op":"attrs","node":"ns=1;s=Plc1.Temperature"},
        {"op":"attrs","node":"ns=1;s=Plc1.Area.Flow"},
        {"op":"attrs","node":"ns=1;s=Plc1.Area."},
        {"op":"properties","node":"ns=1;s=Plc1.Temperature"},
        {"op":"read","node":"ns=1;s=Slave.Value","maxAge":0},
        {"op":"read","node":"ns=1;s=Plc1.Temperature","maxAge":0},
        {"op":"read","node":"ns=1;s=Dead.Level","maxAge":0},
        {"op":"write","node":"ns=1;s=Slave.Value","type":"Int16","value":-5},
        {"op":"write","node":"ns=1;s=Plc1.Area.Flow","type":"Int16","value":7},
        {"op":"writeAttribute","node":"ns=1;s=Plc1.Level","attribute":"DisplayName",
         "type":"LocalizedText","value":{"text":"x"}},
        {"op":"monitor","name":"temperature","node":"ns=1;s=Plc1.Temperature","interval":250,
         "percent":5},
        {"op":"waitChanges","name":"temperature","count":1},
        {"op":"waitFile","path":")" +
                                dir.File("small-change") +
                                R"("},
        {"op":"sleep","ms":1500},
        {"op":"waitFile","path":")" +
                                dir.File("large-change") +
                                R"("},
        {"op":"waitChanges","name":"temperature","count":2},
        {"op":"close","name":"a"})"));
    ASSERT_TRUE(WaitForLine("full", "waitChanges", {"\"found\":true"}, 60s))
        << Output("full") << Trace();

    // The first change of the scaled temperature is under the deadband (2 % of 0..100), the
    // second above it: only the second is notified.
    ASSERT_EQ(sim.Command("set input 0 520"), "");
    Release("small-change");
    ASSERT_TRUE(WaitForLine("full", "sleep", {}));
    ASSERT_EQ(sim.Command("set input 0 600"), "");
    Release("large-change");
    ASSERT_EQ(client.Wait(60s), 0) << Output("full") << Trace();
    const std::string out = Output("full");

    EXPECT_EQ(Matching(out, "path", {"\"node\":\"ns=1;s=Plc1.Level\""}).size(), 1u) << out;
    EXPECT_EQ(Matching(out, "path", {"\"node\":\"ns=1;s=Plc1.Area.Flow\""}).size(), 1u) << out;
    EXPECT_EQ(Matching(out, "path", {"NoSuchTag", "BadNoMatch"}).size(), 1u) << out;

    // Types as DA serves them, access levels from the rights, the description, the types.
    struct Expected {
        const char* node;
        std::vector<std::string> parts;
    };
    for (const Expected& e : std::vector<Expected>{
             {"Plc1.Level",
              {"\"DataType\":\"ns=0;i=4\"", "\"AccessLevel\":3", "\"UserAccessLevel\":3",
               "\"Description\":\"Tank level\"", "\"BrowseName\":\"Level\"",
               "\"typeDefinition\":\"ns=0;i=2365\""}},
             {"Plc1.Pump", {"\"DataType\":\"ns=0;i=1\"", "\"AccessLevel\":3"}},
             {"Plc1.Temperature",
              {"\"DataType\":\"ns=0;i=11\"", "\"AccessLevel\":1",
               "\"typeDefinition\":\"ns=0;i=2368\""}},
             {"Plc1.Area.Flow", {"\"DataType\":\"ns=0;i=4\"", "\"AccessLevel\":1"}},
             {"Plc1.Area.", {"\"NodeClass\":\"Object\"", "\"typeDefinition\":\"ns=0;i=61\""}},
         }) {
        auto parts = e.parts;
        parts.push_back(std::string("\"node\":\"ns=1;s=") + e.node + "\"");
        EXPECT_EQ(Matching(out, "attrs", parts).size(), 1u) << e.node << "\n" << out;
    }
    // The scaled tag's ranges and unit.
    EXPECT_EQ(Matching(out, "properties",
                       {"\"EURange\":{\"low\":0,\"high\":100}",
                        "\"InstrumentRange\":{\"low\":0,\"high\":1000}", "degC"})
                  .size(),
              1u)
        << out;

    // MaxAge 0 reads the controllers; the dead one's tag is Bad_NoCommunication.
    EXPECT_EQ(Matching(out, "read", {"Slave.Value", "\"status\":\"Good\"", "\"value\":9"}).size(),
              1u)
        << out;
    EXPECT_EQ(
        Matching(out, "read", {"Plc1.Temperature", "\"value\":50", "\"type\":\"Double\""}).size(),
        1u)
        << out;
    EXPECT_EQ(Matching(out, "read", {"Dead.Level", "\"status\":\"BadNoCommunication\""}).size(), 1u)
        << out;

    // The write reached the slave; the read-only tag and another attribute were refused.
    EXPECT_EQ(Matching(out, "write", {"Slave.Value", "\"status\":\"Good\""}).size(), 1u) << out;
    EXPECT_EQ(slave.Mapping()->tab_registers[0], static_cast<std::uint16_t>(-5));
    EXPECT_EQ(Matching(out, "write", {"Plc1.Area.Flow", "\"status\":\"BadNotWritable\""}).size(),
              1u)
        << out;
    EXPECT_EQ(Matching(out, "writeAttribute", {"\"status\":\"BadNotWritable\""}).size(), 1u) << out;

    const auto changes = Matching(out, "change", {"\"name\":\"temperature\""});
    ASSERT_EQ(changes.size(), 2u) << out;
    EXPECT_NE(changes[0].find("\"value\":50"), std::string::npos) << changes[0];
    EXPECT_NE(changes[1].find("\"value\":60"), std::string::npos) << changes[1];

    // Sessions and subscriptions are traced, each read and publish is not.
    const std::string trace = Trace();
    EXPECT_NE(trace.find("session"), std::string::npos) << trace;
    EXPECT_NE(trace.find("subscription"), std::string::npos) << trace;
}

TEST_F(UaProcessTest, TwoSessionsWatchingOneTagShareTheRequestsOnTheWire) {
    const std::string steps = R"({"op":"session","name":"s"},
        {"op":"monitor","name":"v","node":"ns=1;s=Slave.Value","interval":250},
        {"op":"waitChanges","name":"v","count":1},
        {"op":"waitFile","path":")" +
                              dir.File("end") + R"("})";
    auto requestsOver = [&](std::chrono::seconds span) {
        const std::size_t before = slave.Requests().size();
        sleep(static_cast<unsigned>(span.count()));
        return slave.Requests().size() - before;
    };
    ChildProcess first, second;
    ASSERT_TRUE(StartClient(first, "first", steps));
    ASSERT_TRUE(WaitForLine("first", "waitChanges", {"\"found\":true"}, 60s)) << Output("first");
    const std::size_t one = requestsOver(4s);
    ASSERT_TRUE(StartClient(second, "second", steps));
    ASSERT_TRUE(WaitForLine("second", "waitChanges", {"\"found\":true"}, 60s)) << Output("second");
    const std::size_t two = requestsOver(4s);
    Release("end");
    EXPECT_EQ(first.Wait(30s), 0) << Output("first");
    EXPECT_EQ(second.Wait(30s), 0) << Output("second");
    // One request per period whatever the number of sessions (the scan's own reads are the
    // same in both spans).
    EXPECT_GT(one, 0u);
    EXPECT_LT(two, one + one / 2 + 2) << "one session: " << one << ", two: " << two;
}

}  // namespace
}  // namespace velk
