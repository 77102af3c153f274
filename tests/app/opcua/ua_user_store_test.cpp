#include "app/opcua/ua_user_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "opcua/security/user_password.h"
#include "platform/linux/owner_only_file.h"
#include "platform/linux/reg_file_store.h"
#include "tests/support/child_process.h"

namespace velk {
namespace {

using testing::TempDirectory;
using ua::security::UaRole;
using ua::security::UaUserRecord;

constexpr ua::security::ScryptCost kCheap{1u << 10, 8, 1};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST(UaUserStoreTest, UsersReadBackFromTheFileAsAnotherProcessWouldFindThem) {
    TempDirectory dir;
    const std::string path = dir.File("settings.reg");
    const std::vector<UaUserRecord> users = {
        {"alice", UaRole::kOperator, ua::security::HashPassword("a", kCheap)},
        {"Bob Smith", UaRole::kViewer, ua::security::HashPassword("b", kCheap)},
    };
    {
        RegFileStore file(path);
        UaUserStore store(file);
        for (const UaUserRecord& user : users) ASSERT_TRUE(store.Save(user)) << file.Problem();
    }
    RegFileStore file(path);
    UaUserStore store(file);
    EXPECT_EQ(store.Load(), users);
    EXPECT_TRUE(store.Exists("ALICE"));
    // Replacing a user keeps one value for the name.
    UaUserRecord demoted = users[0];
    demoted.role = UaRole::kViewer;
    ASSERT_TRUE(store.Save(demoted));
    EXPECT_EQ(store.Load(), (std::vector<UaUserRecord>{demoted, users[1]}));
    ASSERT_TRUE(store.Remove("alice"));
    EXPECT_FALSE(store.Exists("alice"));
    EXPECT_EQ(store.Load(), (std::vector<UaUserRecord>{users[1]}));
    // The text holds no password, only the hashes.
    const std::string text = testing::ReadFile(path);
    EXPECT_NE(text.find("OpcUa\\Users]"), std::string::npos);
    EXPECT_NE(text.find("\"Bob Smith\"=\"Viewer:scrypt$"), std::string::npos);
}

TEST(UaUserStoreTest, ValuesThatAreNoUserRecordsAreSkippedAndNamed) {
    TempDirectory dir;
    const std::string path = dir.File("settings.reg");
    std::ofstream(path) << "Windows Registry Editor Version 5.00\n\n"
                           "["
                        << kUaUsersKey
                        << "]\n"
                           "\"good\"=\"Operator:scrypt$1024$8$1$00$00\"\n"
                           "\"norole\"=\"scrypt$1024$8$1$00$00\"\n"
                           "\"badrole\"=\"Admin:scrypt$1024$8$1$00$00\"\n"
                           "\"clear\"=\"Viewer:secret\"\n"
                           "\"number\"=dword:00000001\n";
    RegFileStore file(path);
    ASSERT_EQ(file.Problem(), "");
    std::vector<std::string> skipped;
    const auto users = UaUserStore(file).Load(&skipped);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(users[0].name, "good");
    EXPECT_EQ(users[0].role, UaRole::kOperator);
    EXPECT_EQ(skipped, (std::vector<std::string>{"norole", "badrole", "clear", "number"}));
}

TEST(UaUserStoreTest, APrivateStoreStaysPrivateThroughLaterWrites) {
    TempDirectory dir;
    const std::string path = dir.File("settings.reg");
    RegFileStore file(path);
    ASSERT_TRUE(file.CreateKey(kUaUsersKey));
    ASSERT_FALSE(IsOwnerOnlyFile(path));  // the store's usual 0644
    std::string error;
    ASSERT_TRUE(RestrictFileToOwner(path, error)) << error;
    EXPECT_EQ(ModeOf(path), 0600u);
    // Every write replaces the file: the replacement must keep the mode.
    ASSERT_TRUE(UaUserStore(file).Save({"carol", UaRole::kViewer, "scrypt$1$8$1$00$00"}));
    ASSERT_TRUE(file.WriteValue(kUaUsersKey, "other", RegValue::Dword(1)));
    EXPECT_EQ(ModeOf(path), 0600u);
    EXPECT_FALSE(RestrictFileToOwner(dir.File("missing.reg"), error));
    EXPECT_NE(error.find("missing.reg"), std::string::npos);
}

}  // namespace
}  // namespace velk
