#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/registration.h"
#include "platform/linux/reg_file_store.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

using testing::MemorySettingsStore;

const std::string kClasses(kClassesKey);
const std::string kDa(kDaServerClsid);
const std::string kAe(kAeServerClsid);
const std::string kExe = "/opt/velkopc/bin/velkopc";

std::string Key(const std::string& below) { return kClasses + "\\" + below; }

std::optional<std::string> Text(ISettingsStore& store, const std::string& below,
                                const std::string& name = "") {
    const auto value = store.ReadValue(Key(below), name);
    if (!value) return std::nullopt;
    EXPECT_EQ(value->type, REG_SZ) << below << " " << name;
    return value->data.size() >= 2
               ? std::optional<std::string>(std::string(value->data.begin(), value->data.end() - 2))
               : std::nullopt;
}

// The UTF-16LE bytes of an ASCII text without its terminator, as Text() returns them.
std::string Wide(const std::string& ascii) {
    std::string out;
    for (const char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

class RegistrationTest : public ::testing::Test {
  protected:
    MemorySettingsStore store;
};

TEST_F(RegistrationTest, RegisterWritesTheServersRecords) {
    const auto result = RegisterServer(store, kExe);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(result.reason, "");

    EXPECT_EQ(Text(store, "AppID\\" + kDa), Wide("VELK Modbus OPC Server"));
    EXPECT_EQ(Text(store, "AppID\\" + kDa, "RunAs"), Wide("Interactive User"));
    EXPECT_EQ(Text(store, "AppID\\" + kAe), Wide("VELK Alarm/Event OPC Server"));
    EXPECT_EQ(Text(store, "AppID\\" + kAe, "RunAs"), Wide("Interactive User"));
    EXPECT_EQ(Text(store, "AppID\\VelkOpc.EXE", "AppID"), Wide(kDa));

    struct ClassCase {
        std::string clsid, progId, independent, description;
    };
    for (const auto& c : {ClassCase{kDa, "VELK.ModbusOPCServer.1", "VELK.ModbusOPCServer",
                                    "VELK Modbus OPC Server"},
                          ClassCase{kAe, "VELK.AlarmEventServer.1", "VELK.AlarmEventServer",
                                    "VELK Alarm/Event OPC Server"}}) {
        const std::string clsid = "CLSID\\" + c.clsid;
        EXPECT_EQ(Text(store, clsid), Wide(c.description));
        EXPECT_EQ(Text(store, clsid, "AppID"), Wide(c.clsid));
        EXPECT_EQ(Text(store, clsid + "\\ProgID"), Wide(c.progId));
        EXPECT_EQ(Text(store, clsid + "\\VersionIndependentProgID"), Wide(c.independent));
        EXPECT_EQ(Text(store, clsid + "\\LocalServer32"), Wide(kExe));
        EXPECT_EQ(Text(store, clsid + "\\TypeLib"), Wide(std::string(kTypeLibraryId)));
        EXPECT_EQ(Text(store, c.progId), Wide(c.description));
        EXPECT_EQ(Text(store, c.progId + "\\CLSID"), Wide(c.clsid));
        EXPECT_EQ(Text(store, c.independent + "\\CLSID"), Wide(c.clsid));
        EXPECT_EQ(Text(store, c.independent + "\\CurVer"), Wide(c.progId));
    }
    EXPECT_EQ(Text(store, "VELK.ModbusOPCServer\\OPC"), Wide(""));
    EXPECT_EQ(Text(store, "VELK.ModbusOPCServer\\OPC\\Vendor"), Wide("VELK"));
    EXPECT_FALSE(store.KeyExists(Key("VELK.AlarmEventServer\\OPC")));

    const std::string typeLib = "TypeLib\\" + std::string(kTypeLibraryId) + "\\1.0";
    EXPECT_TRUE(Text(store, typeLib).has_value());
    EXPECT_EQ(Text(store, typeLib + "\\0\\win32"), Wide(kExe));

    EXPECT_EQ(Text(store, "Component Categories\\{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}", "409"),
              Wide("OPC Data Access Server Version 2.05"));
    EXPECT_EQ(Text(store, "Component Categories\\{58E13251-AC87-11d1-84D5-00608CB8A7E9}", "409"),
              Wide("OPC Event Servers Version 1.0"));
    EXPECT_TRUE(store.KeyExists(
        Key("CLSID\\" + kDa + "\\Implemented Categories\\{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}")));
    EXPECT_TRUE(store.KeyExists(
        Key("CLSID\\" + kAe + "\\Implemented Categories\\{58E13251-AC87-11d1-84D5-00608CB8A7E9}")));
    EXPECT_FALSE(store.KeyExists(
        Key("CLSID\\" + kDa + "\\Implemented Categories\\{58E13251-AC87-11d1-84D5-00608CB8A7E9}")));
}

TEST_F(RegistrationTest, UnregisterRemovesOnlyTheServersOwnRecords) {
    // Another vendor's server in the same category, registered before us.
    const std::string other = Key("CLSID\\{11111111-2222-3333-4444-555555555555}");
    ASSERT_TRUE(
        store.CreateKey(other + "\\Implemented Categories\\" + std::string(kCatidOpcDaServer20)));
    ASSERT_TRUE(RegisterServer(store, kExe).ok);
    ASSERT_TRUE(RegisterServer(store, kExe).ok) << "registering twice is harmless";

    const auto result = UnregisterServer(store);
    ASSERT_TRUE(result.ok) << result.reason;
    std::vector<std::string> left;
    for (const auto& key : store.Keys()) {
        if (key.starts_with(kClasses + "\\")) left.push_back(key.substr(kClasses.size() + 1));
    }
    EXPECT_EQ(left, (std::vector<std::string>{
                        "AppID",
                        "CLSID",
                        "CLSID\\{11111111-2222-3333-4444-555555555555}",
                        "CLSID\\{11111111-2222-3333-4444-555555555555}\\Implemented Categories",
                        "CLSID\\{11111111-2222-3333-4444-555555555555}\\Implemented "
                        "Categories\\{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}",
                        "Component Categories",
                        "Component Categories\\{58E13251-AC87-11d1-84D5-00608CB8A7E9}",
                        "Component Categories\\{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}",
                        "TypeLib",
                    }));
    EXPECT_EQ(Text(store, "Component Categories\\{63D5F432-CFE4-11d1-B2C8-0060083BA1FB}", "409"),
              Wide("OPC Data Access Server Version 2.05"));

    const auto again = UnregisterServer(store);
    EXPECT_TRUE(again.ok) << "nothing left to remove is not a failure";
}

TEST_F(RegistrationTest, AStoreThatCannotBeWrittenFailsWithAReason) {
    store.SetWritable(false);
    const auto registered = RegisterServer(store, kExe);
    EXPECT_FALSE(registered.ok);
    EXPECT_NE(registered.reason.find("AppID"), std::string::npos) << registered.reason;
    EXPECT_NE(registered.reason.find("not writable"), std::string::npos) << registered.reason;

    const auto unregistered = UnregisterServer(store);
    EXPECT_FALSE(unregistered.ok);
    EXPECT_NE(unregistered.reason.find("VELK.ModbusOPCServer\\OPC"), std::string::npos)
        << unregistered.reason;
}

TEST_F(RegistrationTest, RecordsSurviveTheSettingsFile) {
    const std::string dir = ::testing::TempDir() + "velk_reg_" + std::to_string(::getpid());
    std::filesystem::remove_all(dir);
    {
        RegFileStore file(dir + "/settings.reg");
        ASSERT_TRUE(RegisterServer(file, kExe).ok) << file.Problem();
    }
    RegFileStore reopened(dir + "/settings.reg");
    EXPECT_EQ(Text(reopened, "VELK.ModbusOPCServer\\OPC\\Vendor"), Wide("VELK"));
    EXPECT_EQ(Text(reopened, "CLSID\\" + kAe + "\\LocalServer32"), Wide(kExe));
    ASSERT_TRUE(UnregisterServer(reopened).ok);
    EXPECT_FALSE(reopened.KeyExists(Key("CLSID\\" + kDa)));
    EXPECT_TRUE(
        reopened.KeyExists(Key("Component Categories\\" + std::string(kCatidOpcAeServer10))));
    std::filesystem::remove_all(dir);

    RegFileStore unwritable("/proc/velkopc/settings.reg");
    const auto result = RegisterServer(unwritable, kExe);
    EXPECT_FALSE(result.ok);
    EXPECT_NE(result.reason.find("/proc/velkopc"), std::string::npos) << result.reason;
}

}  // namespace
}  // namespace velk
