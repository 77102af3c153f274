#pragma once
// CMainFrame: the main window. The menu bar, the "Standard" toolbar and the status bar over
// the device tree (a quarter of the width) and the tag list (three quarters). Commands are
// enabled by the rules of app/main_commands.h; the document does the editing.
#include <QMainWindow>
#include <map>
#include <memory>

#include "app/file_commands.h"
#include "app/main_commands.h"
#include "app/toolbar_layout.h"
#include "gui/application_title.h"
#include "gui/view_commands.h"
#include "model/document_observer.h"

class QAction;
class QMenu;
class QSplitter;
class QToolBar;

namespace velk {
class CDoc;
class ExchangeCommands;
}  // namespace velk

namespace velk::gui {

class DeviceTreeView;
class IGuiHost;
class LockKeyIndicators;
class ToolBarCustomizeDialog;
class ITagSheetDialogs;
class TagListView;
class QtExchangeDialogs;

inline constexpr const char* kMainWindowTitle = kApplicationTitle;

class MainWindow final : public QMainWindow,
                         public IViewCommands,
                         public IDocumentObserver,
                         private IFileCommandUi {
  public:
    MainWindow(IGuiHost& host, ITagSheetDialogs& tagDialogs, QWidget* parent = nullptr);
    ~MainWindow() override;

    // IViewCommands.
    bool IsEnabled(int commandId) override;
    void RunCommand(int commandId) override;
    void PaneActivated(ActivePane pane) override;
    bool DropTags(OTagGroup& target, const QMimeData* data,
                  bool movesListSelection = false) override;

    // IDocumentObserver: hints go to both views; the title and commands follow.
    void OnDocumentUpdate(int hint, OObject* item) override;

    CommandState State() const;
    QAction* Action(int commandId) const;
    // Enables and checks every action by the rules (also run before a menu opens).
    void UpdateCommands();
    DeviceTreeView& Tree() { return *tree_; }
    TagListView& TagList() { return *tagList_; }
    LockKeyIndicators& LockKeys() { return *lockKeys_; }
    QToolBar& StandardToolBar() { return *toolBar_; }
    // "Customize...": the dialog over the toolbar's arrangement, made for the window.
    std::unique_ptr<ToolBarCustomizeDialog> MakeCustomizeDialog();
    // Shows the arrangement on the toolbar and keeps it in the user's profile.
    void ApplyToolBarLayout(const ToolBarLayout& layout);
    const ToolBarLayout& CurrentToolBarLayout() const { return toolBarLayout_; }
    void SetActivePane(ActivePane pane) { pane_ = pane; }
    void UpdateTitle();
    // The look with ID 210..220, applied to the application and stored for the user.
    void ApplyLook(int lookId);
    // Before the window closes or Exit runs: "Save changes to %1?" for unsaved edits; false
    // when the user cancels or the save fails.
    bool ConfirmClose();
    // A configuration file dropped on the window opens as with File Open.
    void OpenDroppedFile(const std::string& path);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    QAction* AddCommand(QMenu* menu, int id, const QString& text,
                        const QList<QKeySequence>& shortcuts = {});
    void BuildMenus();
    void BuildToolBar();
    void ShowToolBarLayout();
    void BuildStatusBar();
    void UpdateRecentFiles();
    void SaveRecentFiles();

    // The commands.
    void DeleteCommand();
    void CopyTags(bool cut);
    void Paste();
    void Properties();
    void ShowHelp();

    // IFileCommandUi.
    SaveChangesAnswer AskSaveChanges(const std::string& question) override;
    bool ChooseOpenPath(std::string& path) override;
    bool ChooseSavePath(const std::string& suggested, std::string& path) override;

    IGuiHost& host_;
    CDoc& document_;
    ITagSheetDialogs& tagDialogs_;
    FileCommands files_;
    std::unique_ptr<QtExchangeDialogs> exchangeDialogs_;
    std::unique_ptr<ExchangeCommands> exchange_;
    std::map<int, QAction*> actions_;
    QMenu* fileMenu_ = nullptr;
    QAction* recentSeparator_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    ToolBarLayout toolBarLayout_;
    QSplitter* splitter_ = nullptr;
    DeviceTreeView* tree_ = nullptr;
    TagListView* tagList_ = nullptr;
    ActivePane pane_ = ActivePane::DeviceTree;
    QTimer* idleUpdate_ = nullptr;
    LockKeyIndicators* lockKeys_ = nullptr;
};

}  // namespace velk::gui
