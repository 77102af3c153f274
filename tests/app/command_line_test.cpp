#include "app/command_line.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

TEST(CommandLine, SwitchesTakeSlashOrDashAndIgnoreCase) {
    EXPECT_EQ(ParseCommandLine({"/REGSERVER"}).command, ShellCommand::Register);
    EXPECT_EQ(ParseCommandLine({"-register"}).command, ShellCommand::Register);
    EXPECT_EQ(ParseCommandLine({"-RegisterPerUser"}).command, ShellCommand::Register);
    EXPECT_EQ(ParseCommandLine({"/RegserverPerUser"}).command, ShellCommand::Register);
    EXPECT_EQ(ParseCommandLine({"-Unregserver"}).command, ShellCommand::Unregister);
    EXPECT_EQ(ParseCommandLine({"/UNREGISTERPERUSER"}).command, ShellCommand::Unregister);
    EXPECT_TRUE(ParseCommandLine({"-embedding"}).embedding);
    EXPECT_TRUE(ParseCommandLine({"/Automation"}).automation);
    EXPECT_TRUE(ParseCommandLine({"-EchoTrace"}).echoTrace);
}

TEST(CommandLine, HelpIsAskedForInEveryUsualSpelling) {
    for (const char* help : {"--help", "-help", "/HELP", "-h", "-?", "/?"}) {
        const CommandLine line = ParseCommandLine({help});
        EXPECT_TRUE(line.help) << help;
        EXPECT_TRUE(line.fileName.empty()) << help;
    }
    EXPECT_FALSE(ParseCommandLine({"/help.vlk"}).help);
}

TEST(CommandLine, EmbeddingAndAutomationAreNotInteractive) {
    EXPECT_TRUE(ParseCommandLine({}).Interactive());
    EXPECT_FALSE(ParseCommandLine({"-Embedding"}).Interactive());
    EXPECT_FALSE(ParseCommandLine({"-Automation"}).Interactive());
}

TEST(CommandLine, FirstFileNameCountsAndUnknownSwitchesAreSetAside) {
    const CommandLine line = ParseCommandLine({"-x", "/data/a.vlk", "/Embedding", "b.vlk"});
    EXPECT_EQ(line.fileName, "/data/a.vlk");  // a path starting with / that is no switch name
    EXPECT_EQ(line.command, ShellCommand::FileOpen);
    EXPECT_TRUE(line.embedding);
    EXPECT_EQ(line.ignored, std::vector<std::string>({"-x"}));
}

TEST(CommandLine, ScreenshotsTakesTheNextArgumentAsItsFolderInAnyCase) {
    const CommandLine line = ParseCommandLine({"/SCREENSHOTS", "/tmp/pictures", "plant.vlk"});
    EXPECT_TRUE(line.screenshots);
    EXPECT_EQ(line.screenshotDirectory, "/tmp/pictures");
    EXPECT_EQ(line.fileName, "plant.vlk");
    EXPECT_TRUE(ParseCommandLine({"-screenshots"}).screenshots);
}

}  // namespace
}  // namespace velk
