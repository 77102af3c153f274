#include "core/settings_access.h"

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

using testing::MemorySettingsStore;

const std::string kApp(kMachineApplicationKey);
const std::string kTrace = kApp + "\\TraceFile";

RegValue Raw(std::uint32_t type, std::string data) { return RegValue{type, std::move(data)}; }

class SettingsAccessTest : public ::testing::Test {
  protected:
    void Put(const std::string& key, const std::string& name, const RegValue& value) {
        ASSERT_TRUE(store.CreateKey(key));
        ASSERT_TRUE(store.WriteValue(key, name, value));
    }
    MemorySettingsStore store;
    SettingsAccess access{store};
};

TEST_F(SettingsAccessTest, AReadOnlyOpenCreatesNothing) {
    EXPECT_EQ(access.OpenSettingsKey("TraceFile", true), std::nullopt);
    EXPECT_EQ(access.ReadSettingNumber("TraceFile", "FileSize", true, 1024), 1024u);
    EXPECT_EQ(access.ReadSettingText("", "AreaDelimiter", true, "."), ".");
    EXPECT_TRUE(store.Keys().empty());
    EXPECT_TRUE(store.Operations().empty());
}

TEST_F(SettingsAccessTest, AnAdministratorsOpenCreatesTheMissingKeysEmpty) {
    EXPECT_EQ(access.OpenSettingsKey("TraceFile", false), kTrace);
    EXPECT_EQ(access.ReadSettingNumber("Redundancy", "Port", false, 8201), 8201u);
    EXPECT_EQ(access.OpenSettingsKey("", false), kApp);
    EXPECT_TRUE(store.KeyExists("HKEY_LOCAL_MACHINE\\Software\\VELK"));
    EXPECT_TRUE(store.KeyExists(kApp + "\\Redundancy"));
    EXPECT_TRUE(store.ValueNames(kTrace).empty());
    EXPECT_TRUE(store.ValueNames(kApp + "\\Redundancy").empty());
    EXPECT_TRUE(store.WrittenNames().empty()) << "reading never writes a value";
    EXPECT_EQ(access.OpenSettingsKey("TraceFile", true), kTrace);
}

TEST_F(SettingsAccessTest, NumbersAreReadFromTheDataWhateverItsType) {
    struct Case {
        const char* name;
        RegValue value;
        std::uint32_t expected;
    };
    const std::vector<Case> cases = {
        {"Dword", RegValue::Dword(0x12345678), 0x12345678},
        {"StringOne", RegValue::String("1"), 0x31},  // "1" and its terminating zero: 4 bytes
        {"TwoBytes", Raw(REG_BINARY, "\x34\x12"), 0x1234},
        {"NoBytes", Raw(REG_BINARY, ""), 0},
        {"FourBinary", Raw(REG_BINARY, std::string("\x01\x00\x00\x80", 4)), 0x80000001},
        {"EightBytes", Raw(REG_QWORD, std::string(8, '\x01')), 77},
        {"LongString", RegValue::String("12"), 77},  // 6 bytes
    };
    for (const auto& c : cases) Put(kTrace, c.name, c.value);
    for (const auto& c : cases) {
        EXPECT_EQ(access.ReadSettingNumber("TraceFile", c.name, true, 77), c.expected) << c.name;
    }
    EXPECT_EQ(access.ReadSettingNumber("TraceFile", "Missing", true, 77), 77u);
    EXPECT_EQ(access.ReadSettingNumber("Shutdown", "OnCommFail", true, 0xFFFFFFFF), 0xFFFFFFFFu);
}

TEST_F(SettingsAccessTest, TextsAreReadFromTheDataWhateverItsType) {
    Put(kTrace, "Name", RegValue::String("/var/log/velk.txt"));
    Put(kTrace, "Unicode", RegValue::String("Zürich €"));
    Put(kTrace, "NoTerminator", Raw(REG_SZ, Utf8ToUtf16LeBytes("abc")));
    Put(kTrace, "Dword", Raw(REG_DWORD, std::string("B\0A\0", 4)));
    Put(kTrace, "Multi", Raw(REG_MULTI_SZ, std::string("a\0\0\0b\0\0\0\0\0", 10)));
    Put(kTrace, "Odd", Raw(REG_SZ, std::string("x\0y", 3)));
    Put(kTrace, "Empty", RegValue::String(""));
    EXPECT_EQ(access.ReadSettingText("TraceFile", "Name", true, "d"), "/var/log/velk.txt");
    EXPECT_EQ(access.ReadSettingText("TraceFile", "Unicode", true, "d"), "Zürich €");
    EXPECT_EQ(access.ReadSettingText("TraceFile", "NoTerminator", true, "d"), "abc");
    EXPECT_EQ(access.ReadSettingText("TraceFile", "Dword", true, "d"), "BA");
    EXPECT_EQ(access.ReadSettingText("TraceFile", "Multi", true, "d"), "a");
    EXPECT_EQ(access.ReadSettingText("TraceFile", "Odd", true, "d"), "x");
    EXPECT_EQ(access.ReadSettingText("TraceFile", "Empty", true, "d"), "");
    EXPECT_EQ(access.ReadSettingText("TraceFile", "Missing", true, "d"), "d");
    EXPECT_EQ(access.ReadSettingText("Redundancy", "AlternateServer", false, "none"), "none");
}

TEST_F(SettingsAccessTest, WritesStoreRegistryNumbersAndStrings) {
    EXPECT_TRUE(access.WriteSettingNumber("Shutdown", "OnCommFail", 0xFFFFFFFF));
    EXPECT_TRUE(access.WriteSettingText("", "AreaDelimiter", "/"));
    EXPECT_EQ(store.ReadValue(kApp + "\\Shutdown", "OnCommFail"),
              Raw(REG_DWORD, std::string(4, '\xFF')));
    EXPECT_EQ(store.ReadValue(kApp, "AreaDelimiter"), Raw(REG_SZ, std::string("/\0\0\0", 4)));

    store.SetWritable(false);
    EXPECT_FALSE(access.WriteSettingNumber("Shutdown", "OnCommFail", 5));
    EXPECT_FALSE(access.WriteSettingText("Redundancy", "AlternateServer", "peer"));
    EXPECT_EQ(access.ReadSettingNumber("Shutdown", "OnCommFail", true, 0), 0xFFFFFFFFu);
}

TEST_F(SettingsAccessTest, AnotherRootServesThePerUserStore) {
    SettingsAccess user(store, std::string(kUserApplicationKey));
    EXPECT_TRUE(user.WriteSettingText("Recent File List", "File1", "/home/op/a.vlk"));
    EXPECT_TRUE(store.KeyExists(
        "HKEY_CURRENT_USER\\Software\\VELK\\VELK A&E OPC Server\\Recent File List"));
    EXPECT_FALSE(store.KeyExists(kApp));
}

}  // namespace
}  // namespace velk
