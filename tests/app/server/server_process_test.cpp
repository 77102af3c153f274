// The server program as a user starts it: settings from a store named by the environment,
// the trace file in its exact encoding, one instance only, and an orderly end on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/text.h"
#include "tests/support/child_process.h"
#include "version.h"

namespace velk {
namespace {

using namespace velk::testing;
using namespace std::chrono_literals;

class ServerProcessTest : public ::testing::Test {
  protected:
    ServerProcessTest() {
        WriteStore(
            "Windows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\r\n"
            "\"FileName\"=\"" +
            TracePath() + "\"\r\n");
    }
    void WriteStore(const std::string& text) {
        FILE* f = std::fopen(dir.File("settings.reg").c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    std::vector<std::string> Environment() const {
        return {"VELKOPC_SETTINGS=" + dir.File("settings.reg"),
                "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
                "VELKOPC_DBUS_SERVICES_DIR=" + dir.File("services"),
                "VELKOPC_INSTANCE_NAME=" + InstanceName()};
    }
    static std::string InstanceName() {
        return "velk-test-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }
    std::size_t StartCount() const {
        const std::string trace = TraceText();
        std::size_t count = 0;
        for (auto at = trace.find("Server started"); at != std::string::npos;
             at = trace.find("Server started", at + 1)) {
            ++count;
        }
        return count;
    }
    std::string TracePath() const { return dir.File("trace.txt"); }
    std::string TraceText() const { return Utf16LeBytesToUtf8(ReadFile(TracePath())); }
    bool Start(ChildProcess& server, const std::string& output,
               std::vector<std::string> arguments = {"-Embedding"}) {
        if (!server.Start(VELKOPC_BINARY, arguments, Environment(), dir.File(output))) return false;
        return WaitUntil([&] { return TraceText().find("started") != std::string::npos; }, 20s);
    }

    TempDirectory dir;
};

TEST_F(ServerProcessTest, TraceLinesAreUtf16WithLocalStampsAndTheServerStopsOnSigterm) {
    ChildProcess server;
    ASSERT_TRUE(Start(server, "server.out"));
    const std::string bytes = ReadFile(TracePath());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_NE(bytes.substr(0, 2), std::string("\xFF\xFE"));  // no byte-order mark
    EXPECT_EQ(bytes[1], '\0');                               // UTF-16LE of an ASCII digit
    const std::string stamp = R"(\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3}> )";
    const std::regex started(stamp + "Velk Modbus OPC Server version " VELK_VERSION_TEXT "\r\n" +
                             stamp + "Velk Modbus OPC Server started\r\n(" + stamp +
                             "OPC UA: .*\r\n)*");
    EXPECT_TRUE(std::regex_match(TraceText(), started)) << TraceText();

    ASSERT_TRUE(server.Signal(SIGTERM));
    const int status = server.Wait(15s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::regex both(
        R"([\s\S]*\r\n\d{4}\.\d{2}\.\d{2} \d{2}:\d{2}:\d{2}\.\d{3}> Velk Modbus OPC Server stopped\r\n)");
    EXPECT_TRUE(std::regex_match(TraceText(), both)) << TraceText();
}

// The switches of the manual page's SWITCHES section, as "-Name" each.
std::vector<std::string> ManualPageSwitches() {
    std::vector<std::string> switches;
    std::istringstream page(ReadFile(VELK_MAN_PAGE));
    bool inSection = false;
    for (std::string line; std::getline(page, line);) {
        if (line.starts_with(".SH")) inSection = line == ".SH SWITCHES";
        if (!inSection || !(line.starts_with(".B ") || line.starts_with(".BR "))) continue;
        static const std::regex name(R"(((?:\\-)+[A-Za-z?]+))");
        for (std::sregex_iterator it(line.begin(), line.end(), name), end; it != end; ++it) {
            switches.push_back(std::regex_replace(it->str(), std::regex(R"(\\-)"), "-"));
        }
    }
    return switches;
}

TEST_F(ServerProcessTest, HelpListsTheManualPagesSwitchesWithoutABusOrADisplay) {
    const std::vector<std::string> switches = ManualPageSwitches();
    ASSERT_GT(switches.size(), 8u);
    for (const char* help : {"--help", "-?"}) {
        SCOPED_TRACE(help);
        const int code = RunProgram(
            VELKOPC_BINARY, {help},
            {"DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus", "DISPLAY=", "WAYLAND_DISPLAY="},
            dir.File("help.out"), 20s);
        const std::string output = ReadFile(dir.File("help.out"));
        EXPECT_EQ(code, 0) << output;
        for (const std::string& name : switches) {
            EXPECT_NE(output.find(name), std::string::npos) << name << " missing in\n" << output;
        }
        // Only the list: no server start, so no bus or initialisation errors.
        EXPECT_TRUE(output.starts_with("Usage: velkopc")) << output;
        EXPECT_EQ(output.find("OLE initialization failed"), std::string::npos) << output;
    }
    EXPECT_FALSE(std::ifstream(TracePath()).good());  // no server ran
}

TEST_F(ServerProcessTest, InterruptEndsTheServerTheSameOrderlyWay) {
    ChildProcess server;
    ASSERT_TRUE(Start(server, "server.out", {}));  // interactive, no display
    ASSERT_TRUE(server.Signal(SIGINT));
    const int status = server.Wait(15s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(TraceText().find("> Velk Modbus OPC Server stopped\r\n"), std::string::npos);
}

TEST_F(ServerProcessTest, SecondStartNeverRunsASecondServer) {
    ChildProcess first;
    ASSERT_TRUE(Start(first, "first.out"));
    EXPECT_EQ(RunProgram(VELKOPC_BINARY, {}, Environment(), dir.File("second.out")), 0);
    EXPECT_TRUE(first.Running());
    const std::string trace = TraceText();
    EXPECT_EQ(trace.find("started"), trace.rfind("started"));  // one start line only
    first.Signal(SIGTERM);
    EXPECT_NE(first.Wait(15s), -1);
}

TEST_F(ServerProcessTest, NeitherASquatterOnTheOldLockNameNorACrashedServerBlocksAStart) {
    // Any local user can bind an abstract socket name; the lock no longer is one.
    const int squatter = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(squatter, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = InstanceName();
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    ASSERT_EQ(::bind(squatter, reinterpret_cast<sockaddr*>(&address),
                     static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size())),
              0);
    ASSERT_EQ(::listen(squatter, 1), 0);

    ChildProcess first;
    ASSERT_TRUE(Start(first, "first.out")) << ReadFile(dir.File("first.out"));
    // A crash leaves the lock file and the socket behind.
    ASSERT_TRUE(first.Signal(SIGKILL));
    ASSERT_NE(first.Wait(15s), -1);
    ChildProcess second;
    ASSERT_TRUE(
        second.Start(VELKOPC_BINARY, {"-Embedding"}, Environment(), dir.File("second.out")));
    EXPECT_TRUE(WaitUntil([&] { return StartCount() == 2; }, 20s))
        << ReadFile(dir.File("second.out"));
    // The hand-over to the running instance still works.
    EXPECT_EQ(RunProgram(VELKOPC_BINARY, {}, Environment(), dir.File("third.out")), 0);
    EXPECT_EQ(StartCount(), 2u);
    second.Signal(SIGTERM);
    EXPECT_NE(second.Wait(15s), -1);
    ::close(squatter);
}

TEST_F(ServerProcessTest, AFifoAtTheSettingsPathIsRefusedAtOnce) {
    const std::string store = dir.File("settings.reg");
    ::unlink(store.c_str());
    ASSERT_EQ(::mkfifo(store.c_str(), 0644), 0);
    // Nothing ever writes to the FIFO: a read of it would block the start for ever.
    ChildProcess server;
    ASSERT_TRUE(
        server.Start(VELKOPC_BINARY, {"-Embedding"}, Environment(), dir.File("server.out")));
    EXPECT_TRUE(WaitUntil(
        [&] {
            return ReadFile(dir.File("server.out")).find("not a regular file") != std::string::npos;
        },
        10s))
        << ReadFile(dir.File("server.out"));
    server.Signal(SIGTERM);
    const int status = server.Wait(15s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ServerProcessTest, RegisterAndUnregisterRunBesideTheRunningInstance) {
    ChildProcess server;
    ASSERT_TRUE(Start(server, "server.out"));
    EXPECT_EQ(RunProgram(VELKOPC_BINARY, {"/RegServer"}, Environment(), dir.File("reg.out")), 0);
    EXPECT_NE(ReadFile(dir.File("settings.reg")).find("VELK.ModbusOPCServer.1"), std::string::npos);
    EXPECT_EQ(RunProgram(VELKOPC_BINARY, {"-Unregister"}, Environment(), dir.File("unreg.out")), 0);
    EXPECT_EQ(ReadFile(dir.File("settings.reg")).find("VELK.ModbusOPCServer.1"), std::string::npos);
    EXPECT_TRUE(server.Running());
    server.Signal(SIGTERM);
    EXPECT_NE(server.Wait(15s), -1);
}

TEST_F(ServerProcessTest, MalformedStoreIsReportedWithItsLineAndLeftUntouched) {
    const std::string broken =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\VELK]\r\n"
        "\"FileSize\"=dword:zz\r\n";
    WriteStore(broken);
    ChildProcess server;
    ASSERT_TRUE(
        server.Start(VELKOPC_BINARY, {"-Embedding"}, Environment(), dir.File("server.out")));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(dir.File("server.out")).find("4") != std::string::npos; }, 10s));
    server.Signal(SIGTERM);
    const int status = server.Wait(15s);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string output = ReadFile(dir.File("server.out"));
    EXPECT_NE(output.find("line 4"), std::string::npos) << output;
    EXPECT_EQ(ReadFile(dir.File("settings.reg")), broken);
}

}  // namespace
}  // namespace velk
