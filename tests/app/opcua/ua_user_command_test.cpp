// velkopc-config ua-user run as an administrator would, on a settings file of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "app/opcua/ua_user_store.h"
#include "opcua/security/user_directory.h"
#include "platform/linux/reg_file_store.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using testing::ReadFile;
using testing::RunProgram;
using testing::TempDirectory;

class UaUserCommandTest : public ::testing::Test {
  protected:
    struct Run {
        int status;
        std::string output;
    };
    // Runs the tool through the shell so that stdin can be given; extra: environment.
    Run Tool(const std::string& arguments, const std::string& stdinText = "",
             const std::vector<std::string>& extra = {}) {
        std::vector<std::string> environment = {"VELKOPC_SETTINGS=" + settings_};
        environment.insert(environment.end(), extra.begin(), extra.end());
        const std::string command =
            "printf '%s' '" + stdinText + "' | " VELKOPC_CONFIG_BINARY " ua-user " + arguments;
        const std::string out = dir_.File("out.txt");
        const int status = RunProgram("/bin/sh", {"-c", command + " 2>&1"}, environment, out);
        return {status, ReadFile(out)};
    }

    TempDirectory dir_;
    const std::string settings_ = dir_.File("settings.reg");
};

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

TEST_F(UaUserCommandTest, AddedUsersLogInWithTheirRoleAndListShowsNoHash) {
    ASSERT_EQ(Tool("add alice Operator --password-stdin", "s3cret\n").status, 0);
    ASSERT_EQ(Tool("add bob viewer --password-stdin", "pw-of-bob").status, 0);
    EXPECT_EQ(ModeOf(settings_), 0600u);
    const std::string text = ReadFile(settings_);
    EXPECT_EQ(text.find("s3cret"), std::string::npos);

    const Run list = Tool("list");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.output, "alice\tOperator\nbob\tViewer\n");

    RegFileStore file(settings_);
    testing::FakeClock clock;
    ua::security::UaUserDirectory directory(UaUserStore(file).Load(), clock,
                                            [](std::string_view) {});
    const auto alice = directory.Authenticate("alice", "s3cret", "10.0.0.1");
    EXPECT_EQ(alice.status, ua::kGood);
    EXPECT_EQ(alice.role, ua::security::UaRole::kOperator);
    // The line end is not part of the password; bob's had none.
    EXPECT_EQ(directory.Authenticate("alice", "s3cret\n", "10.0.0.2").status,
              ua::kBadUserAccessDenied);
    EXPECT_EQ(directory.Authenticate("bob", "pw-of-bob", "10.0.0.3").role,
              ua::security::UaRole::kViewer);

    ASSERT_EQ(Tool("remove alice").status, 0);
    EXPECT_EQ(Tool("list").output, "bob\tViewer\n");
    // The store's own rewrite keeps the file private.
    EXPECT_EQ(ModeOf(settings_), 0600u);
}

TEST_F(UaUserCommandTest, RefusesWhatCannotBeDoneWithAClearMessage) {
    ASSERT_EQ(Tool("add alice Operator --password-stdin", "pw").status, 0);
    struct Case {
        std::string arguments;
        std::string stdinText;
        std::vector<std::string> environment;
        int status;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"add carol Admin --password-stdin", "pw", {}, 1, "Unknown role \"Admin\""},
        {"add ALICE Viewer --password-stdin", "pw", {}, 1, "The user \"ALICE\" exists already."},
        {"add carol Viewer --password-stdin", "\n", {}, 1, "The password must not be empty."},
        {"add carol Viewer --password-stdin", "", {}, 1, "No password on standard input."},
        {"remove nobody", "", {}, 1, "There is no user \"nobody\"."},
        {"add carol Viewer --password-stdin",
         "pw",
         {"VELKOPC_NOT_ADMIN=1"},
         1,
         "administration rights"},
        {"remove alice", "", {"VELKOPC_NOT_ADMIN=1"}, 1, "administration rights"},
        {"add carol Viewer --verbose", "pw", {}, 2, "usage:"},
        {"rename alice", "", {}, 2, "usage:"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Run run = Tool(c.arguments, c.stdinText, c.environment);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.output.find(c.message), std::string::npos) << run.output;
    }
    // Nothing of the refused commands reached the store, and listing needs no rights.
    const Run list = Tool("list", "", {"VELKOPC_NOT_ADMIN=1"});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.output, "alice\tOperator\n");
}

TEST_F(UaUserCommandTest, AMalformedStoreIsReportedNotOverwritten) {
    const std::string garbage = "this is no registry export\n";
    { std::ofstream(settings_) << garbage; }
    const Run add = Tool("add alice Viewer --password-stdin", "pw");
    EXPECT_EQ(add.status, 1);
    EXPECT_NE(add.output.find("The settings store cannot be used"), std::string::npos);
    EXPECT_EQ(ReadFile(settings_), garbage);
    EXPECT_EQ(Tool("list").status, 1);
}

}  // namespace
}  // namespace velk
