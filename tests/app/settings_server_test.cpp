#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/server_settings.h"
#include "platform/linux/reg_file_store.h"
#include "tests/app/settings_test_doubles.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

using testing::MemorySettingsStore;
using testing::RecordingMessageBox;
using testing::SettableAdmin;

const std::string kApp(kMachineApplicationKey);

RegValue Raw(std::uint32_t type, std::string data) { return RegValue{type, std::move(data)}; }

class ServerSettingsTest : public ::testing::Test {
  protected:
    void Put(const std::string& subkey, const std::string& name, const RegValue& value) {
        const std::string key = subkey.empty() ? kApp : kApp + "\\" + subkey;
        ASSERT_TRUE(store.CreateKey(key));
        ASSERT_TRUE(store.WriteValue(key, name, value));
    }
    std::optional<RegValue> Get(const std::string& subkey, const std::string& name) {
        return store.ReadValue(subkey.empty() ? kApp : kApp + "\\" + subkey, name);
    }

    MemorySettingsStore store;
    SettingsAccess access{store};
    SettableAdmin admin{true};
    RecordingMessageBox messages;
};

TEST_F(ServerSettingsTest, AnAdministratorsFirstStartCreatesTheSevenSubkeysEmpty) {
    const ServerSettings loaded = LoadServerSettings(access, false);
    EXPECT_EQ(loaded, ServerSettings{});
    auto subkeys = store.SubKeys(kApp);
    std::sort(subkeys.begin(), subkeys.end());
    EXPECT_EQ(subkeys,
              (std::vector<std::string>{"EventStack", "OpcUa", "Recent File List", "Redundancy",
                                        "Shutdown", "Sparkplug", "TraceFile"}));
    for (const auto& key : store.Keys()) EXPECT_TRUE(store.ValueNames(key).empty()) << key;
    EXPECT_TRUE(store.WrittenNames().empty());
}

TEST_F(ServerSettingsTest, AnotherUsersFirstStartCreatesNothingAndUsesTheDefaults) {
    const ServerSettings loaded = LoadServerSettings(access, true);
    EXPECT_TRUE(store.Keys().empty());
    EXPECT_TRUE(store.Operations().empty());
    EXPECT_FALSE(loaded.ChangelessUpdate);
    EXPECT_EQ(loaded.FullTagPath, 1u);
    EXPECT_EQ(loaded.AreaDelimiter, ".");
    EXPECT_EQ(loaded.TraceFile.FileName, "");
    EXPECT_EQ(loaded.TraceFile.FileSize, 1024u);
    EXPECT_EQ(loaded.Redundancy.Enabled, 0u);
    EXPECT_EQ(loaded.Redundancy.SyncMaster, 0u);
    EXPECT_EQ(loaded.Redundancy.Port, 8201);
    EXPECT_EQ(loaded.Redundancy.AlternateServer, "");
    EXPECT_EQ(loaded.Redundancy.AlternateGateway, "");
    EXPECT_EQ(loaded.Shutdown.OnDisconnect, -1);
    EXPECT_EQ(loaded.Shutdown.OnCommFail, -1);
    EXPECT_EQ(loaded.EventStack.Master1, 3072);
    EXPECT_EQ(loaded.EventStack.Master2, 3584);
    EXPECT_EQ(loaded.EventStack.Size, 248) << "62 records of 4 registers";
}

TEST_F(ServerSettingsTest, StoredValuesAreKeptTheWayTheProgramUsesThem) {
    Put("", "ChangelessUpdate", RegValue::String("1"));
    Put("", "FullTagPath", RegValue::Dword(0));
    Put("", "AreaDelimiter", RegValue::String("/"));
    Put("TraceFile", "FileName", RegValue::String("/var/log/velk.txt"));
    Put("TraceFile", "FileSize", Raw(REG_BINARY, std::string(8, '\x01')));  // too long
    Put("Redundancy", "Enabled", RegValue::Dword(5));
    Put("Redundancy", "SyncMaster", RegValue::Dword(1));
    Put("Redundancy", "Port", RegValue::Dword(0x00012345));
    Put("Redundancy", "AlternateServer", RegValue::String("10.0.0.2"));
    Put("Redundancy", "AlternateGateway", RegValue::String("10.0.0.1"));
    Put("Shutdown", "OnDisconnect", RegValue::Dword(30));
    Put("Shutdown", "OnCommFail", RegValue::Dword(0xFFFFFFFE));
    Put("EventStack", "Master1", RegValue::Dword(0x10100));
    Put("EventStack", "Master2", RegValue::Dword(4000));
    Put("EventStack", "Size", RegValue::Dword(0x4001));

    for (const bool readOnly : {true, false}) {
        const ServerSettings s = LoadServerSettings(access, readOnly);
        EXPECT_TRUE(s.ChangelessUpdate);
        EXPECT_EQ(s.FullTagPath, 0u);
        EXPECT_EQ(s.AreaDelimiter, "/");
        EXPECT_EQ(s.TraceFile.FileName, "/var/log/velk.txt");
        EXPECT_EQ(s.TraceFile.FileSize, 1024u);
        EXPECT_EQ(s.Redundancy.Enabled, 5u);
        EXPECT_EQ(s.Redundancy.SyncMaster, 1u);
        EXPECT_EQ(s.Redundancy.Port, 0x2345);
        EXPECT_EQ(s.Redundancy.AlternateServer, "10.0.0.2");
        EXPECT_EQ(s.Redundancy.AlternateGateway, "10.0.0.1");
        EXPECT_EQ(s.Shutdown.OnDisconnect, 30);
        EXPECT_EQ(s.Shutdown.OnCommFail, -2);
        EXPECT_EQ(s.EventStack.Master1, 0x0100);
        EXPECT_EQ(s.EventStack.Master2, 4000);
        EXPECT_EQ(s.EventStack.Size, 4) << "0x4001 records are 0x10004 registers, kept in 16 bits";
    }
    Put("", "ChangelessUpdate", RegValue::Dword(0x100));
    EXPECT_TRUE(LoadServerSettings(access, true).ChangelessUpdate);
}

TEST_F(ServerSettingsTest, SaveWritesEveryOptionInItsOrderAndNeverTheEventStack) {
    ServerSettings s;
    s.ChangelessUpdate = true;
    s.FullTagPath = 0;
    s.AreaDelimiter = "";
    s.TraceFile = {"/tmp/t.txt", 64};
    s.Redundancy = {1, 1, 4464, "peer", "gw"};
    s.Shutdown = {-1, 0};
    s.EventStack = {1, 2, 8};
    EXPECT_TRUE(SaveSettings(access, s, admin, messages));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(
        store.WrittenNames(),
        (std::vector<std::string>{"FullTagPath", "ChangelessUpdate", "FileSize", "FileName",
                                  "Enabled", "SyncMaster", "AlternateServer", "AlternateGateway",
                                  "Port", "OnDisconnect", "OnCommFail", "AreaDelimiter"}));
    EXPECT_EQ(Get("", "FullTagPath"), RegValue::Dword(0));
    EXPECT_EQ(Get("", "ChangelessUpdate"), RegValue::Dword(1));
    EXPECT_EQ(Get("", "AreaDelimiter"), RegValue::String(""));
    EXPECT_EQ(Get("TraceFile", "FileSize"), RegValue::Dword(64));
    EXPECT_EQ(Get("TraceFile", "FileName"), RegValue::String("/tmp/t.txt"));
    EXPECT_EQ(Get("Redundancy", "Port"), RegValue::Dword(4464));
    EXPECT_EQ(Get("Redundancy", "AlternateGateway"), RegValue::String("gw"));
    EXPECT_EQ(Get("Shutdown", "OnDisconnect"), RegValue::Dword(0xFFFFFFFF));
    EXPECT_EQ(Get("Shutdown", "OnCommFail"), RegValue::Dword(0));
    EXPECT_FALSE(store.KeyExists(kApp + "\\EventStack"));

    // Unchanged values are written again.
    store.ClearOperations();
    EXPECT_TRUE(SaveSettings(access, s, admin, messages));
    EXPECT_EQ(store.WrittenNames().size(), 12u);
}

TEST_F(ServerSettingsTest, OpcUaSettingsComeBackAsSavedAndZeroLimitsReadAsTheDefaults) {
    OpcUaSettings s;
    s.Enabled = 0;
    s.Port = 70000;  // kept as stored: the start refuses it with a message
    s.BindAddresses = "127.0.0.1,10.1.2.3";
    s.AllowAnonymous = 1;
    s.AllowSecurityNone = 1;
    s.PkiDirectory = "/srv/velkopc/pki";
    s.MaxSessions = 7;
    s.MaxSubscriptionsPerSession = 8;
    s.MaxMonitoredItems = 9;
    EXPECT_TRUE(SaveOpcUaSettings(access, s, admin, messages));
    EXPECT_EQ(store.WrittenNames().size(), 9u);
    EXPECT_EQ(LoadServerSettings(access, true).OpcUa, s);
    EXPECT_EQ(Get("OpcUa", "BindAddresses"), RegValue::String("127.0.0.1,10.1.2.3"));
    EXPECT_EQ(Get("OpcUa", "Port"), RegValue::Dword(70000));

    for (const char* name : {"MaxSessions", "MaxSubscriptionsPerSession", "MaxMonitoredItems"}) {
        Put("OpcUa", name, RegValue::Dword(0));
    }
    const OpcUaSettings loaded = LoadServerSettings(access, true).OpcUa;
    EXPECT_EQ(loaded.MaxSessions, OpcUaSettings{}.MaxSessions);
    EXPECT_EQ(loaded.MaxSubscriptionsPerSession, OpcUaSettings{}.MaxSubscriptionsPerSession);
    EXPECT_EQ(loaded.MaxMonitoredItems, OpcUaSettings{}.MaxMonitoredItems);
    EXPECT_EQ(loaded.PkiDirectory, s.PkiDirectory);

    admin.Set(false);
    store.ClearOperations();
    EXPECT_FALSE(SaveOpcUaSettings(access, s, admin, messages));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(store.Operations().empty());
}

TEST_F(ServerSettingsTest, SparkplugSettingsComeBackAsSavedAndAZeroPeriodReadsAsTheDefault) {
    SparkplugSettings s;
    s.Enabled = 1;
    s.BrokerUrl = "ssl://broker:8883";
    s.ClientId = "c1";
    s.GroupId = "Plant1";
    s.EdgeNodeId = "Edge1";
    s.UserName = "edge";
    s.PasswordFile = "/etc/velkopc/mqtt.pw";
    s.CaFile = "ca.crt";
    s.CertFile = "c.crt";
    s.KeyFile = "c.key";
    s.PublishPeriod = 250;
    s.Deadband = "0.5";
    s.PrimaryHostId = "Scada";
    s.StoreDirectory = "/var/lib/velkopc/sp";
    s.StoreLimitMB = 7;
    s.AllowWrites = 1;
    EXPECT_TRUE(SaveSparkplugSettings(access, s, admin, messages));
    EXPECT_EQ(store.WrittenNames().size(), 16u);
    EXPECT_EQ(LoadServerSettings(access, true).Sparkplug, s);

    Put("Sparkplug", "PublishPeriod", RegValue::Dword(0));
    EXPECT_EQ(LoadServerSettings(access, true).Sparkplug.PublishPeriod, 1000u);

    admin.Set(false);
    store.ClearOperations();
    EXPECT_FALSE(SaveSparkplugSettings(access, s, admin, messages));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(store.Operations().empty());
}

TEST_F(ServerSettingsTest, SaveIsRefusedForAUserWhoIsNotAnAdministrator) {
    admin.Set(false);
    EXPECT_FALSE(SaveSettings(access, ServerSettings{}, admin, messages));
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{"To modify the settings you should run the program with "
                                       "administration rights!"});
    EXPECT_TRUE(store.Operations().empty());
}

TEST_F(ServerSettingsTest, SavedSettingsComeBackFromTheSettingsFile) {
    const std::string dir = ::testing::TempDir() + "velk_settings_" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    RegFileStore file(dir + "/settings.reg");
    SettingsAccess fileAccess(file);
    ServerSettings s;
    s.ChangelessUpdate = true;
    s.AreaDelimiter = "\\";
    s.TraceFile = {"C:\\log \"x\".txt", 2048};
    s.Redundancy = {1, 0, 502, "peer.example", "192.168.1.1"};
    s.Shutdown = {10, -1};
    ASSERT_TRUE(SaveSettings(fileAccess, s, admin, messages));
    RegFileStore reopened(dir + "/settings.reg");
    SettingsAccess reopenedAccess(reopened);
    EXPECT_EQ(LoadServerSettings(reopenedAccess, true), s);
    EXPECT_EQ(reopened.Problem(), "");
    std::filesystem::remove_all(dir);
}

class ServerSettingsFileTest : public ::testing::Test {
  protected:
    ServerSettingsFileTest()
        : dir(::testing::TempDir() + "velk_settings_file_" + std::to_string(::getpid())),
          path(dir + "/settings.reg") {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~ServerSettingsFileTest() override { std::filesystem::remove_all(dir); }
    void Write(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
    std::string Read() {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    const std::string dir;
    const std::string path;
};

TEST_F(ServerSettingsFileTest, AHandWrittenFileIsReadWithTheRegistrysRules) {
    Write(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\velk\\VELK A&E OPC Server]\n"
        "\"ChangelessUpdate\"=\"1\"\n"
        "\n[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\n"
        "\"FileSize\"=hex(b):00,08,00,00,00,00,00,00\n"
        "\n[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Redundancy]\n"
        "\"port\"=dword:00011171\n"
        "\n[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Shutdown]\n"
        "\"OnCommFail\"=dword:ffffffff\n"
        "\"OnDisconnect\"=dword:0000003c\n");
    RegFileStore store(path);
    SettingsAccess access(store);
    const ServerSettings s = LoadServerSettings(access, true);
    EXPECT_TRUE(s.ChangelessUpdate) << "\"1\" with its terminating zero is 4 bytes";
    EXPECT_EQ(s.TraceFile.FileSize, 1024u) << "8 bytes give the default";
    EXPECT_EQ(s.Redundancy.Port, 4465) << "0x11171 kept in 16 bits";
    EXPECT_EQ(s.Shutdown.OnCommFail, -1);
    EXPECT_EQ(s.Shutdown.OnDisconnect, 60);
}

TEST_F(ServerSettingsFileTest, AnAdministratorsStartNeverOverwritesADamagedFile) {
    const std::string damaged =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\n"
        "\"FileName\"=\"C:\\temp\\trace.txt\"\n"  // single backslashes: not the file's syntax
        "\"FileSize\"=dword:00000800\n";
    Write(damaged);
    RegFileStore store(path);
    SettingsAccess access(store);
    EXPECT_EQ(LoadServerSettings(access, false), ServerSettings{}) << "all defaults";
    EXPECT_NE(store.Problem().find("line 4:"), std::string::npos) << store.Problem();
    SettableAdmin admin(true);
    RecordingMessageBox messages;
    SaveSettings(access, ServerSettings{}, admin, messages);
    RecentFileList files;
    files.Add("/srv/plant.vlk");
    SaveRecentFiles(access, files, admin);
    EXPECT_EQ(Read(), damaged);
}

TEST_F(ServerSettingsFileTest, AnAdministratorsFirstStartWritesOnlyTheEmptyKeys) {
    RegFileStore store(path);
    SettingsAccess access(store);
    LoadServerSettings(access, false);
    EXPECT_EQ(Read(),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\EventStack]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TraceFile]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Redundancy]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Shutdown]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Sparkplug]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\OpcUa]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\Recent File List]\n\n");
    EXPECT_TRUE(store.KeyExists(std::string(kMachineApplicationKey)));
}

TEST_F(ServerSettingsTest, RecentFilesGoToTheMachineStoreForAdministratorsOnly) {
    Put("Recent File List", "File3", RegValue::String("/old/three.vlk"));
    RecentFileList files;
    files.Add("/cfg/b.vlk");
    files.Add("/cfg/a.vlk");  // positions 1 and 2; 3 and 4 empty

    admin.Set(false);
    SaveRecentFiles(access, files, admin);
    EXPECT_TRUE(store.WrittenNames().size() == 1) << "only the setup write above";

    admin.Set(true);
    SaveRecentFiles(access, files, admin);
    EXPECT_EQ(Get("Recent File List", "File1"), RegValue::String("/cfg/a.vlk"));
    EXPECT_EQ(Get("Recent File List", "File2"), RegValue::String("/cfg/b.vlk"));
    EXPECT_EQ(Get("Recent File List", "File3"), RegValue::String("/old/three.vlk"))
        << "empty positions are neither written nor deleted";
    EXPECT_EQ(Get("Recent File List", "File4"), std::nullopt);
}

TEST(ServerSettingsHolderTest, ReadersNeverSeeAHalfReplacedText) {
    ServerSettings a;
    a.AreaDelimiter = ".";
    a.Redundancy.AlternateServer = std::string(200, 'a');
    ServerSettings b = a;
    b.AreaDelimiter = "/";
    b.Redundancy.AlternateServer = std::string(300, 'b');
    ServerSettingsHolder holder(a);

    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done) {
            const std::string server = holder.AlternateServer();
            if (server != a.Redundancy.AlternateServer && server != b.Redundancy.AlternateServer) {
                ++torn;
            }
            const ServerSettings copy = holder.Get();
            if (!(copy == a) && !(copy == b)) ++torn;
        }
    });
    for (int i = 0; i < 2000; ++i) holder.Set(i % 2 ? b : a);
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(holder.AreaDelimiter(), "/");  // the last Set was b
    EXPECT_EQ(holder.Redundancy().AlternateServer, b.Redundancy.AlternateServer);
}

}  // namespace
}  // namespace velk
