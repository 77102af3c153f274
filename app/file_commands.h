#pragma once
// The File menu's document commands: New, Open, Save, Save As and the recent files, with
// the "Save changes to %1?" question before a document is replaced, the recent-file list
// kept in step, and no reload when the open document's own path is opened again.
#include <functional>
#include <string>

namespace velk {

class CDoc;
class RecentFileList;

inline constexpr const char* kUntitledDocument = "Untitled";
inline constexpr const char* kDocumentFilter = "Velk Configurations (*.vlk)";
inline constexpr const char* kDocumentExtension = "vlk";
// %1: the document's title.
inline constexpr const char* kSaveChangesQuestion = "Save changes to %1?";

enum class SaveChangesAnswer { Yes, No, Cancel };

// The file dialogs and the question, drawn by the GUI, scripted by tests.
class IFileCommandUi {
  public:
    virtual ~IFileCommandUi() = default;
    virtual SaveChangesAnswer AskSaveChanges(const std::string& question) = 0;
    // False on Cancel.
    virtual bool ChooseOpenPath(std::string& path) = 0;
    virtual bool ChooseSavePath(const std::string& suggested, std::string& path) = 0;
};

// The document's title: its file name without folder, or "Untitled".
std::string DocumentTitle(const CDoc& document);

class FileCommands {
  public:
    // recentFilesChanged runs whenever the list changed; opened after every successful File
    // Open (the dialog, a recent file, a dropped file), with the path first in the list.
    FileCommands(CDoc& document, RecentFileList& recentFiles, IFileCommandUi& ui,
                 std::function<void()> recentFilesChanged = {}, std::function<void()> opened = {});

    bool New();
    bool Open();
    // Opens a path (a recent file); the open document's own path is not read again.
    bool OpenPath(const std::string& path);
    // A recent file by its index 0..3; a file that cannot be opened leaves the list.
    bool OpenRecent(int index);
    bool Save();
    bool SaveAs();
    // Asks "Save changes to %1?" for a modified document; false when the user cancels or
    // the save fails.
    bool SaveModified();

  private:
    bool SaveTo(const std::string& path);
    void RememberPath(const std::string& path);
    bool Opened(const std::string& path);

    CDoc& document_;
    RecentFileList& recentFiles_;
    IFileCommandUi& ui_;
    std::function<void()> recentFilesChanged_;
    std::function<void()> opened_;
};

}  // namespace velk
