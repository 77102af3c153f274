#include "app/file_commands.h"

#include <gtest/gtest.h>

#include "app/recent_file_list.h"
#include "tests/model/document_test_doubles.h"

namespace velk {
namespace {

using testing::FakeAdmin;
using testing::FakeCounts;
using testing::FakeStorage;
using testing::ScriptedUi;

class ScriptedFileUi final : public IFileCommandUi {
  public:
    SaveChangesAnswer AskSaveChanges(const std::string& question) override {
        questions.push_back(question);
        return answer;
    }
    bool ChooseOpenPath(std::string& path) override {
        path = openPath;
        return !openPath.empty();
    }
    bool ChooseSavePath(const std::string& suggested, std::string& path) override {
        suggestions.push_back(suggested);
        path = savePath;
        return !savePath.empty();
    }
    SaveChangesAnswer answer = SaveChangesAnswer::No;
    std::string openPath, savePath;
    std::vector<std::string> questions, suggestions;
};

class FileCommandsTest : public ::testing::Test {
  protected:
    FileCommandsTest() {
        CDocServices services;
        services.ui = &ui;
        services.admin = &admin;
        services.counts = &counts;
        services.storage = &storage;
        document = std::make_unique<CDoc>(services, ModelSettings{});
        document->OnNewDocument();
        storage.builder = [](CDoc& doc) {
            doc.AddDefaultPorts();
            return true;
        };
        commands = std::make_unique<FileCommands>(
            *document, recent, fileUi, [this] { ++recentSaves; },
            [this] { opened.push_back(recent.Entry(0)); });
    }
    ScriptedUi ui;
    FakeAdmin admin;
    FakeCounts counts;
    FakeStorage storage;
    std::unique_ptr<CDoc> document;
    RecentFileList recent;
    ScriptedFileUi fileUi;
    int recentSaves = 0;
    std::vector<std::string> opened;  // the first recent file at each report of an open
    std::unique_ptr<FileCommands> commands;
};

TEST_F(FileCommandsTest, TheSaveQuestionComesBeforeTheClientsConnectedRefusal) {
    document->SetPathName("/plant/boiler.vlk");
    document->SetModified();
    counts.comLocks = 1;
    fileUi.answer = SaveChangesAnswer::No;
    EXPECT_FALSE(commands->New());
    EXPECT_EQ(fileUi.questions, std::vector<std::string>{"Save changes to boiler.vlk?"});
    EXPECT_EQ(ui.messages, std::vector<std::string>{kMsgClientsConnected});
}

TEST_F(FileCommandsTest, CancelOfTheQuestionKeepsTheDocument) {
    document->SetModified();
    fileUi.answer = SaveChangesAnswer::Cancel;
    fileUi.openPath = "/plant/other.vlk";
    EXPECT_FALSE(commands->Open());
    EXPECT_EQ(fileUi.questions, std::vector<std::string>{"Save changes to Untitled?"});
    EXPECT_TRUE(storage.loadedPaths.empty());
    EXPECT_TRUE(document->IsModified());
}

TEST_F(FileCommandsTest, OpenAndSavePutThePathFirstInTheRecentFiles) {
    recent.Add("/plant/old.vlk");
    fileUi.openPath = "/plant/a.vlk";
    ASSERT_TRUE(commands->Open());
    EXPECT_EQ(recent.Entry(0), "/plant/a.vlk");
    fileUi.savePath = "/plant/b.vlk";
    ASSERT_TRUE(commands->SaveAs());
    EXPECT_EQ(recent.Entry(0), "/plant/b.vlk");
    EXPECT_EQ(recent.Entry(1), "/plant/a.vlk");
    EXPECT_EQ(recent.Entry(2), "/plant/old.vlk");
    EXPECT_EQ(recentSaves, 2);
    EXPECT_EQ(document->PathName(), "/plant/b.vlk");
}

TEST_F(FileCommandsTest, OpeningTheOpenDocumentsPathDoesNotReadItAgain) {
    fileUi.openPath = "/plant/a.vlk";
    ASSERT_TRUE(commands->Open());
    document->SetModified();
    ASSERT_TRUE(commands->OpenPath("/plant/a.vlk"));
    EXPECT_EQ(storage.loadedPaths.size(), 1u);
    EXPECT_TRUE(fileUi.questions.empty());
    EXPECT_TRUE(document->IsModified());
}

TEST_F(FileCommandsTest, SaveOfAnUntitledDocumentAsksForAName) {
    fileUi.savePath = "";
    EXPECT_FALSE(commands->Save());
    EXPECT_EQ(fileUi.suggestions, std::vector<std::string>{"Untitled.vlk"});
    EXPECT_TRUE(storage.savedPaths.empty());
}

TEST_F(FileCommandsTest, ARecentFileThatCannotBeReadLeavesTheList) {
    recent.Add("/plant/gone.vlk");
    recent.Add("/plant/kept.vlk");
    storage.builder = nullptr;
    EXPECT_FALSE(commands->OpenRecent(1));
    EXPECT_EQ(recent.Count(), 1);
    EXPECT_EQ(recent.Entry(0), "/plant/kept.vlk");
}

TEST_F(FileCommandsTest, EveryFileOpenIsReportedWithItsPathFirstButSavesAndFailuresAreNot) {
    // The report is where the machine-wide list is written: the service's next start opens
    // what the user opened last, even after a crash.
    fileUi.openPath = "/plant/a.vlk";
    ASSERT_TRUE(commands->Open());
    fileUi.savePath = "/plant/b.vlk";
    ASSERT_TRUE(commands->SaveAs());
    ASSERT_TRUE(commands->OpenRecent(1));             // a.vlk again
    ASSERT_TRUE(commands->OpenPath("/plant/a.vlk"));  // the open document's own path
    storage.builder = nullptr;
    EXPECT_FALSE(commands->OpenPath("/plant/broken.vlk"));
    EXPECT_EQ(opened, std::vector<std::string>({"/plant/a.vlk", "/plant/a.vlk", "/plant/a.vlk"}));
}

}  // namespace
}  // namespace velk
