// The server as a Sparkplug B edge node, end to end: velkopc on a private bus serving the demo
// plant (its controllers played by velkopc-plcsim), publishing as Plant1/Edge1 into a
// mosquitto of the test's own; every message is read back by an independent consumer (the
// Eclipse reference decoder, tests/node/sparkplug_watch.js), which prints one line per
// message with the metrics' names taken from the births.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "platform/text.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/mosquitto_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace velk {
namespace {

using namespace velk::testing;
using namespace std::chrono_literals;

constexpr const char* kNode = "spBv1.0/Plant1/";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int SeqOf(const std::string& line) {
    std::smatch m;
    static const std::regex seq(" seq=([0-9]+) ");
    return std::regex_search(line, m, seq) ? std::stoi(m[1]) : -1;
}

std::string BdSeqOf(const std::string& line) {
    std::smatch m;
    static const std::regex bdSeq(R"( bdSeq:UInt64=([0-9]+) )");
    return std::regex_search(line, m, bdSeq) ? m[1].str() : "";
}

class SparkplugProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(VELK_SPARKPLUG_NODE_DIR "/node_modules/sparkplug-payload", R_OK) != 0) {
            GTEST_SKIP() << "the decoder is not installed (scripts/setup.sh runs npm ci)";
        }
        std::vector<std::string> brokerConfig;
        serverUrl_ = PrepareBroker(brokerConfig);
        ASSERT_TRUE(broker.Start(brokerConfig)) << "mosquitto";
        if (serverUrl_.empty()) serverUrl_ = broker.TcpUrl();
        ASSERT_TRUE(bus.Start()) << bus.Problem();
        std::string error;
        ASSERT_TRUE(boiler.Start({"--tcp", "127.0.0.1:0", "--unit", "1"}, error)) << error;
        ASSERT_TRUE(tanks.Start({"--tcp", "127.0.0.2:0", "--unit", "2"}, error)) << error;
        ASSERT_TRUE(watcher.Start("/usr/bin/node",
                                  {VELK_SPARKPLUG_NODE_DIR "/sparkplug_watch.js", broker.TcpUrl()},
                                  {}, dir.File("watch.out")));
        ASSERT_TRUE(
            WaitUntil([&] { return Watched().find("subscribed") != std::string::npos; }, 20s))
            << ReadFile(dir.File("watch.out"));
        ServerStoreText store;
        store.traceFile = dir.File("trace.txt");
        store.tcpPorts = {{"127.0.0.1", boiler.TcpPort(1)}, {"127.0.0.2", tanks.TcpPort(1)}};
        store.extra =
            "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Sparkplug]\r\n"
            "\"Enabled\"=dword:00000001\r\n\"BrokerUrl\"=\"" +
            serverUrl_ + "\"\r\n" + ServerBrokerSettings() +
            "\"GroupId\"=\"Plant1\"\r\n\"EdgeNodeId\"=\"Edge1\"\r\n"
            "\"PublishPeriod\"=dword:000001f4\r\n"
            "\"StoreDirectory\"=\"" +
            dir.File("store") + "\"\r\n\r\n";
        ASSERT_TRUE(store.WriteTo(dir.File("settings.reg")));
        std::ofstream(dir.File("plant.vlk"), std::ios::binary) << ReadFile(VELK_DEMO_PLANT);
        StartServer();
    }
    void TearDown() override {
        if (server.Running()) {
            server.Signal(SIGTERM);
            server.Wait(15s);
        }
        watcher.Signal(SIGTERM);
        watcher.Wait(5s);
    }
    // Extra broker configuration; the URL the server is to use, "" for the plain listener.
    virtual std::string PrepareBroker(std::vector<std::string>&) { return {}; }
    // Further values of the Sparkplug key, in registry-export syntax.
    virtual std::string ServerBrokerSettings() { return {}; }
    void StartServer() {
        const std::vector<std::string> environment = {
            "DBUS_SESSION_BUS_ADDRESS=" + bus.Address(),
            "VELKOPC_SETTINGS=" + dir.File("settings.reg"),
            "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
            "VELKOPC_INSTANCE_NAME=velk-sparkplug-test-" + std::to_string(::getpid()),
        };
        ASSERT_TRUE(server.Start(VELKOPC_BINARY, {dir.File("plant.vlk")}, environment,
                                 dir.File("server.out." + std::to_string(++starts_))));
    }

    std::string Watched() const { return ReadFile(dir.File("watch.out")); }
    std::string Trace() const { return Utf16LeBytesToUtf8(ReadFile(dir.File("trace.txt"))); }
    // The watched lines of a message type (and device), in arrival order.
    std::vector<std::string> Messages(const std::string& type, const std::string& device = {}) {
        std::string topic = std::string(kNode) + type + "/Edge1";
        if (!device.empty()) topic += "/" + device;
        std::vector<std::string> found;
        for (const auto& line : Lines(Watched())) {
            if (line.rfind(topic + " ", 0) == 0) found.push_back(line);
        }
        return found;
    }
    // Waits for a message of the type whose line holds every part; its line or "".
    std::string WaitFor(const std::string& type, const std::string& device,
                        const std::vector<std::string>& parts, std::chrono::seconds timeout = 20s) {
        std::string hit;
        WaitUntil(
            [&] {
                for (const auto& line : Messages(type, device)) {
                    bool all = true;
                    for (const auto& part : parts)
                        all = all && line.find(part) != std::string::npos;
                    if (all) hit = line;
                }
                return !hit.empty();
            },
            timeout);
        return hit;
    }
    void Send(const std::string& topic, const std::string& metrics) {
        ASSERT_EQ(RunProgram("/usr/bin/node",
                             {VELK_SPARKPLUG_NODE_DIR "/sparkplug_watch.js", broker.TcpUrl(),
                              "--send", topic, metrics},
                             {}, dir.File("send.out"), 20s),
                  0)
            << ReadFile(dir.File("send.out"));
    }

    TempDirectory dir;
    MosquittoProcess broker;
    PrivateBus bus;
    velk::test::PlcsimProcess boiler;  // BoilerHouse, unit 1 at 127.0.0.1
    velk::test::PlcsimProcess tanks;   // TankFarm, unit 2 at 127.0.0.2
    ChildProcess watcher;
    ChildProcess server;

  private:
    int starts_ = 0;
    std::string serverUrl_;
};

// The server reaches the broker over TLS, on a second listener with a broker certificate of
// a CA made here; the watcher stays on the plain one.
class SparkplugTlsProcessTest : public SparkplugProcessTest {
  protected:
    std::string PrepareBroker(std::vector<std::string>& config) override {
        if (!MakeTestCertificates(certificates.Path())) return {};
        tlsPort = FreeLoopbackPort();
        config = {"listener " + std::to_string(tlsPort) + " 127.0.0.1",
                  "cafile " + certificates.File("testca.crt"),
                  "certfile " + certificates.File("server.crt"),
                  "keyfile " + certificates.File("server.key")};
        return "ssl://localhost:" + std::to_string(tlsPort);
    }
    std::string ServerBrokerSettings() override {
        return "\"CaFile\"=\"" + certificates.File("testca.crt") + "\"\r\n";
    }
    TempDirectory certificates;
    int tlsPort = 0;
};

TEST_F(SparkplugProcessTest, BirthsDataByExceptionInSequenceRebirthAndNoWritesByDefault) {
    const std::string nbirth =
        WaitFor("NBIRTH", "", {" seq=0 ", "Node Control/Rebirth:Boolean=false"});
    ASSERT_FALSE(nbirth.empty()) << Watched() << Trace();
    EXPECT_FALSE(BdSeqOf(nbirth).empty()) << nbirth;
    // Typed metrics: a scaled INT is a Double in engineering units, a BOOL a Boolean.
    const std::string boilerBirth =
        WaitFor("DBIRTH", "BoilerHouse", {"Level:Double=", "Pump:Boolean=", "q=192"});
    EXPECT_FALSE(boilerBirth.empty()) << Watched();
    EXPECT_FALSE(WaitFor("DBIRTH", "TankFarm", {"Tank1/Flow:Double="}).empty()) << Watched();

    // A change at the slave arrives as data by exception, under the born name.
    ASSERT_EQ(boiler.Command("set holding 0 420"), "");
    EXPECT_FALSE(WaitFor("DDATA", "BoilerHouse", {"Level:Double=42 "}).empty()) << Watched();

    // NCMD rebirth: a second NBIRTH, seq 0 again.
    Send(std::string(kNode) + "NCMD/Edge1",
         R"([{"name":"Node Control/Rebirth","type":"Boolean","value":true}])");
    ASSERT_TRUE(WaitUntil([&] { return Messages("NBIRTH").size() == 2; }, 20s)) << Watched();
    EXPECT_EQ(SeqOf(Messages("NBIRTH")[1]), 0);

    // seq counts every message of the node from each NBIRTH, round at 256.
    int expected = -1;
    for (const auto& line : Lines(Watched())) {
        if (line.rfind(kNode, 0) != 0 || line.find("/NDEATH/") != std::string::npos ||
            line.find("CMD/") != std::string::npos) {
            continue;  // the will, and the test's own commands
        }
        if (line.find("/NBIRTH/") != std::string::npos) expected = 0;
        EXPECT_EQ(SeqOf(line), expected) << line;
        expected = (expected + 1) % 256;
    }

    // DCMD is refused while AllowWrites is 0: traced, and the register keeps its value.
    Send(std::string(kNode) + "DCMD/Edge1/BoilerHouse",
         R"([{"name":"Level","type":"Double","value":10.0}])");
    EXPECT_TRUE(WaitUntil(
        [&] {
            return Trace().find("DCMD for BoilerHouse refused: writes are not allowed") !=
                   std::string::npos;
        },
        20s))
        << Trace();
    EXPECT_EQ(boiler.Command("get holding 0").find("420"), 0u);

    // An orderly stop ends with the NDEATH of the session's bdSeq.
    server.Signal(SIGTERM);
    server.Wait(15s);
    const std::string ndeath = WaitFor("NDEATH", "", {" bdSeq:UInt64="});
    EXPECT_EQ(BdSeqOf(ndeath), BdSeqOf(nbirth)) << Watched();
}

TEST_F(SparkplugTlsProcessTest, TheNodeIsBornOverTlsWithTheTestCa) {
    ASSERT_NE(tlsPort, 0) << "openssl";
    EXPECT_FALSE(WaitFor("NBIRTH", "", {" seq=0 "}).empty()) << Watched() << Trace();
    EXPECT_NE(Trace().find("connected to the broker ssl://localhost:"), std::string::npos)
        << Trace();
}

TEST_F(SparkplugProcessTest, ASilentSlaveDiesAndAKilledServerLeavesItsWillWithTheBirthsBdSeq) {
    const std::string nbirth = WaitFor("NBIRTH", "", {" seq=0 "});
    ASSERT_FALSE(nbirth.empty()) << Watched() << Trace();
    ASSERT_FALSE(WaitFor("DBIRTH", "TankFarm", {"Tank1/Flow"}).empty()) << Watched();
    tanks.Stop();
    EXPECT_FALSE(WaitFor("DDEATH", "TankFarm", {}, 60s).empty()) << Watched() << Trace();

    server.Signal(SIGKILL);
    server.Wait(10s);
    const std::string ndeath = WaitFor("NDEATH", "", {" bdSeq:UInt64="});
    ASSERT_FALSE(ndeath.empty()) << Watched();
    EXPECT_EQ(BdSeqOf(ndeath), BdSeqOf(nbirth));
}

TEST_F(SparkplugProcessTest, ChangesDuringABrokerOutageAreReplayedAsHistoricalData) {
    ASSERT_FALSE(WaitFor("DBIRTH", "BoilerHouse", {"Level:Double="}).empty())
        << Watched() << Trace();
    broker.Stop();
    ASSERT_TRUE(WaitUntil(
        [&] { return Trace().find("connection to the broker") != std::string::npos; }, 20s))
        << Trace();
    ASSERT_EQ(boiler.Command("set holding 0 310"), "");
    sleep(2);
    ASSERT_EQ(boiler.Command("set holding 0 320"), "");
    sleep(2);
    ASSERT_TRUE(broker.Start({}, broker.Port()));
    // Both changes come, in order, as historical data after the new births.
    EXPECT_FALSE(WaitFor("DDATA", "BoilerHouse", {"Level:Double=32 H"}, 60s).empty())
        << Watched() << Trace();
    const auto data = Messages("DDATA", "BoilerHouse");
    std::size_t first = data.size(), second = data.size();
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (data[i].find("Level:Double=31 H") != std::string::npos) first = i;
        if (data[i].find("Level:Double=32 H") != std::string::npos) second = i;
    }
    EXPECT_LT(first, second) << Watched();
}

}  // namespace
}  // namespace velk
