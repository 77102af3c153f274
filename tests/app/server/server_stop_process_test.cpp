// The server program's orderly stop on SIGTERM while a client's call is stuck in a device
// exchange with a controller that accepts the connection and never answers, and clients that
// come and go while such an exchange is on the wire.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
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
const std::string kClient = std::string(VELK_SERVER_TEST_DIR) + "/silent_device_client.py";

// A Modbus TCP controller that is silent: the kernel completes the connection, nobody reads.
class SilentListener {
  public:
    SilentListener() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(0x7F000003);  // 127.0.0.3
        socklen_t size = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            listen(fd_, 8) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
    }
    ~SilentListener() {
        if (connection_ >= 0) close(connection_);
        if (fd_ >= 0) close(fd_);
    }
    std::uint16_t Port() const { return port_; }
    // Takes the next connection and waits for its first request; false when none came.
    bool AcceptRequest() {
        if (connection_ >= 0) close(connection_);
        connection_ = Ready(fd_) ? accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC) : -1;
        char request[256];
        return connection_ >= 0 && Ready(connection_) && read(connection_, request, 256) > 0;
    }
    // True while the server keeps the connection open and sends nothing more on it: the
    // exchange that sent the request still waits for its answer.
    bool ExchangeWaits() const {
        pollfd p{connection_, POLLIN, 0};
        return connection_ >= 0 && poll(&p, 1, 0) == 0;
    }

  private:
    static bool Ready(int fd) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, 30000) == 1;
    }
    int fd_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
};

// The server program on a private bus of its own, with the settings of store.
class ServerOnPrivateBus {
  public:
    explicit ServerOnPrivateBus(TempDirectory& dir) : dir_(dir) {}

    // Writes the settings, starts the bus and the server and waits for its start line.
    ::testing::AssertionResult Start(const ServerStoreText& store, const std::string& instance) {
        if (!store.WriteTo(dir_.File("settings.reg"))) {
            return ::testing::AssertionFailure() << "settings not written";
        }
        if (!bus_.Start()) return ::testing::AssertionFailure() << bus_.Problem();
        const std::vector<std::string> environment{
            "VELKOPC_SETTINGS=" + dir_.File("settings.reg"),
            "VELKOPC_USER_SETTINGS=" + dir_.File("user.reg"),
            "VELKOPC_INSTANCE_NAME=" + instance + "-" + std::to_string(::getpid()),
            "DBUS_SESSION_BUS_ADDRESS=" + bus_.Address()};
        if (!server_.Start(VELKOPC_BINARY, {}, environment, dir_.File("server.out")) ||
            !WaitUntil([&] { return Trace().find("started") != std::string::npos; }, 30s)) {
            return ::testing::AssertionFailure() << ReadFile(dir_.File("server.out"));
        }
        return ::testing::AssertionSuccess();
    }

    // SIGTERM and the wait for the end, whose time is printed after what; the exit status,
    // -1 when the server did not end.
    int StopWithSigterm(const std::string& what) {
        const auto signalled = std::chrono::steady_clock::now();
        if (!server_.Signal(SIGTERM)) return -1;
        const int status = server_.Wait(60s);
        std::printf("stopped %lld ms after SIGTERM%s\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                               std::chrono::steady_clock::now() - signalled)
                                               .count()),
                    what.c_str());
        return status;
    }

    std::string Trace() const { return Utf16LeBytesToUtf8(ReadFile(dir_.File("trace.txt"))); }
    const std::string& BusAddress() const { return bus_.Address(); }

  private:
    TempDirectory& dir_;
    PrivateBus bus_;
    ChildProcess server_;
};

TEST(ServerStopProcessTest, SigtermDuringADeviceReadThatNeverEndsExitsCleanly) {
    TempDirectory dir;
    SilentListener controller;
    ASSERT_NE(controller.Port(), 0);
    ASSERT_EQ(RunProgram(kPython, {kClient, "config", dir.File("silent.vlk")}, {},
                         dir.File("config.out")),
              0)
        << ReadFile(dir.File("config.out"));
    ServerStoreText store;
    store.traceFile = dir.File("trace.txt");
    store.recentFile = dir.File("silent.vlk");
    store.tcpPorts = {{"127.0.0.3", controller.Port()}};
    ServerOnPrivateBus server(dir);
    ASSERT_TRUE(server.Start(store, "velk-stop"));
    const auto trace = [&] { return server.Trace(); };
    ChildProcess client;
    ASSERT_TRUE(
        client.Start(kPython, {kClient, "read", server.BusAddress()}, {}, dir.File("client.out")));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(dir.File("client.out")).find("reading") != std::string::npos; }, 30s))
        << ReadFile(dir.File("client.out")) << trace();
    // The read has reached the device and waits for its 30 s answer time-out.
    ASSERT_TRUE(WaitUntil(
        [&] { return trace().find("Called IOPCItemMgt::AddItems") != std::string::npos; }, 10s));
    std::this_thread::sleep_for(1s);

    const int status = server.StopWithSigterm("");
    ASSERT_NE(status, -1) << "the server did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n"
                                                               << ReadFile(dir.File("server.out"));
    // The stop line is the server's last, after what the threads wrote as they ended.
    EXPECT_TRUE(trace().ends_with("> Velk Modbus OPC Server stopped\r\n")) << trace();
    EXPECT_EQ(ReadFile(dir.File("client.out")).find("answered"), std::string::npos);
}

TEST(ServerStopProcessTest, SubscribersOfASilentControllerHoldUpNeitherTheNextClientNorTheStop) {
    TempDirectory dir;
    SilentListener controller;
    ASSERT_NE(controller.Port(), 0);
    test::PlcsimProcess healthy;
    std::string error;
    ASSERT_TRUE(healthy.Start({"--tcp", "127.0.0.2:0", "--holding", "0=1234"}, error)) << error;
    ASSERT_EQ(RunProgram(kPython, {kClient, "config2", dir.File("churn.vlk")}, {},
                         dir.File("config.out")),
              0)
        << ReadFile(dir.File("config.out"));
    ServerStoreText store;
    store.traceFile = dir.File("trace.txt");
    store.recentFile = dir.File("churn.vlk");
    store.tcpPorts = {{"127.0.0.3", controller.Port()},
                      {"127.0.0.2", static_cast<std::uint16_t>(healthy.TcpPort(1))}};
    ServerOnPrivateBus server(dir);
    ASSERT_TRUE(server.Start(store, "velk-churn"));
    const auto trace = [&] { return server.Trace(); };

    // Three subscribers whose groups read the silent controller, until one read is on the
    // wire there; it waits for its answer until the server's answer time-out.
    const auto subscribe = [&](std::vector<ChildProcess>& clients, const std::string& round) {
        for (std::size_t i = 0; i < clients.size(); ++i) {
            const std::string out = dir.File(round + std::to_string(i) + ".out");
            ASSERT_TRUE(
                clients[i].Start(kPython, {kClient, "subscribe", server.BusAddress()}, {}, out));
            ASSERT_TRUE(WaitUntil(
                [&] { return ReadFile(out).find("subscribed") != std::string::npos; }, 30s))
                << ReadFile(out);
        }
        ASSERT_TRUE(controller.AcceptRequest());
    };
    ChildProcess follower;
    ASSERT_TRUE(follower.Start(kPython, {kClient, "follow", server.BusAddress(), dir.File("go")},
                               {}, dir.File("follower.out")));
    std::vector<ChildProcess> first(3);
    subscribe(first, "first");
    // They leave; the next client reads the healthy controller before that exchange is over.
    for (ChildProcess& client : first) client.Signal(SIGKILL);
    RunProgram("/usr/bin/touch", {dir.File("go")}, {}, dir.File("touch.out"));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(dir.File("follower.out")).find("answered") != std::string::npos; },
        60s))
        << ReadFile(dir.File("follower.out"));
    EXPECT_TRUE(controller.ExchangeWaits()) << "the next client waited for the silent controller";
    EXPECT_NE(ReadFile(dir.File("follower.out")).find("answered 1234 0"), std::string::npos)
        << ReadFile(dir.File("follower.out"));

    std::vector<ChildProcess> second(3);
    subscribe(second, "second");
    const int status = server.StopWithSigterm(" with three subscribers of a silent controller");
    ASSERT_NE(status, -1) << "the server did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    EXPECT_NE(trace().find("Velk Modbus OPC Server stopped"), std::string::npos);
    for (ChildProcess& client : second) client.Signal(SIGKILL);
}

}  // namespace
}  // namespace velk::testing
