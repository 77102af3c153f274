#include "app/opcua/ua_user_store.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/linux/reg_file_store.h"
#include "tests/support/child_process.h"

namespace velk {
namespace {

using testing::TempDirectory;
using ua::security::UaRole;

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

}  // namespace
}  // namespace velk
