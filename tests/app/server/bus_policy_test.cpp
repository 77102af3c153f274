// The system-bus policy that "Register -SystemBus" writes, loaded by a private bus configured
// like the system bus (everything denied that a policy does not open): the server's own user
// owns the names and calls its clients' sinks, and gets nothing more; other users can neither
// own the names nor call the server. Other users are played by "nobody" through setpriv, so
// the test needs root.
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "app/server/bus_server_host.h"
#include "platform/dbus/bus_activation_files.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/test_counter_class.h"
#include "tests/support/child_process.h"

namespace velk::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kAccessDenied = "org.freedesktop.DBus.Error.AccessDenied";

class SystemLikeBus {
  public:
    bool Start(const std::string& policyFile) {
        ::chmod(dir_.Path().c_str(), 0755);  // other users reach the socket
        const std::string config = dir_.File("bus.conf");
        std::ofstream(config)
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration "
               "1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n"
               "  <type>system</type>\n"
               "  <listen>unix:path="
            << dir_.File("socket")
            << "</listen>\n"
               "  <auth>EXTERNAL</auth>\n"
               "  <policy context=\"default\">\n"
               "    <allow user=\"*\"/>\n"
               "    <deny own=\"*\"/>\n"
               "    <deny send_type=\"method_call\"/>\n"
               "    <allow send_type=\"signal\"/>\n"
               "    <allow send_requested_reply=\"true\" send_type=\"method_return\"/>\n"
               "    <allow send_requested_reply=\"true\" send_type=\"error\"/>\n"
               "    <allow receive_type=\"method_call\"/>\n"
               "    <allow receive_type=\"method_return\"/>\n"
               "    <allow receive_type=\"error\"/>\n"
               "    <allow receive_type=\"signal\"/>\n"
               "    <allow send_destination=\"org.freedesktop.DBus\"\n"
               "           send_interface=\"org.freedesktop.DBus\"/>\n"
               "  </policy>\n"
               "  <include>"
            << policyFile
            << "</include>\n"
               "</busconfig>\n";
        if (!daemon_.Start("/usr/bin/dbus-daemon",
                           {"--config-file=" + config, "--nofork", "--nopidfile"}, {},
                           dir_.File("daemon.out"))) {
            return false;
        }
        address_ = "unix:path=" + dir_.File("socket");
        return WaitUntil([&] { return std::filesystem::exists(dir_.File("socket")); }, 20s);
    }
    const std::string& Address() const { return address_; }
    std::string Output() const { return ReadFile(dir_.File("daemon.out")); }

  private:
    TempDirectory dir_;
    ChildProcess daemon_;
    std::string address_;
};

class BusPolicyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "needs root: other users are played through setpriv";
        for (const char* tool : {"/usr/bin/setpriv", "/usr/bin/gdbus", "/usr/bin/dbus-daemon"}) {
            if (::access(tool, X_OK) != 0) GTEST_SKIP() << tool << " is not installed";
        }
        paths.systemServices = dir.File("system-services");
        paths.systemPolicy = dir.File("system.d");
        const BusActivationFiles files(paths, {kDaBusName, kAeBusName},
                                       {"VELK.OPC.IOPCShutdown", "VELK.OPC.IOPCEventSink"});
        std::string reason;
        ASSERT_TRUE(files.Install("/usr/bin/velkopc", true, reason)) << reason;
        ASSERT_TRUE(bus.Start(files.PolicyFilePath())) << bus.Output();
    }

    // gdbus run as "nobody" (with the extra group, if any); its output and exit code.
    int AsNobody(std::vector<std::string> arguments, const std::string& output,
                 const std::string& groups = "") {
        std::vector<std::string> command{"--reuid=65534", "--regid=65534"};
        command.push_back(groups.empty() ? "--clear-groups" : "--groups=" + groups);
        command.insert(command.end(), {"--", "/usr/bin/gdbus"});
        command.insert(command.end(), arguments.begin(), arguments.end());
        return RunProgram("/usr/bin/setpriv", command, {}, dir.File(output));
    }
    std::vector<std::string> CallArguments(const std::string& dest, const std::string& path,
                                           const std::string& method,
                                           const std::vector<std::string>& arguments = {}) {
        std::vector<std::string> call{"call",          "--address", bus.Address(), "--dest", dest,
                                      "--object-path", path,        "--method",    method};
        call.insert(call.end(), arguments.begin(), arguments.end());
        return call;
    }

    TempDirectory dir;
    BusActivationPaths paths;
    SystemLikeBus bus;
};

TEST_F(BusPolicyTest, OnlyTheServersUserOwnsTheNamesAndRootGetsNoMoreThanItNeeds) {
    // The server, as root: owns both names and serves them.
    CountingModuleLock lock;
    BusHost host(lock);
    std::string reason;
    ASSERT_TRUE(host.Connect(BusTarget::At(bus.Address()), reason)) << reason;
    TestCounterClass da(kDaBusName, kDaFactoryPath);
    TestCounterClass ae(kAeBusName, kAeFactoryPath);
    ASSERT_TRUE(host.AddClass(da, reason)) << reason;
    ASSERT_TRUE(host.AddClass(ae, reason)) << reason;
    ASSERT_TRUE(host.Start());

    // Root may call the server.
    BusTestClient root(bus.Address());
    BusFailure failure;
    EXPECT_FALSE(root.CreateInstance(kDaBusName, kDaFactoryPath, &failure).empty())
        << failure.name << " " << failure.message;

    // Another user may neither own the names nor call them.
    for (const char* name : {kDaBusName, kAeBusName}) {
        EXPECT_NE(AsNobody(CallArguments("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus.RequestName", {name, "uint32 0"}),
                           "own.out"),
                  0);
        EXPECT_NE(ReadFile(dir.File("own.out")).find("AccessDenied"), std::string::npos)
            << ReadFile(dir.File("own.out"));
    }
    EXPECT_NE(
        AsNobody(CallArguments(kDaBusName, kDaFactoryPath, "VELK.ClassFactory.CreateInstance"),
                 "call.out"),
        0);
    EXPECT_NE(ReadFile(dir.File("call.out")).find("AccessDenied"), std::string::npos)
        << ReadFile(dir.File("call.out"));

    // A client connection of another user, kept open: root reaches its sinks and nothing else.
    ChildProcess client;
    ASSERT_TRUE(
        client.Start("/usr/bin/setpriv",
                     {"--reuid=65534", "--regid=65534", "--clear-groups", "--", "/usr/bin/gdbus",
                      "monitor", "--address", bus.Address(), "--dest", "org.freedesktop.DBus"},
                     {}, dir.File("monitor.out")));
    auto daemon = root.Proxy("org.freedesktop.DBus", "/org/freedesktop/DBus");
    std::string clientName;
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::vector<std::string> names;
            daemon->callMethod("ListNames")
                .onInterface("org.freedesktop.DBus")
                .storeResultsTo(names);
            for (const std::string& name : names) {
                std::uint32_t uid = 0;
                if (name.empty() || name[0] != ':') continue;
                const BusFailure gone = BusTestClient::Try([&] {
                    daemon->callMethod("GetConnectionUnixUser")
                        .onInterface("org.freedesktop.DBus")
                        .withArguments(name)
                        .storeResultsTo(uid);
                });
                if (gone.name.empty() && uid == 65534) clientName = name;
            }
            return !clientName.empty();
        },
        20s));
    auto sink = root.Proxy(clientName, "/MyClient/Shutdown");
    const BusFailure sinkCall = BusTestClient::Try([&] {
        sink->callMethod("ShutdownRequest")
            .onInterface("VELK.OPC.IOPCShutdown")
            .withArguments(std::string("bye"));
    });
    EXPECT_NE(sinkCall.name, kAccessDenied) << "the bus let the call through to the client";
    const BusFailure unrelated = BusTestClient::Try(
        [&] { sink->callMethod("Anything").onInterface("org.example.Unrelated"); });
    EXPECT_EQ(unrelated.name, kAccessDenied) << unrelated.message;

    // Members of the administrators' group may call the server, never own its names.
    if (const group* admins = ::getgrnam(kBusAdminGroup)) {
        const std::string gid = std::to_string(admins->gr_gid);
        EXPECT_EQ(
            AsNobody(CallArguments(kDaBusName, kDaFactoryPath, "VELK.ClassFactory.CreateInstance"),
                     "admin.out", gid),
            0)
            << ReadFile(dir.File("admin.out"));
        EXPECT_NE(
            AsNobody(CallArguments("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus.RequestName", {kDaBusName, "uint32 0"}),
                     "admin-own.out", gid),
            0);
    } else {
        std::cout << "[ NOTE     ] no group " << kBusAdminGroup
                  << " on this machine: its rights were not tried\n";
    }
    client.Signal(SIGTERM);
    client.Wait(10s);
    host.Stop();
}

}  // namespace
}  // namespace velk::testing
