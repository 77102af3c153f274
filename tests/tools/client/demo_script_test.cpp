// scripts/demo.sh as a newcomer runs it, without its build step: with no session bus (it
// starts its own) and standard input closed, it must show live values of the demo plant
// and stop everything it started, by its time limit or on an interrupt.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"

namespace velk {
namespace {

using namespace velk::testing;
using namespace std::chrono_literals;

class DemoScriptTest : public ::testing::Test {
  protected:
    // Without a session bus address (as under ssh or CI) the demo brings its own bus.
    std::vector<std::string> Environment(bool timeLimit, const std::string& sessionBus = {}) const {
        std::vector<std::string> environment = {
            "DBUS_SESSION_BUS_ADDRESS=" + sessionBus,
            "VELKOPC_DEMO_NO_SETUP=1",
            "VELKOPC_DEMO_BIN=" VELKOPC_BIN_DIR,
            "VELKOPC_DEMO_DIR=" + dir.File("demo"),
        };
        if (timeLimit) environment.push_back("VELKOPC_DEMO_SECONDS=4");
        return environment;
    }
    std::string Output() const { return ReadFile(dir.File("demo.out")); }
    // Processes whose command line or environment names the demo's directory: the
    // simulators (their control sockets), the server (its settings stores) and the client.
    std::string Leftovers() const {
        std::string found;
        for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
            const std::string name = entry.path().filename();
            if (name.find_first_not_of("0123456789") != std::string::npos ||
                name == std::to_string(::getpid())) {
                continue;
            }
            std::string command = ReadFile(entry.path() / "cmdline");
            const std::string environment = ReadFile(entry.path() / "environ");
            std::replace(command.begin(), command.end(), '\0', ' ');
            if ((command + environment).find(dir.File("demo")) != std::string::npos) {
                found += name + ": " + command + "\n";
            }
        }
        return found;
    }
    // The private bus that the demo started is gone: nothing answers at its address.
    bool BusGone() const {
        std::smatch address;
        const std::string output = Output();
        if (!std::regex_search(output, address, std::regex("demo: private bus at (unix:\\S+)\n")))
            return false;
        const std::string probe = dir.File("probe.out");
        const int status = RunProgram(VELKOPC_BIN_DIR "/velkopc-client",
                                      {"--address", address[1], "status"}, {}, probe);
        return status == 3 &&
               ReadFile(probe).find("cannot connect to the bus at") != std::string::npos;
    }
    // The values printed per item, in order.
    std::map<std::string, std::vector<std::string>> LiveValues() const {
        std::map<std::string, std::vector<std::string>> values;
        const std::regex line(
            R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}  (\S+) +(\S+) +good  \d{4}-\d\d-\d\d .*$)");
        std::istringstream lines(Output());
        for (std::string text; std::getline(lines, text);) {
            std::smatch match;
            if (std::regex_match(text, match, line)) values[match[1]].push_back(match[2]);
        }
        return values;
    }

    TempDirectory dir;
};

TEST_F(DemoScriptTest, ShowsLiveValuesAndStopsEverythingAtItsTimeLimit) {
    const int status = RunProgram("/bin/bash", {VELK_DEMO_SCRIPT}, Environment(true),
                                  dir.File("demo.out"), std::chrono::seconds(90));
    EXPECT_EQ(status, 0) << Output();
    EXPECT_NE(
        Output().find("demo: no session bus; starting a private one\ndemo: private bus at unix:"),
        std::string::npos)
        << Output();
    EXPECT_NE(Output().find("subscribed to 7 item(s) at 500 ms"), std::string::npos) << Output();
    const auto values = LiveValues();
    std::set<std::string> items;
    for (const auto& [item, seen] : values) items.insert(item);
    EXPECT_EQ(items.size(), 7u) << Output();  // every tag of the plant showed a good value
    // The simulators run in demo mode: the level ramps, so it showed more than one value.
    ASSERT_TRUE(values.count("BoilerHouse.Level")) << Output();
    const auto& level = values.at("BoilerHouse.Level");
    EXPECT_GE(std::set<std::string>(level.begin(), level.end()).size(), 2u) << Output();
    EXPECT_NE(Output().find("stopped on SIGTERM after"), std::string::npos) << Output();
    EXPECT_NE(Output().find("Stopping the demo."), std::string::npos) << Output();
    EXPECT_NE(ReadFile(dir.File("demo/server.log")).find("Velk Modbus OPC Server stopped"),
              std::string::npos)
        << ReadFile(dir.File("demo/server.log"));
    EXPECT_EQ(Leftovers(), "");
    EXPECT_TRUE(BusGone()) << Output();
}

// A demo that a failed check leaves running is stopped through its own clean-up.
class RunningDemo : public ChildProcess {
  public:
    ~RunningDemo() {
        if (Running()) {
            Signal(SIGTERM);
            Wait(std::chrono::seconds(60));
        }
    }
};

TEST_F(DemoScriptTest, InterruptEndsTheClientFirstAndThenTheRest) {
    RunningDemo demo;
    ASSERT_TRUE(
        demo.Start("/bin/bash", {VELK_DEMO_SCRIPT}, Environment(false), dir.File("demo.out")));
    ASSERT_TRUE(WaitUntil([&] { return LiveValues().count("BoilerHouse.Level") > 0; }, 90s))
        << Output();
    // While it runs, the check below sees the simulators and the server.
    const std::string running = Leftovers();
    EXPECT_NE(running.find("velkopc-plcsim"), std::string::npos) << running;
    EXPECT_NE(running.find("bin/velkopc -EchoTrace"), std::string::npos) << running;
    ASSERT_TRUE(demo.Signal(SIGINT));
    // The demo stops the server and the simulators one after the other, each given up to
    // 15 s; a loaded machine may need a good part of that.
    const int status = demo.Wait(120s);
    ASSERT_TRUE(WIFEXITED(status)) << Output() << "\nserver log:\n"
                                   << ReadFile(dir.File("demo/server.log")) << "\nstill running:\n"
                                   << Leftovers();
    EXPECT_EQ(WEXITSTATUS(status), 0) << Output();
    // The client removed its group before the server went.
    EXPECT_NE(Output().find("group removed, server released"), std::string::npos) << Output();
    EXPECT_NE(ReadFile(dir.File("demo/server.log")).find("Velk Modbus OPC Server stopped"),
              std::string::npos);
    EXPECT_EQ(Leftovers(), "");
    EXPECT_TRUE(BusGone()) << Output();
}

TEST_F(DemoScriptTest, RunsOnTheSessionBusThatIsThere) {
    PrivateBus session;  // stands in for the user's session bus
    ASSERT_TRUE(session.Start()) << session.Problem();
    const int status =
        RunProgram("/bin/bash", {VELK_DEMO_SCRIPT}, Environment(true, session.Address()),
                   dir.File("demo.out"), std::chrono::seconds(90));
    EXPECT_EQ(status, 0) << Output();
    EXPECT_EQ(Output().find("private"), std::string::npos) << Output();
    EXPECT_EQ(LiveValues().size(), 7u) << Output();
    EXPECT_EQ(Leftovers(), "");
}

TEST_F(DemoScriptTest, TakesAPrivateBusWhenAServerRunsOnTheSessionBus) {
    PrivateBus session;
    ASSERT_TRUE(session.Start()) << session.Problem();
    // Another process holds the server's name there.
    ChildProcess holder;
    ASSERT_TRUE(holder.Start("/usr/bin/python3",
                             {"-c",
                              "import dbus, time\n"
                              "bus = dbus.SessionBus()\n"
                              "bus.request_name('VELK.ModbusOPCServer')\n"
                              "print('holding', flush=True)\n"
                              "time.sleep(120)\n"},
                             {"DBUS_SESSION_BUS_ADDRESS=" + session.Address()},
                             dir.File("holder.out")));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(dir.File("holder.out")).find("holding") != std::string::npos; }, 20s))
        << ReadFile(dir.File("holder.out"));
    const int status =
        RunProgram("/bin/bash", {VELK_DEMO_SCRIPT}, Environment(true, session.Address()),
                   dir.File("demo.out"), std::chrono::seconds(90));
    EXPECT_EQ(status, 0) << Output();
    EXPECT_NE(Output().find(
                  "demo: a server runs on the session bus already; the demo takes a private bus\n"),
              std::string::npos)
        << Output();
    EXPECT_EQ(LiveValues().size(), 7u) << Output();
    EXPECT_TRUE(BusGone()) << Output();
    EXPECT_TRUE(holder.Running());
    holder.Signal(SIGTERM);
    holder.Wait(10s);
}

}  // namespace
}  // namespace velk
