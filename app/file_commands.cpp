#include "app/file_commands.h"

#include "app/recent_file_list.h"
#include "model/c_doc.h"

namespace velk {

std::string DocumentTitle(const CDoc& document) {
    const std::string& path = document.PathName();
    if (path.empty()) return kUntitledDocument;
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileCommands::FileCommands(CDoc& document, RecentFileList& recentFiles, IFileCommandUi& ui,
                           std::function<void()> recentFilesChanged, std::function<void()> opened)
    : document_(document),
      recentFiles_(recentFiles),
      ui_(ui),
      recentFilesChanged_(std::move(recentFilesChanged)),
      opened_(std::move(opened)) {}

bool FileCommands::SaveModified() {
    if (!document_.IsModified()) return true;
    std::string question = kSaveChangesQuestion;
    question.replace(question.find("%1"), 2, DocumentTitle(document_));
    switch (ui_.AskSaveChanges(question)) {
        case SaveChangesAnswer::Yes:
            return Save();
        case SaveChangesAnswer::No:
            return true;
        case SaveChangesAnswer::Cancel:
            break;
    }
    return false;
}

bool FileCommands::New() {
    // The question comes first; the document refuses afterwards while clients are connected.
    if (!SaveModified()) return false;
    return document_.OnNewDocument();
}

bool FileCommands::Open() {
    std::string path;
    if (!ui_.ChooseOpenPath(path)) return false;
    return OpenPath(path);
}

bool FileCommands::OpenPath(const std::string& path) {
    if (!document_.PathName().empty() && path == document_.PathName()) return Opened(path);
    if (!SaveModified()) return false;
    if (!document_.OnOpenDocument(path)) return false;
    return Opened(path);
}

bool FileCommands::OpenRecent(int index) {
    const std::string path = recentFiles_.Entry(index);
    if (path.empty()) return false;
    if (!document_.PathName().empty() && path == document_.PathName()) return OpenPath(path);
    if (!SaveModified()) return false;
    if (document_.OnOpenDocument(path)) return Opened(path);
    // A file that could not be opened leaves the list (the user was told why).
    recentFiles_.Remove(index);
    if (recentFilesChanged_) recentFilesChanged_();
    return false;
}

bool FileCommands::Save() {
    if (document_.PathName().empty()) return SaveAs();
    return SaveTo(document_.PathName());
}

bool FileCommands::SaveAs() {
    std::string suggested = document_.PathName();
    if (suggested.empty()) suggested = std::string(kUntitledDocument) + "." + kDocumentExtension;
    std::string path;
    if (!ui_.ChooseSavePath(suggested, path)) return false;
    return SaveTo(path);
}

bool FileCommands::SaveTo(const std::string& path) {
    if (!document_.OnSaveDocument(path)) return false;
    RememberPath(path);
    return true;
}

bool FileCommands::Opened(const std::string& path) {
    RememberPath(path);
    if (opened_) opened_();
    return true;
}

void FileCommands::RememberPath(const std::string& path) {
    recentFiles_.Add(path);
    if (recentFilesChanged_) recentFilesChanged_();
}

}  // namespace velk
