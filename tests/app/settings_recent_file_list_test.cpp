#include <gtest/gtest.h>

#include "app/recent_file_list.h"
#include "app/server_settings.h"
#include "tests/app/settings_test_doubles.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

using testing::MemorySettingsStore;
using testing::SettableAdmin;

using Entries = std::array<std::string, 4>;

const std::string kUserList = std::string(kUserApplicationKey) + "\\Recent File List";
const std::string kMachineList = std::string(kMachineApplicationKey) + "\\Recent File List";

TEST(RecentFileListTest, AnOpenedOrSavedPathComesFirst) {
    RecentFileList list;
    EXPECT_EQ(list.Count(), 0);
    for (const char* path : {"/a.vlk", "/b.vlk", "/c.vlk", "/d.vlk"}) list.Add(path);
    EXPECT_EQ(list.Entries(), (Entries{"/d.vlk", "/c.vlk", "/b.vlk", "/a.vlk"}));

    list.Add("/e.vlk");  // the oldest falls off
    EXPECT_EQ(list.Entries(), (Entries{"/e.vlk", "/d.vlk", "/c.vlk", "/b.vlk"}));

    list.Add("/c.vlk");  // moves up, no second entry
    EXPECT_EQ(list.Entries(), (Entries{"/c.vlk", "/e.vlk", "/d.vlk", "/b.vlk"}));
    list.Add("/c.vlk");
    EXPECT_EQ(list.Entries(), (Entries{"/c.vlk", "/e.vlk", "/d.vlk", "/b.vlk"}));

    list.Add("");
    EXPECT_EQ(list.Entry(0), "/c.vlk");
    list.Remove(1);
    EXPECT_EQ(list.Entries(), (Entries{"/c.vlk", "/d.vlk", "/b.vlk", ""}));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Entry(4), "");
    EXPECT_EQ(list.Entry(-1), "");
}

TEST(RecentFileListTest, PathsDifferingInCaseAreDifferentFiles) {
    RecentFileList list;
    list.Add("/cfg/Plant.vlk");
    list.Add("/cfg/plant.vlk");
    EXPECT_EQ(list.Count(), 2);
}

TEST(RecentFileListTest, ThePerUserListIsSavedExactlyAndReadBack) {
    MemorySettingsStore store;
    SettingsAccess user(store, std::string(kUserApplicationKey));
    RecentFileList empty;
    empty.Load(user);
    EXPECT_EQ(empty.Count(), 0);
    EXPECT_TRUE(store.Keys().empty()) << "loading creates nothing";

    RecentFileList list;
    for (const char* path : {"/a.vlk", "/b.vlk", "/c.vlk"}) list.Add(path);
    ASSERT_TRUE(store.CreateKey(kUserList));
    ASSERT_TRUE(store.WriteValue(kUserList, "File4", RegValue::String("/stale.vlk")));
    EXPECT_TRUE(list.Save(user));
    EXPECT_EQ(store.ReadValue(kUserList, "File1"), RegValue::String("/c.vlk"));
    EXPECT_EQ(store.ReadValue(kUserList, "File3"), RegValue::String("/a.vlk"));
    EXPECT_EQ(store.ReadValue(kUserList, "File4"), std::nullopt) << "the list holds three now";
    EXPECT_FALSE(store.KeyExists(kMachineList));

    RecentFileList loaded;
    loaded.Load(user);
    EXPECT_EQ(loaded.Entries(), list.Entries());

    store.SetWritable(false);
    EXPECT_FALSE(list.Save(user));
}

TEST(RecentFileListTest, StartUpOpensTheMachineListsFirstEntry) {
    MemorySettingsStore store;
    SettingsAccess machine(store);
    EXPECT_EQ(ReadStartupConfiguration(machine, true), "");
    EXPECT_TRUE(store.Keys().empty());

    ASSERT_TRUE(store.CreateKey(kMachineList));
    ASSERT_TRUE(store.WriteValue(kMachineList, "File1", RegValue::String("?")));
    EXPECT_EQ(ReadStartupConfiguration(machine, true), "") << "\"?\" means none";
    ASSERT_TRUE(store.WriteValue(kMachineList, "File1", RegValue::String("/srv/plant.vlk")));
    EXPECT_EQ(ReadStartupConfiguration(machine, true), "/srv/plant.vlk");
}

TEST(RecentFileListTest, AUsersOpenDoesNotChangeWhatTheNextStartOpens) {
    MemorySettingsStore store;
    SettingsAccess machine(store);
    SettableAdmin admin(true);
    RecentFileList list;
    list.Add("/srv/admin.vlk");
    SaveRecentFiles(machine, list, admin);

    admin.Set(false);
    list.Add("/home/op/mine.vlk");
    SaveRecentFiles(machine, list, admin);
    EXPECT_EQ(ReadStartupConfiguration(machine, true), "/srv/admin.vlk");
}

}  // namespace
}  // namespace velk
