#include "gui/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include "exchange/exchange_commands.h"
#include "gui/application_look.h"
#include "gui/device_tree_view.h"
#include "gui/dialogs/device_monitor_dialog.h"
#include "gui/dialogs/options_dialog.h"
#include "gui/dialogs/statistics_dialog.h"
#include "gui/exchange_file_dialogs.h"
#include "gui/gui_host.h"
#include "gui/help.h"
#include "gui/icons.h"
#include "gui/lock_key_indicators.h"
#include "gui/tag_clipboard.h"
#include "gui/tag_list_view.h"
#include "gui/tag_sheet_dialogs.h"
#include "gui/toolbar_customize_dialog.h"
#include "gui/x11_lock_keys.h"
#include "model/c_doc.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "platform/clock.h"

namespace velk::gui {
namespace {
// How often the commands' states are brought up to date while the window idles.
constexpr int kCommandUpdateMs = 200;

QString MenuText(const char* text) { return QString::fromUtf8(text); }

// The "Standard" toolbar in its default order, separators as 0.
std::vector<int> StandardToolBarOrder() {
    constexpr int kSeparator = ToolBarLayout::kSeparator;
    return {ID_FILE_NEW,   ID_FILE_OPEN,    ID_FILE_SAVE, ID_APP_EXIT,   kSeparator,
            ID_EDIT_PORTS, ID_ADD_DEVICE,   ID_ADD_GROUP, ID_ADD_TAG,    ID_EDIT_PROPERTIES,
            kSeparator,    ID_EDIT_CUT,     ID_EDIT_COPY, ID_EDIT_PASTE, ID_EDIT_DELETE,
            kSeparator,    ID_VIEW_MONITOR, kSeparator,   ID_HELP_TOPICS};
}

// The window's first size, and no more of the screen than this share: a large scale factor
// makes the same size take more of a small screen.
constexpr QSize kWindowSize(900, 560);
constexpr int kScreenPercent = 90;

void FitWithinScreen(QWidget& window) {
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return window.resize(kWindowSize);
    const QRect available = screen->availableGeometry();
    const QSize size =
        kWindowSize.boundedTo(available.size() * kScreenPercent / 100).expandedTo(QSize(1, 1));
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, available));
}

// The first local file of a drop, or "".
QString DroppedFile(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) return url.toLocalFile();
    }
    return {};
}

FileTime NowAsFileTime() {
    constexpr FileTime kUnixEpochAsFileTime = 116444736000000000ull;
    return kUnixEpochAsFileTime +
           static_cast<FileTime>(QDateTime::currentMSecsSinceEpoch()) * kFileTimeTicksPerMs;
}
}  // namespace

MainWindow::MainWindow(IGuiHost& host, ITagSheetDialogs& tagDialogs, QWidget* parent)
    : QMainWindow(parent),
      host_(host),
      document_(host.Document()),
      tagDialogs_(tagDialogs),
      files_(
          host.Document(), host.RecentFiles(), *this, [this] { SaveRecentFiles(); },
          [this] { host_.FileOpened(); }),
      exchangeDialogs_(std::make_unique<QtExchangeDialogs>(this)),
      exchange_(std::make_unique<ExchangeCommands>(document_, host.Exchange(),
                                                   exchangeDialogs_.get(), &host, &host)),
      toolBarLayout_(StandardToolBarOrder()) {
    setObjectName("mainWindow");
    setWindowIcon(ApplicationIcon());
    setAcceptDrops(true);  // configuration files, opened as with File Open
    splitter_ = new QSplitter(Qt::Horizontal, this);
    tree_ = new DeviceTreeView(document_, *this, splitter_);
    tagList_ = new TagListView(document_, *this, splitter_);
    splitter_->addWidget(tree_);
    splitter_->addWidget(tagList_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 3);
    setCentralWidget(splitter_);
    BuildMenus();
    BuildToolBar();
    BuildStatusBar();
    FitWithinScreen(*this);
    // One quarter for the tree, three quarters for the list.
    splitter_->setSizes({width() / 4, width() - width() / 4});

    document_.AddObserver(this);
    UpdateTitle();
    idleUpdate_ = new QTimer(this);
    connect(idleUpdate_, &QTimer::timeout, this, [this] { UpdateCommands(); });
    idleUpdate_->start(kCommandUpdateMs);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
            [this] { UpdateCommands(); });
    UpdateCommands();
}

MainWindow::~MainWindow() { document_.RemoveObserver(this); }

QAction* MainWindow::AddCommand(QMenu* menu, int id, const QString& text,
                                const QList<QKeySequence>& shortcuts) {
    auto* action = new QAction(CommandIcon(id), text, this);
    action->setObjectName(QString("command%1").arg(id));
    action->setData(id);
    action->setIconVisibleInMenu(false);
    if (!shortcuts.isEmpty()) action->setShortcuts(shortcuts);
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    if (menu) menu->addAction(action);
    actions_[id] = action;
    return action;
}

void MainWindow::BuildMenus() {
    using QKS = QKeySequence;
    fileMenu_ = menuBar()->addMenu(MenuText("&File"));
    AddCommand(fileMenu_, ID_FILE_NEW, "&New", {QKS("Ctrl+N")});
    AddCommand(fileMenu_, ID_FILE_OPEN, "&Open...", {QKS("Ctrl+O")});
    AddCommand(fileMenu_, ID_FILE_SAVE, "&Save", {QKS("Ctrl+S")});
    AddCommand(fileMenu_, ID_FILE_SAVE_AS, "Save &As...");
    fileMenu_->addSeparator();
    AddCommand(fileMenu_, ID_FILE_IMPORT_RES, "Im&port VELK RES Docu");
    AddCommand(fileMenu_, ID_FILE_REIMPORT_RES, "Reimport &VELK RES Docu");
    fileMenu_->addSeparator();
    AddCommand(fileMenu_, ID_FILE_IMPORT_CSV, "&Import CSV...");
    AddCommand(fileMenu_, ID_FILE_REIMPORT_CSV, "Rei&mport CSV");
    AddCommand(fileMenu_, ID_FILE_EXPORT_CSV, "&Export CSV...");
    AddCommand(fileMenu_, ID_FILE_REEXPORT_CSV, "&Reexport CSV");
    recentSeparator_ = fileMenu_->addSeparator();
    for (int i = 0; i < RecentFileList::kSize; ++i) {
        QAction* recent = AddCommand(fileMenu_, ID_FILE_MRU_FIRST + i, "");
        recent->setVisible(false);
    }
    fileMenu_->addSeparator();
    AddCommand(fileMenu_, ID_APP_EXIT, "E&xit");
    connect(fileMenu_, &QMenu::aboutToShow, this, [this] {
        UpdateRecentFiles();
        UpdateCommands();
    });

    QMenu* add = menuBar()->addMenu(MenuText("&Add"));
    AddCommand(add, ID_ADD_DEVICE, "New &Device...", {QKS("Ctrl+D")});
    AddCommand(add, ID_ADD_GROUP, "New &Group...", {QKS("Ctrl+G")});
    AddCommand(add, ID_ADD_TAG, "New &Tag...", {QKS("Ctrl+T")});
    AddCommand(add, ID_ADD_MULTIPLY, "&Multiply...", {QKS("Ctrl+M")});
    add->addSeparator();
    AddCommand(add, ID_SERVER_OPTIONS, "Server &Options...");

    QMenu* edit = menuBar()->addMenu(MenuText("&Edit"));
    AddCommand(edit, ID_EDIT_CUT, "Cu&t", {QKS("Ctrl+X"), QKS("Shift+Del")});
    AddCommand(edit, ID_EDIT_COPY, "&Copy", {QKS("Ctrl+C"), QKS("Ctrl+Ins")});
    AddCommand(edit, ID_EDIT_PASTE, "&Paste", {QKS("Ctrl+V"), QKS("Shift+Ins")});
    AddCommand(edit, ID_EDIT_DELETE, "&Delete");
    edit->addSeparator();
    AddCommand(edit, ID_EDIT_PORTS, "Po&rts...");
    AddCommand(edit, ID_EDIT_PROPERTIES, "Pr&operties...");

    QMenu* view = menuBar()->addMenu(MenuText("&View"));
    AddCommand(view, ID_VIEW_MONITOR, "&Monitor")->setCheckable(true);
    AddCommand(view, ID_VIEW_DEVICE_MONITOR, "&Device Monitor...");
    AddCommand(view, ID_VIEW_STATISTICS, "Server S&tatistics...");
    view->addSeparator();
    QAction* bar = AddCommand(view, ID_VIEW_STATUS_BAR, "&Status Bar");
    bar->setCheckable(true);
    bar->setChecked(true);
    QMenu* looks = view->addMenu("&Application Look");
    auto* lookGroup = new QActionGroup(this);
    for (const LookInfo& look : Looks()) {
        QAction* action = AddCommand(looks, look.id, look.name);
        action->setCheckable(true);
        lookGroup->addAction(action);
    }
    if (QAction* current = Action(CurrentLook())) current->setChecked(true);

    QMenu* help = menuBar()->addMenu(MenuText("&Help"));
    AddCommand(help, ID_HELP_TOPICS, "&Help Topics");
    AddCommand(help, ID_HELP_ENGLISH, "&English Help Content");
    AddCommand(help, ID_HELP_GERMAN, "&German Help Content");

    for (QMenu* menu : {add, edit, view, help}) {
        connect(menu, &QMenu::aboutToShow, this, [this] { UpdateCommands(); });
    }
}

void MainWindow::BuildToolBar() {
    toolBar_ = addToolBar("Standard");
    toolBar_->setObjectName("Standard");
    toolBar_->setIconSize(QSize(16, 16));
    SettingsAccess user(host_.UserStore(), std::string(kUserApplicationKey));
    toolBarLayout_.Load(user);
    ShowToolBarLayout();
    toolBar_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(toolBar_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        QAction* customize = menu.addAction("Customize...");
        if (menu.exec(toolBar_->mapToGlobal(at)) != customize) return;
        auto dialog = MakeCustomizeDialog();
        if (dialog->exec() == QDialog::Accepted) ApplyToolBarLayout(dialog->Layout());
    });
}

std::unique_ptr<ToolBarCustomizeDialog> MainWindow::MakeCustomizeDialog() {
    return std::make_unique<ToolBarCustomizeDialog>(
        toolBarLayout_, [this](int id) -> const QAction* { return Action(id); }, this);
}

void MainWindow::ApplyToolBarLayout(const ToolBarLayout& layout) {
    toolBarLayout_ = layout;
    ShowToolBarLayout();
    SettingsAccess user(host_.UserStore(), std::string(kUserApplicationKey));
    toolBarLayout_.Save(user);
}

void MainWindow::ShowToolBarLayout() {
    toolBar_->clear();
    for (int id : toolBarLayout_.ShownItems()) {
        if (id == ToolBarLayout::kSeparator) {
            toolBar_->addSeparator();
        } else if (QAction* action = Action(id)) {
            toolBar_->addAction(action);
        }
    }
}

void MainWindow::BuildStatusBar() {
    statusBar()->showMessage("Ready");
    lockKeys_ = new LockKeyIndicators(*statusBar(), QueryX11LockKeys);
}

QAction* MainWindow::Action(int commandId) const {
    auto it = actions_.find(commandId);
    return it == actions_.end() ? nullptr : it->second;
}

CommandState MainWindow::State() const {
    CommandState s;
    s.administrator = host_.IsAdministrator();
    s.clientCount = host_.ClientCount();
    s.pane = pane_;
    OTagGroup* node = document_.selection;
    s.hasCurrentNode = node != nullptr;
    if (node) {
        s.currentNodeInUse = node->useCount != 0 || document_.monitorRunning.load();
        const ODevice* device = node->GetDevice();
        s.currentNodeSerial = device != nullptr && device->params.modbusTcp == 0;
    }
    const std::vector<OModbusTag*> tags = tagList_->SelectedTags();
    s.hasSelectedTag = !tags.empty();
    s.selectedTagInUse = std::any_of(tags.begin(), tags.end(),
                                     [](const OModbusTag* t) { return t->opcReferenceCount != 0; });
    s.clipboardHasTags = OffersTags(QApplication::clipboard()->mimeData());
    s.deviceCount = static_cast<std::int32_t>(document_.rootGroup.subgroupList.size());
    s.monitorRunning = document_.monitorRunning.load();
    return s;
}

bool MainWindow::IsEnabled(int commandId) { return IsCommandEnabled(commandId, State()); }

void MainWindow::UpdateCommands() {
    const CommandState state = State();
    for (auto& [id, action] : actions_) {
        action->setEnabled(IsCommandEnabled(id, state));
        if (id == ID_VIEW_MONITOR) action->setChecked(IsCommandChecked(id, state));
    }
    if (QAction* bar = Action(ID_VIEW_STATUS_BAR)) bar->setChecked(statusBar()->isVisible());
}

void MainWindow::PaneActivated(ActivePane pane) {
    pane_ = pane;
    UpdateCommands();
}

void MainWindow::OnDocumentUpdate(int hint, OObject* item) {
    if (hint == kHintCleared) {
        // A new or opened configuration is shown from its tree: the node selected there is
        // what Delete and Properties act on, even when the tag list had the focus before.
        pane_ = ActivePane::DeviceTree;
        tree_->setFocus();
    }
    tree_->OnDocumentUpdate(hint, item);
    tagList_->OnDocumentUpdate(hint, item);
    if (hint != kHintMonitorRefresh) {
        UpdateTitle();
        UpdateCommands();
    }
}

void MainWindow::UpdateTitle() {
    setWindowTitle(QString::fromStdString(DocumentTitle(document_)) + " - " + kMainWindowTitle);
}

void MainWindow::UpdateRecentFiles() {
    const RecentFileList& recent = host_.RecentFiles();
    for (int i = 0; i < RecentFileList::kSize; ++i) {
        QAction* action = Action(ID_FILE_MRU_FIRST + i);
        const std::string& path = recent.Entry(i);
        action->setVisible(!path.empty());
        action->setText(QString("&%1 %2").arg(i + 1).arg(QString::fromStdString(path)));
    }
}

void MainWindow::SaveRecentFiles() {
    SettingsAccess user(host_.UserStore(), std::string(kUserApplicationKey));
    host_.RecentFiles().Save(user);
}

void MainWindow::RunCommand(int id) {
    UpdateCommands();
    if (!IsEnabled(id)) return;
    if (id >= ID_FILE_MRU_FIRST && id <= ID_FILE_MRU_LAST) {
        files_.OpenRecent(id - ID_FILE_MRU_FIRST);
    } else if (id >= ID_VIEW_LOOK_FIRST && id <= ID_VIEW_LOOK_LAST) {
        ApplyLook(id);
    } else {
        switch (id) {
            case ID_FILE_NEW:
                files_.New();
                break;
            case ID_FILE_OPEN:
                files_.Open();
                break;
            case ID_FILE_SAVE:
                files_.Save();
                break;
            case ID_FILE_SAVE_AS:
                files_.SaveAs();
                break;
            case ID_FILE_IMPORT_RES:
            case ID_FILE_REIMPORT_RES:
            case ID_FILE_IMPORT_CSV:
            case ID_FILE_REIMPORT_CSV:
            case ID_FILE_EXPORT_CSV:
            case ID_FILE_REEXPORT_CSV:
                exchange_->Run(id);
                tree_->OnDocumentUpdate(kHintRebuild, nullptr);
                tagList_->OnDocumentUpdate(kHintRebuild, nullptr);
                break;
            case ID_APP_EXIT:
                host_.Exit();
                break;
            case ID_ADD_DEVICE:
                document_.AddDevice();
                break;
            case ID_ADD_GROUP:
                document_.AddGroup("", false);
                break;
            case ID_ADD_TAG:
                document_.AddTag();
                break;
            case ID_ADD_MULTIPLY:
                if (OModbusTag* tag = tagList_->SelectedTag()) {
                    tagDialogs_.MultiplyTag(this, document_, *tag);
                }
                break;
            case ID_SERVER_OPTIONS: {
                OptionsDialog dialog(host_, this);
                dialog.exec();
                break;
            }
            case ID_EDIT_CUT:
                CopyTags(true);
                break;
            case ID_EDIT_COPY:
                CopyTags(false);
                break;
            case ID_EDIT_PASTE:
                Paste();
                break;
            case ID_EDIT_DELETE:
                DeleteCommand();
                break;
            case ID_EDIT_PORTS:
                document_.EditPorts();
                break;
            case ID_EDIT_PROPERTIES:
                Properties();
                break;
            case ID_VIEW_MONITOR:
                document_.ToggleMonitor();
                break;
            case ID_VIEW_DEVICE_MONITOR: {
                DeviceMonitorDialog dialog(host_, this);
                dialog.exec();
                break;
            }
            case ID_VIEW_STATISTICS: {
                StatisticsDialog dialog(host_, this);
                dialog.exec();
                break;
            }
            case ID_VIEW_STATUS_BAR:
                statusBar()->setVisible(!statusBar()->isVisible());
                break;
            case ID_HELP_TOPICS:
                OpenHelp(HelpLanguageForSystem());
                break;
            case ID_HELP_ENGLISH:
            case ID_HELP_GERMAN:
                // Both open the English manual: it is the only one.
                OpenHelp(HelpLanguage::English);
                break;
            default:
                break;
        }
    }
    // Save, Save As and New change the document's name without a view update.
    UpdateTitle();
    UpdateCommands();
}

void MainWindow::DeleteCommand() {
    if (pane_ == ActivePane::DeviceTree) {
        document_.DeleteSelection();
    } else {
        document_.DeleteTags(tagList_->SelectedTags());
    }
}

void MainWindow::CopyTags(bool cut) {
    const std::vector<OModbusTag*> tags = tagList_->SelectedTags();
    if (tags.empty()) return;
    QApplication::clipboard()->setMimeData(TagsToMime({tags.begin(), tags.end()}).release());
    if (cut) document_.DeleteTags(tags);
}

void MainWindow::Paste() {
    auto tags = TagsFromMime(QApplication::clipboard()->mimeData(), NowAsFileTime());
    if (!tags.empty()) document_.PasteTags(std::move(tags));
}

bool MainWindow::DropTags(OTagGroup& target, const QMimeData* data, bool movesListSelection) {
    // The node whose tags are shown is where the drag came from: nothing to do.
    if (&target == document_.selection) return false;
    // A move whose delete would be refused would leave the tags in both places.
    if (movesListSelection && !document_.CanDeleteTags(tagList_->SelectedTags())) return false;
    auto tags = TagsFromMime(data, NowAsFileTime());
    if (tags.empty()) return false;
    const bool restart = document_.monitorRunning.load();
    if (restart) document_.ToggleMonitor();
    const bool pasted = document_.PasteTagsInto(target, std::move(tags));
    if (restart) document_.ToggleMonitor();
    return pasted;
}

void MainWindow::Properties() {
    if (pane_ == ActivePane::DeviceTree) {
        document_.EditSelectionProperties();
        return;
    }
    OModbusTag* tag = tagList_->SelectedTag();
    if (tag == nullptr) return;
    if (tagDialogs_.EditTag(this, document_, *tag, false)) {
        document_.UpdateAllViews(kHintTagListChanged, tag);
        document_.SetModified();
    }
}

void MainWindow::ApplyLook(int lookId) {
    ApplyApplicationLook(lookId);
    StoreLook(host_.UserStore(), lookId);
    if (QAction* action = Action(lookId)) action->setChecked(true);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // The close rule decides: hide while clients are connected, else end the process.
    event->ignore();
    host_.Exit();
}

bool MainWindow::ConfirmClose() { return files_.SaveModified(); }

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedFile(event->mimeData()).isEmpty() || !IsEnabled(ID_FILE_OPEN)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) return event->ignore();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // Opened once the drop has ended, so that its questions do not hold the dragging program.
    QTimer::singleShot(0, this, [this, file = path.toStdString()] { OpenDroppedFile(file); });
}

void MainWindow::OpenDroppedFile(const std::string& path) {
    UpdateCommands();
    if (!IsEnabled(ID_FILE_OPEN)) return;
    files_.OpenPath(path);
    UpdateTitle();
    UpdateCommands();
}

SaveChangesAnswer MainWindow::AskSaveChanges(const std::string& question) {
    const auto answer = QMessageBox::question(
        this, kMainWindowTitle, QString::fromStdString(question),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes);
    if (answer == QMessageBox::Yes) return SaveChangesAnswer::Yes;
    if (answer == QMessageBox::No) return SaveChangesAnswer::No;
    return SaveChangesAnswer::Cancel;
}

bool MainWindow::ChooseOpenPath(std::string& path) {
    const QString chosen = QFileDialog::getOpenFileName(this, "Open", QString(), kDocumentFilter);
    if (chosen.isEmpty()) return false;
    path = chosen.toStdString();
    return true;
}

bool MainWindow::ChooseSavePath(const std::string& suggested, std::string& path) {
    QFileDialog dialog(this, "Save As", QString::fromStdString(suggested), kDocumentFilter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(kDocumentExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    path = dialog.selectedFiles().first().toStdString();
    return true;
}

}  // namespace velk::gui
