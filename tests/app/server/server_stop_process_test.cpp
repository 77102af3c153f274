// The server program's orderly stop on SIGTERM while a client's call is stuck in a device
// exchange with a controller that accepts the connection and never answers.
#include <gtest/gtest.h>
#include <netinet/in.h>
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
        if (fd_ >= 0) close(fd_);
    }
    std::uint16_t Port() const { return port_; }

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
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
    ASSERT_TRUE(store.WriteTo(dir.File("settings.reg")));
    PrivateBus bus;
    ASSERT_TRUE(bus.Start()) << bus.Problem();
    const std::vector<std::string> environment{
        "VELKOPC_SETTINGS=" + dir.File("settings.reg"),
        "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
        "VELKOPC_INSTANCE_NAME=velk-stop-" + std::to_string(::getpid()),
        "DBUS_SESSION_BUS_ADDRESS=" + bus.Address()};
    const auto trace = [&] { return Utf16LeBytesToUtf8(ReadFile(dir.File("trace.txt"))); };

    ChildProcess server;
    ASSERT_TRUE(server.Start(VELKOPC_BINARY, {}, environment, dir.File("server.out")));
    ASSERT_TRUE(WaitUntil([&] { return trace().find("started") != std::string::npos; }, 30s))
        << ReadFile(dir.File("server.out"));
    ChildProcess client;
    ASSERT_TRUE(
        client.Start(kPython, {kClient, "read", bus.Address()}, {}, dir.File("client.out")));
    ASSERT_TRUE(WaitUntil(
        [&] { return ReadFile(dir.File("client.out")).find("reading") != std::string::npos; }, 30s))
        << ReadFile(dir.File("client.out")) << trace();
    // The read has reached the device and waits for its 30 s answer time-out.
    ASSERT_TRUE(WaitUntil(
        [&] { return trace().find("Called IOPCItemMgt::AddItems") != std::string::npos; }, 10s));
    std::this_thread::sleep_for(1s);

    const auto signalled = std::chrono::steady_clock::now();
    ASSERT_TRUE(server.Signal(SIGTERM));
    const int status = server.Wait(60s);
    std::printf("stopped %lld ms after SIGTERM\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::steady_clock::now() - signalled)
                                           .count()));
    ASSERT_NE(status, -1) << "the server did not end";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << "\n"
                                                               << ReadFile(dir.File("server.out"));
    // The stop line is the server's last, after what the threads wrote as they ended.
    EXPECT_TRUE(trace().ends_with("> Velk Modbus OPC Server stopped\r\n")) << trace();
    EXPECT_EQ(ReadFile(dir.File("client.out")).find("answered"), std::string::npos);
}

}  // namespace
}  // namespace velk::testing
