// Bus activation from the files that "Register" writes, on a private bus configured with
// the services directory: the bus starts the server with "Embedding", the embedded server
// ends with its last instance, and "Unregister" takes the files away again. Also the
// server program itself on a bus, and without one.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "app/command_line.h"
#include "app/server/bus_server_host.h"
#include "platform/dbus/bus_activation_files.h"
#include "platform/dbus/bus_errors.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/platform/dbus/test_counter_class.h"
#include "tests/support/child_process.h"

namespace velk::testing {
namespace {

using namespace std::chrono_literals;

bool NameHasOwner(BusTestClient& client, const std::string& name) {
    bool owned = false;
    client.Proxy("org.freedesktop.DBus", "/org/freedesktop/DBus")
        ->callMethod("NameHasOwner")
        .onInterface("org.freedesktop.DBus")
        .withArguments(name)
        .storeResultsTo(owned);
    return owned;
}

std::uint32_t OwnerPid(BusTestClient& client, const std::string& name) {
    std::uint32_t pid = 0;
    client.Proxy("org.freedesktop.DBus", "/org/freedesktop/DBus")
        ->callMethod("GetConnectionUnixProcessID")
        .onInterface("org.freedesktop.DBus")
        .withArguments(name)
        .storeResultsTo(pid);
    return pid;
}

TEST(BusActivation, RegisterWritesFilesThatStartTheServerEmbeddedAndUnregisterRemovesThem) {
    TempDirectory dir;
    const std::string services = dir.File("services");
    // A directory with a blank in its name checks the quoting of the command line.
    const std::string server = dir.File("bin dir") + "/bus_test_server";
    std::filesystem::create_directories(dir.File("bin dir"));
    std::filesystem::copy_file(VELK_BUS_TEST_SERVER, server);
    const std::vector<std::string> environment{"VELKOPC_DBUS_SERVICES_DIR=" + services};

    ASSERT_EQ(RunProgram(server, {"-Register"}, environment, dir.File("register.out")), 0)
        << ReadFile(dir.File("register.out"));
    EXPECT_EQ(ReadFile(services + "/VELK.ModbusOPCServer.service"),
              "[D-BUS Service]\nName=VELK.ModbusOPCServer\nExec='" + server + "' -Embedding\n");

    {
        PrivateBus bus;
        ASSERT_TRUE(bus.Start(services)) << bus.Problem();
        BusTestClient client(bus.Address());
        EXPECT_FALSE(NameHasOwner(client, kDaBusName));
        BusFailure failure;
        const std::string path = client.CreateInstance(kDaBusName, kDaFactoryPath, &failure);
        ASSERT_FALSE(path.empty()) << failure.name << " " << failure.message << "\n"
                                   << bus.Output();
        auto instance = client.Proxy(kDaBusName, path);
        std::vector<std::string> arguments;
        instance->callMethod("Arguments").onInterface(kCounterInterface).storeResultsTo(arguments);
        EXPECT_EQ(arguments, std::vector<std::string>{"-Embedding"});
        const std::uint32_t pid = OwnerPid(client, kDaBusName);
        EXPECT_GT(pid, 0u);

        // The embedded server ends by itself with its last instance.
        instance->callMethod("Release").onInterface("VELK.Object");
        EXPECT_TRUE(WaitUntil([&] { return !NameHasOwner(client, kDaBusName); }, 20s));
        EXPECT_TRUE(WaitUntil([&] { return ::kill(static_cast<pid_t>(pid), 0) != 0; }, 20s));
    }

    ASSERT_EQ(RunProgram(server, {"-Unregister"}, environment, dir.File("unregister.out")), 0);
    EXPECT_FALSE(std::filesystem::exists(services + "/VELK.ModbusOPCServer.service"));
    PrivateBus bus;
    ASSERT_TRUE(bus.Start(services)) << bus.Problem();
    BusTestClient client(bus.Address());
    BusFailure failure;
    EXPECT_EQ(client.CreateInstance(kDaBusName, kDaFactoryPath, &failure), "");
    EXPECT_EQ(failure.name, "org.freedesktop.DBus.Error.ServiceUnknown");
}

bool Ping(BusTestClient& client, const std::string& name) {
    return BusTestClient::Try([&] {
               client.Proxy(name, "/")->callMethod("Ping").onInterface("org.freedesktop.DBus.Peer");
           })
        .name.empty();
}

class ActivatedServer : public ::testing::Test {
  protected:
    void Register() {
        ASSERT_EQ(RunProgram(VELK_BUS_TEST_SERVER, {"-Register"},
                             {"VELKOPC_DBUS_SERVICES_DIR=" + Services()}, dir.File("register.out")),
                  0);
    }
    std::string Services() const { return dir.File("services"); }
    static bool Gone(std::uint32_t pid) { return ::kill(static_cast<pid_t>(pid), 0) != 0; }
    TempDirectory dir;
};

TEST_F(ActivatedServer, AStartThatNoClientFollowsUpEndsAfterTheIdleTime) {
    Register();
    PrivateBus bus;
    ASSERT_TRUE(bus.Start(Services(), {}, {"VELKOPC_DBUS_IDLE_EXIT_MS=200"})) << bus.Problem();
    BusTestClient client(bus.Address());
    ASSERT_TRUE(Ping(client, kDaBusName)) << bus.Output();  // activates, creates nothing
    const std::uint32_t pid = OwnerPid(client, kDaBusName);
    EXPECT_TRUE(WaitUntil([&] { return !NameHasOwner(client, kDaBusName); }, 20s));
    EXPECT_TRUE(WaitUntil([&] { return Gone(pid); }, 20s));
}

TEST_F(ActivatedServer, TheFirstInstanceTakesOverFromTheStartSoTheLastOneEndsTheServer) {
    Register();
    PrivateBus bus;
    // An idle time far beyond the test: only the instance's release can end the server.
    ASSERT_TRUE(bus.Start(Services(), {}, {"VELKOPC_DBUS_IDLE_EXIT_MS=3600000"})) << bus.Problem();
    BusTestClient client(bus.Address());
    const std::string path = client.CreateInstance(kDaBusName, kDaFactoryPath);
    ASSERT_FALSE(path.empty()) << bus.Output();
    const std::uint32_t pid = OwnerPid(client, kDaBusName);
    client.Proxy(kDaBusName, path)->callMethod("Release").onInterface("VELK.Object");
    EXPECT_TRUE(WaitUntil([&] { return Gone(pid); }, 20s));
}

TEST_F(ActivatedServer, LosingTheBusEndsAnEmbeddedServer) {
    Register();
    PrivateBus bus;
    ASSERT_TRUE(bus.Start(Services(), {}, {"VELKOPC_DBUS_IDLE_EXIT_MS=3600000"})) << bus.Problem();
    std::uint32_t pid = 0;
    {
        BusTestClient client(bus.Address());
        ASSERT_TRUE(Ping(client, kDaBusName)) << bus.Output();
        pid = OwnerPid(client, kDaBusName);
    }
    bus.Stop();
    EXPECT_TRUE(WaitUntil([&] { return Gone(pid); }, 20s));
}

TEST(BusActivation, SystemBusFilesCarryTheUserAndAPolicyThatTheBusAccepts) {
    TempDirectory dir;
    BusActivationPaths paths;
    paths.systemServices = dir.File("system-services");
    paths.systemPolicy = dir.File("system.d");
    const BusActivationFiles files(paths, {kDaBusName, kAeBusName});
    std::string reason;
    ASSERT_TRUE(files.Install("/opt/velk/bin/velkopc", true, reason)) << reason;
    EXPECT_EQ(ReadFile(paths.systemServices + "/VELK.AlarmEventServer.service"),
              "[D-BUS Service]\nName=VELK.AlarmEventServer\nExec=/opt/velk/bin/velkopc -Embedding "
              "-SystemBus\n"
              "User=root\n");
    const std::string policy = ReadFile(paths.systemPolicy + "/VELK.ModbusOPCServer.conf");
    EXPECT_NE(policy.find("<policy group=\"velkopc-admin\">"), std::string::npos) << policy;
    EXPECT_NE(policy.find("<deny own=\"VELK.AlarmEventServer\"/>"), std::string::npos) << policy;

    // The bus loads the policy (a malformed file would keep it from starting) and lets root
    // own the names.
    PrivateBus bus;
    ASSERT_TRUE(bus.Start({}, "  <includedir>" + paths.systemPolicy + "</includedir>\n"))
        << bus.Problem();
    CountingModuleLock lock;
    BusHost host(lock);
    ASSERT_TRUE(host.Connect(BusTarget::At(bus.Address()), reason)) << reason;
    TestCounterClass counter(kAeBusName, kAeFactoryPath);
    if (::geteuid() == 0) {
        EXPECT_TRUE(host.AddClass(counter, reason)) << reason;
    } else {
        EXPECT_FALSE(host.AddClass(counter, reason));  // neither root nor in the group
    }

    ASSERT_TRUE(files.Remove(true, reason)) << reason;
    EXPECT_FALSE(std::filesystem::exists(paths.systemServices + "/VELK.ModbusOPCServer.service"));
    EXPECT_FALSE(std::filesystem::exists(paths.systemPolicy + "/VELK.ModbusOPCServer.conf"));
    EXPECT_TRUE(files.Remove(true, reason)) << "removing what is gone is no failure";
}

TEST(BusActivation, FilesGetTheirModesWhateverTheUmaskAndNoLinkIsFollowed) {
    namespace fs = std::filesystem;
    TempDirectory dir;
    BusActivationPaths paths;
    paths.systemServices = dir.File("share/system-services");
    paths.systemPolicy = dir.File("etc/system.d");
    const BusActivationFiles files(paths, {kDaBusName});
    // A link left where the temporary file goes must not be written through.
    fs::create_directories(paths.systemServices);
    std::ofstream(dir.File("victim")) << "keep";
    fs::create_symlink(dir.File("victim"), files.ServiceFilePath(kDaBusName, true) + ".new");
    const mode_t previous = ::umask(0);
    std::string reason;
    const bool installed = files.Install("/usr/bin/velkopc", true, reason);
    ::umask(previous);
    ASSERT_TRUE(installed) << reason;
    EXPECT_EQ(ReadFile(dir.File("victim")), "keep");
    EXPECT_EQ(fs::status(files.ServiceFilePath(kDaBusName, true)).permissions(),
              static_cast<fs::perms>(0644));
    EXPECT_EQ(fs::status(files.PolicyFilePath()).permissions(), static_cast<fs::perms>(0644));
    EXPECT_EQ(fs::status(paths.systemPolicy).permissions(), static_cast<fs::perms>(0755));
    EXPECT_EQ(fs::status(dir.File("etc")).permissions(), static_cast<fs::perms>(0755));
}

TEST(BusActivation, ExecArgumentsAreQuotedOnlyWhenNeeded) {
    EXPECT_EQ(QuoteExecArgument("/usr/bin/velkopc"), "/usr/bin/velkopc");
    EXPECT_EQ(QuoteExecArgument("/a b/c"), "'/a b/c'");
    EXPECT_EQ(QuoteExecArgument("/it's"), "'/it'\\''s'");
    EXPECT_EQ(QuoteExecArgument("/x$y"), "'/x$y'");
}

TEST(BusActivation, ServiceDirectoriesFollowTheEnvironment) {
    auto from = [](std::map<std::string, std::string> values) {
        return BusActivationPaths::FromEnvironment(
            [values](const char* name) -> std::optional<std::string> {
                auto found = values.find(name);
                if (found == values.end()) return std::nullopt;
                return found->second;
            });
    };
    EXPECT_EQ(from({{"HOME", "/home/u"}}).sessionServices, "/home/u/.local/share/dbus-1/services");
    EXPECT_EQ(from({{"HOME", "/home/u"}, {"XDG_DATA_HOME", "/d"}}).sessionServices,
              "/d/dbus-1/services");
    EXPECT_EQ(from({{"XDG_DATA_HOME", "/d"}, {"VELKOPC_DBUS_SERVICES_DIR", "/s"}}).sessionServices,
              "/s");
    const BusActivationPaths defaults = from({{"HOME", "/home/u"}});
    EXPECT_EQ(defaults.systemServices, "/usr/share/dbus-1/system-services");
    EXPECT_EQ(defaults.systemPolicy, "/etc/dbus-1/system.d");
    const BusActivationPaths moved =
        from({{"VELKOPC_DBUS_SYSTEM_SERVICES_DIR", "/ss"}, {"VELKOPC_DBUS_POLICY_DIR", "/p"}});
    EXPECT_EQ(moved.systemServices, "/ss");
    EXPECT_EQ(moved.systemPolicy, "/p");
}

TEST(BusActivation, SystemBusSwitchIsReadFromTheCommandLine) {
    EXPECT_TRUE(ParseCommandLine({"/systembus", "-Embedding"}).systemBus);
    EXPECT_FALSE(ParseCommandLine({"-Embedding"}).systemBus);
    const BusServerOptions options =
        BusServerOptionsFor(ParseCommandLine({"-SystemBus", "-Register"}), "/x");
    EXPECT_TRUE(options.systemBus);
    EXPECT_FALSE(options.serve);  // registration needs no bus
}

class ServerProgramOnTheBus : public ::testing::Test {
  protected:
    std::vector<std::string> Environment() const {
        return {"VELKOPC_SETTINGS=" + dir.File("settings.reg"),
                "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
                "VELKOPC_INSTANCE_NAME=velk-bus-test-" + std::to_string(::getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name(),
                "VELKOPC_DBUS_SERVICES_DIR=" + dir.File("services")};
    }
    TempDirectory dir;
};

TEST_F(ServerProgramOnTheBus, IsActivatedUnderBothNamesAndCreatesInstancesOfBothClasses) {
    ASSERT_EQ(RunProgram(VELKOPC_BINARY, {"-Register"}, Environment(), dir.File("register.out")), 0)
        << ReadFile(dir.File("register.out"));
    EXPECT_EQ(ReadFile(dir.File("services") + "/VELK.AlarmEventServer.service"),
              std::string("[D-BUS Service]\nName=VELK.AlarmEventServer\nExec=") + VELKOPC_BINARY +
                  " -Embedding\n");

    PrivateBus bus;
    ASSERT_TRUE(bus.Start(dir.File("services"), {}, Environment())) << bus.Problem();
    BusTestClient client(bus.Address());
    BusFailure failure;
    // The first call activates the server; the second class is then served by it too.
    EXPECT_NE(client.CreateInstance(kDaBusName, kDaFactoryPath, &failure)
                  .rfind(std::string(kDaFactoryPath) + "/Instance", 0),
              std::string::npos)
        << failure.name << " " << failure.message << "\n"
        << bus.Output();
    EXPECT_TRUE(NameHasOwner(client, kAeBusName));
    EXPECT_NE(client.CreateInstance(kAeBusName, kAeFactoryPath, &failure)
                  .rfind(std::string(kAeFactoryPath) + "/Instance", 0),
              std::string::npos)
        << failure.name << " " << failure.message;
    const std::uint32_t pid = OwnerPid(client, kDaBusName);
    EXPECT_EQ(OwnerPid(client, kAeBusName), pid);  // one process serves both classes

    ASSERT_EQ(::kill(static_cast<pid_t>(pid), SIGTERM), 0);
    EXPECT_TRUE(WaitUntil([&] { return !NameHasOwner(client, kDaBusName); }, 20s));

    ASSERT_EQ(
        RunProgram(VELKOPC_BINARY, {"-Unregister"}, Environment(), dir.File("unregister.out")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("services") + "/VELK.ModbusOPCServer.service"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("services") + "/VELK.AlarmEventServer.service"));
}

TEST_F(ServerProgramOnTheBus, WithoutABusTheStartFailsWithAClearMessage) {
    std::vector<std::string> environment = Environment();
    environment.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir.File("no-bus"));
    environment.push_back("DBUS_STARTER_ADDRESS=");
    EXPECT_EQ(RunProgram(VELKOPC_BINARY, {"-Embedding"}, environment, dir.File("server.out")), 1);
    const std::string output = ReadFile(dir.File("server.out"));
    EXPECT_NE(output.find("cannot connect to the session bus"), std::string::npos) << output;
    EXPECT_NE(output.find("OLE initialization failed."), std::string::npos) << output;
}

}  // namespace
}  // namespace velk::testing
