// The File menu commands of the exchange: enabling, dialogs and remembered choices.
#include "exchange/exchange_commands.h"

#include <gtest/gtest.h>

#include <deque>

#include "exchange/csv_exporter.h"
#include "exchange/csv_format.h"
#include "exchange/exchange_dialogs.h"
#include "model/document_services.h"
#include "platform/session.h"
#include "tests/exchange/exchange_test_support.h"

namespace velk {
namespace {

using testing::ExchangeFixture;
using testing::FakeAdmin;
using testing::FakeCounts;

class ScriptedDialogs final : public IExchangeDialogs {
  public:
    struct Answer {
        bool ok;
        std::string path;
        std::int32_t filterIndex = 1;
    };
    bool OpenFile(const FileDialogRequest& request, std::string& path) override {
        return Answer(request, path, nullptr);
    }
    bool SaveFile(const FileDialogRequest& request, std::string& path,
                  std::int32_t& filterIndex) override {
        return Answer(request, path, &filterIndex);
    }
    std::deque<Answer> answers;
    std::vector<FileDialogRequest> requests;

  private:
    bool Answer(const FileDialogRequest& request, std::string& path, std::int32_t* filterIndex) {
        requests.push_back(request);
        if (answers.empty()) return false;
        const auto answer = answers.front();
        answers.pop_front();
        path = answer.path;
        if (filterIndex) *filterIndex = answer.filterIndex;
        return answer.ok;
    }
};

class ExchangeMenu : public ::testing::Test, protected ExchangeFixture {
  protected:
    ExchangeCommands Commands() {
        return ExchangeCommands(document, Services(), &dialogs, &admin, &counts);
    }
    std::string TagLine() { return CsvHeaderLine(',') + "\r\nD.T,,INT,400001\r\n"; }

    ScriptedDialogs dialogs;
    FakeAdmin admin;
    FakeCounts counts;
};

TEST_F(ExchangeMenu, EnablingRules) {
    const int all[] = {kIdImportCsv,   kIdReimportCsv, kIdExportCsv,
                       kIdReexportCsv, kIdImportRes,   kIdReimportRes};
    for (int id : all) EXPECT_TRUE(Commands().IsEnabled(id)) << id;
    counts.comLocks = counts.clients = 1;
    EXPECT_FALSE(Commands().IsEnabled(kIdImportCsv));
    EXPECT_FALSE(Commands().IsEnabled(kIdImportRes));
    EXPECT_TRUE(Commands().IsEnabled(kIdReimportCsv));
    EXPECT_TRUE(Commands().IsEnabled(kIdReexportCsv));
    EXPECT_TRUE(Commands().IsEnabled(kIdReimportRes));
    EXPECT_FALSE(Commands().Run(kIdImportCsv));
    EXPECT_TRUE(dialogs.requests.empty());
    admin.admin = false;
    for (int id : all) EXPECT_FALSE(Commands().IsEnabled(id)) << id;
    EXPECT_FALSE(Commands().IsEnabled(12345));
}

TEST_F(ExchangeMenu, ImportRemembersThePathAndMarksModifiedEvenWhenTheImportFails) {
    dialogs.answers.push_back({true, "/missing.csv"});
    EXPECT_FALSE(Commands().Run(kIdImportCsv));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Import CSV file");
    EXPECT_EQ(dialogs.requests[0].filter, "CSV Files (.csv)|*.csv|Unicode Text (*.txt)|*.txt||");
    EXPECT_EQ(dialogs.requests[0].defaultExtension, "csv");
    EXPECT_EQ(document.lastCsvPath, "/missing.csv");
    EXPECT_TRUE(document.IsModified());
    EXPECT_EQ(ui.messages, std::vector<std::string>{"Unable to open file."});
}

TEST_F(ExchangeMenu, CancelChangesNothing) {
    dialogs.answers.push_back({false, ""});
    EXPECT_FALSE(Commands().Run(kIdImportCsv));
    dialogs.answers.push_back({false, ""});
    EXPECT_FALSE(Commands().Run(kIdReimportCsv));
    dialogs.answers.push_back({false, ""});
    EXPECT_FALSE(Commands().Run(kIdExportCsv));
    EXPECT_TRUE(document.lastCsvPath.empty());
    EXPECT_FALSE(document.IsModified());
    EXPECT_TRUE(store.files.empty());
}

TEST_F(ExchangeMenu, ReimportUsesTheRememberedPathInUpdatingMode) {
    ODevice& device = AddDevice("D");
    AddTag(device, "Keep", VT_I2, kHoldingRegister, 0);
    store.files["/tags.csv"] = TagLine();
    // Without a path the dialog asks first, with the CSV filter only.
    dialogs.answers.push_back({true, "/tags.csv"});
    EXPECT_TRUE(Commands().Run(kIdReimportCsv));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].filter, "CSV Files (.csv)|*.csv||");
    EXPECT_NE(document.FindTag("D.Keep", "."), nullptr);  // updating mode deletes nothing
    EXPECT_NE(document.FindTag("D.T", "."), nullptr);
    // With a path it asks no more.
    EXPECT_TRUE(Commands().Run(kIdReimportCsv));
    EXPECT_EQ(dialogs.requests.size(), 1u);
}

TEST_F(ExchangeMenu, ImportReplacesTheNamedDevicesTags) {
    AddTag(AddDevice("D"), "Old", VT_I2, kHoldingRegister, 0);
    store.files["/tags.csv"] = TagLine();
    dialogs.answers.push_back({true, "/tags.csv"});
    EXPECT_TRUE(Commands().Run(kIdImportCsv));
    EXPECT_EQ(document.FindTag("D.Old", "."), nullptr);
    EXPECT_NE(document.FindTag("D.T", "."), nullptr);
}

TEST_F(ExchangeMenu, ExportDialogStartsFromTheRememberedChoices) {
    AddTag(AddDevice("D"), "T", VT_I2, kHoldingRegister, 0);
    document.SetPathName("/plants/vlk/north.vlk");
    dialogs.answers.push_back({true, "/out.txt", kCsvUnicodeText});
    EXPECT_TRUE(Commands().Run(kIdExportCsv));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    const FileDialogRequest& request = dialogs.requests[0];
    EXPECT_EQ(request.title, "Export CSV file");
    EXPECT_EQ(request.filter,
              "CSV Files (ANSI) (*.csv)|*.csv|CSV Files (Unicode) (*.csv)|*.csv|CSV Files (UTF-8) "
              "(*.csv)|*.csv|Unicode Text (*.txt)|*.txt||");
    EXPECT_EQ(request.defaultExtension, "csv");
    EXPECT_EQ(request.filterIndex, 1);  // a new document has chosen none yet
    EXPECT_EQ(request.initialPath, "/plants/csv/north.csv");
    EXPECT_EQ(document.csvFilterIndex, kCsvUnicodeText);
    EXPECT_EQ(document.lastCsvPath, "/out.txt");
    EXPECT_TRUE(store.files.at("/out.txt").starts_with("\xFF\xFEN\0a\0m\0e\0\t\0"));

    dialogs.answers.push_back({true, "/out2.csv", kCsvUtf8});
    EXPECT_TRUE(Commands().Run(kIdExportCsv));
    EXPECT_EQ(dialogs.requests[1].filterIndex, kCsvUnicodeText);
    EXPECT_EQ(dialogs.requests[1].initialPath, "/out.txt");
}

TEST_F(ExchangeMenu, ReexportWritesTheRememberedPathAndFormat) {
    AddTag(AddDevice("D"), "T", VT_I2, kHoldingRegister, 0);
    // Without a path it behaves as Export.
    dialogs.answers.push_back({true, "/a.csv", kCsvUtf8});
    EXPECT_TRUE(Commands().Run(kIdReexportCsv));
    EXPECT_EQ(dialogs.requests.size(), 1u);
    store.files.clear();
    EXPECT_TRUE(Commands().Run(kIdReexportCsv));
    EXPECT_EQ(dialogs.requests.size(), 1u);
    EXPECT_TRUE(store.files.at("/a.csv").starts_with("\xEF\xBB\xBFName,"));
}

TEST_F(ExchangeMenu, TabFileImportedThenReexportedKeepsTheTabFormat) {
    AddTag(AddDevice("D"), "T", VT_I2, kHoldingRegister, 0);
    ASSERT_TRUE(CsvExporter(document, Services()).Export("/t.txt", kCsvUnicodeText));
    document.csvFilterIndex = kCsvAnsi;
    dialogs.answers.push_back({true, "/t.txt"});
    EXPECT_TRUE(Commands().Run(kIdReimportCsv));
    const std::string before = store.files.at("/t.txt");
    store.files.erase("/t.txt");
    EXPECT_TRUE(Commands().Run(kIdReexportCsv));
    EXPECT_EQ(store.files.at("/t.txt"), before);
}

TEST_F(ExchangeMenu, ResCommandsHaveTheirOwnPath) {
    store.files["/r.txt"] =
        "RES R1\r\nVariable    Type    Init    Read    Kind    Write   Event\r\n"
        "A           INT             1\r\n";
    dialogs.answers.push_back({true, "/r.txt"});
    EXPECT_TRUE(Commands().Run(kIdImportRes));
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.requests[0].title, "Import VELK RES Docu file");
    EXPECT_EQ(dialogs.requests[0].filter, "RES Docu Files (.txt)|*.txt||");
    EXPECT_EQ(dialogs.requests[0].defaultExtension, "txt");
    EXPECT_EQ(document.lastResPath, "/r.txt");
    EXPECT_TRUE(document.lastCsvPath.empty());
    EXPECT_NE(document.FindTag("R1.Tags.A", "."), nullptr);
    EXPECT_TRUE(Commands().Run(kIdReimportRes));
    EXPECT_EQ(dialogs.requests.size(), 1u);
}

}  // namespace
}  // namespace velk
