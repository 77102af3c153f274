// The main window as a user meets it: the enabling rules for administrators, plain users
// and connected clients, the monitor's texts, sorting, paste and drop, and the dialogs'
// refusals. Runs on Qt's offscreen platform; the mouse drags of tags on a virtual X display.
#include "gui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWindow>
#include <QtTest>
#include <mutex>

#include "gui/device_tree_view.h"
#include "gui/dialogs/comm_alarms_dialog.h"
#include "gui/dialogs/device_dialog.h"
#include "gui/dialogs/options_dialog.h"
#include "gui/dialogs/sparkplug_dialog.h"
#include "gui/dialogs/statistics_dialog.h"
#include "gui/dialogs/ua_dialog.h"
#include "gui/gui_front.h"
#include "gui/lock_key_indicators.h"
#include "gui/tag_clipboard.h"
#include "gui/tag_list_view.h"
#include "gui/toolbar_customize_dialog.h"
#include "gui/x11_lock_keys.h"
#include "model/locks.h"
#include "tests/gui/gui_test_doubles.h"
#include "tests/gui/x11_caps_lock.h"
#include "tests/support/fake_clock.h"

using namespace velk;
using namespace velk::testing;

namespace {

// The editing commands of the menus, which a plain user never gets.
const int kEditingCommands[] = {ID_FILE_NEW,          ID_FILE_OPEN,         ID_FILE_SAVE,
                                ID_FILE_SAVE_AS,      ID_FILE_IMPORT_RES,   ID_FILE_REIMPORT_RES,
                                ID_FILE_IMPORT_CSV,   ID_FILE_REIMPORT_CSV, ID_FILE_EXPORT_CSV,
                                ID_FILE_REEXPORT_CSV, ID_ADD_DEVICE,        ID_ADD_GROUP,
                                ID_ADD_TAG,           ID_ADD_MULTIPLY,      ID_SERVER_OPTIONS,
                                ID_EDIT_CUT,          ID_EDIT_COPY,         ID_EDIT_PASTE,
                                ID_EDIT_DELETE,       ID_EDIT_PORTS,        ID_EDIT_PROPERTIES};

QStringList Column(const gui::TagListView& list, int column) {
    QStringList texts;
    for (int i = 0; i < list.topLevelItemCount(); ++i) texts << list.topLevelItem(i)->text(column);
    return texts;
}

// Drags the tag list's row with the mouse through Qt's own drag loop and lets it go over
// the tree node. The loop runs inside the move that starts the drag, so the move over the
// tree and the release wait on a timer that only that loop can run; returns whether it ran
// (whether a drag started).
bool DragRowOntoNode(gui::MainWindow& window, int row, const OTagGroup& node,
                     Qt::KeyboardModifiers modifiers) {
    QWidget* list = window.TagList().viewport();
    QWidget* tree = window.Tree().viewport();
    const QPoint from =
        window.TagList().visualItemRect(window.TagList().topLevelItem(row)).center();
    const QPoint to =
        tree->mapToGlobal(window.Tree().visualItemRect(window.Tree().ItemOf(&node)).center());
    QWindow* handle = window.windowHandle();
    // The press and the moves that start the drag go to the list, at a point of its own; what
    // the drag loop sees goes to the window, at a point of the screen, with the modifiers.
    auto toList = [&](QEvent::Type type, QPoint at, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, at, list->mapToGlobal(at), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(list, &event);
    };
    auto toWindow = [&](QEvent::Type type, QPoint at, Qt::MouseButton button,
                        Qt::MouseButtons buttons) {
        const QPoint local = handle->mapFromGlobal(at);
        QMouseEvent event(type, local, local, at, button, buttons, modifiers);
        QCoreApplication::sendEvent(handle, &event);
    };
    // The X11 drag of a previous call ends asynchronously (its drag icon is unmapped by the
    // server); a new one started before that finds no window under the pointer.
    QTest::qWait(200);
    bool dragged = false;
    QTimer drop;
    drop.setSingleShot(true);
    QObject::connect(&drop, &QTimer::timeout, [&] {
        dragged = true;
        toWindow(QEvent::MouseMove, to - QPoint(2, 0), Qt::NoButton, Qt::LeftButton);
        toWindow(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        toWindow(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    });
    toList(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    drop.start(0);
    // The first move arms the view's drag, the second, beyond the drag distance, starts it.
    for (int step : {1, QApplication::startDragDistance() + 4}) {
        toList(QEvent::MouseMove, from + QPoint(0, step), Qt::NoButton, Qt::LeftButton);
    }
    if (!dragged) toList(QEvent::MouseButtonRelease, from, Qt::LeftButton, Qt::NoButton);
    return dragged;
}

// Counts the events of one type that reach the object it filters.
class EventCounter final : public QObject {
  public:
    EventCounter(QEvent::Type type, int& count) : type_(type), count_(count) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) ++count_;
        return false;
    }

  private:
    QEvent::Type type_;
    int& count_;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

  private:
    std::vector<std::string> messages_;

  private slots:
    void init() {
        messages_.clear();
        gui::QtMessageBox::Record([this](const std::string& text, MessageKind) {
            messages_.push_back(text);
            return false;
        });
        QApplication::clipboard()->clear();
    }
    void cleanup() { gui::QtMessageBox::Record({}); }

    void plainUserSeesEverythingAndMonitorsButEditsNothing() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        host.admin.admin = false;
        ODevice& device = host.AddDevice("Boiler", {"Level", "Pump"});
        gui::MainWindow window(host, dialogs);
        host.ui.Attach(&window, &window.TagList(), &host.Document());
        window.TagList().topLevelItem(0)->setSelected(true);
        QApplication::clipboard()->setMimeData(
            gui::TagsToMime({device.tagList.front().get()}).release());

        QCOMPARE(window.Tree().topLevelItemCount(), 1);
        QCOMPARE(window.TagList().topLevelItemCount(), 2);
        for (ActivePane pane : {ActivePane::DeviceTree, ActivePane::TagList}) {
            window.SetActivePane(pane);
            window.UpdateCommands();
            for (int id : kEditingCommands) {
                QVERIFY2(!window.Action(id)->isEnabled(), qPrintable(QString::number(id)));
            }
        }
        QVERIFY(window.Action(ID_VIEW_MONITOR)->isEnabled());
        QVERIFY(window.Action(ID_VIEW_STATISTICS)->isEnabled());
        QVERIFY(window.Action(ID_APP_EXIT)->isEnabled());
        window.RunCommand(ID_VIEW_MONITOR);
        QVERIFY(host.document->monitorRunning.load());
        QVERIFY(window.Action(ID_VIEW_MONITOR)->isChecked());
        QVERIFY(window.TagList().RefreshTimerActive());
        window.RunCommand(ID_VIEW_MONITOR);
        QVERIFY(!window.TagList().RefreshTimerActive());
    }

    void connectedClientDisablesImportsAndDeleteButNotReimport() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        host.AddDevice("Boiler", {"Level"});
        gui::MainWindow window(host, dialogs);
        window.TagList().topLevelItem(0)->setSelected(true);
        host.counts.clients = 1;
        for (ActivePane pane : {ActivePane::DeviceTree, ActivePane::TagList}) {
            window.SetActivePane(pane);
            window.UpdateCommands();
            QVERIFY(!window.Action(ID_FILE_IMPORT_CSV)->isEnabled());
            QVERIFY(!window.Action(ID_FILE_IMPORT_RES)->isEnabled());
            QVERIFY(!window.Action(ID_EDIT_DELETE)->isEnabled());
            QVERIFY(!window.Action(ID_SERVER_OPTIONS)->isEnabled());
            QVERIFY(window.Action(ID_FILE_REIMPORT_CSV)->isEnabled());
            QVERIFY(window.Action(ID_FILE_REIMPORT_RES)->isEnabled());
            QVERIFY(window.Action(ID_VIEW_DEVICE_MONITOR)->isEnabled());
        }
        // The Delete key of the list goes through the same rule.
        QTest::keyClick(&window.TagList(), Qt::Key_Delete);
        QCOMPARE(host.document->selection->tagList.size(), std::size_t{1});

        host.counts.clients = 0;
        window.UpdateCommands();
        QVERIFY(window.Action(ID_EDIT_DELETE)->isEnabled());
        QVERIFY(!window.Action(ID_VIEW_DEVICE_MONITOR)->isEnabled());
        QTest::keyClick(&window.TagList(), Qt::Key_Delete);
        QCOMPARE(host.document->selection->tagList.size(), std::size_t{0});
    }

    void doubleClickAndMultiplyOpenTheTagDialogsForTheSelectedTag() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        host.AddDevice("Boiler", {"Level", "Pump"});
        gui::MainWindow window(host, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto& list = window.TagList();
        const QRect row = list.visualItemRect(list.topLevelItem(1));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, row.center());
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, row.center());
        QCOMPARE(dialogs.editedTags, std::vector<std::string>({"Pump"}));
        window.RunCommand(ID_ADD_MULTIPLY);
        QCOMPARE(dialogs.multipliedTags, std::vector<std::string>({"Pump"}));
    }

    void newTagAndPropertiesOpenTheSheetForTheirTag() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& device = host.AddDevice("Boiler", {"Level", "Pump"});
        gui::MainWindow window(host, dialogs);
        host.ui.Attach(&window, &window.TagList(), host.document.get());  // as the front does
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.RunCommand(ID_ADD_TAG);
        QCOMPARE(dialogs.newTagFlags, std::vector<bool>({true}));
        QCOMPARE(dialogs.editedTags.size(), std::size_t{1});
        QCOMPARE(device.tagList.size(), std::size_t{2});  // the sheet was cancelled
        auto& list = window.TagList();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          list.visualItemRect(list.topLevelItem(0)).center());
        window.RunCommand(ID_EDIT_PROPERTIES);
        QCOMPARE(dialogs.editedTags.back(), std::string("Level"));
        QCOMPARE(dialogs.newTagFlags, std::vector<bool>({true, false}));
    }

    void portsNeedASerialDevice() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        host.AddDevice("Tcp", {}, true);
        gui::MainWindow window(host, dialogs);
        window.UpdateCommands();
        QVERIFY(!window.Action(ID_EDIT_PORTS)->isEnabled());
        host.AddDevice("Serial", {});
        host.document->UpdateAllViews(kHintRebuild);
        QVERIFY(window.Action(ID_EDIT_PORTS)->isEnabled());
    }

    void monitorShowsValueTextsWithQualities() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& device = host.AddDevice("Boiler", {});
        OModbusTag& real = host.AddTag(device, "A_Real", VT_R4, 1);
        OModbusTag& dbl = host.AddTag(device, "B_Double", VT_R8, 3);
        OModbusTag& flag = host.AddTag(device, "C_Flag", VT_BOOL, 5);
        OModbusTag& bad = host.AddTag(device, "D_Bad", VT_I2, 6);
        {
            std::lock_guard data(device.Locks().tagData);
            real.value = Variant::Float(1.5f);
            real.quality = kQualityGood;
            dbl.value = Variant::Double(1.5);
            dbl.quality = kQualityGood;
            flag.value = Variant::Bool(true);
            flag.quality = kQualityUncertain;
            bad.value = Variant::Int16(-7);
            bad.quality = kQualityCommFailure;
        }
        gui::MainWindow window(host, dialogs);
        host.ui.Attach(&window, &window.TagList(), &host.Document());
        window.RunCommand(ID_VIEW_MONITOR);
        host.document->UpdateAllViews(kHintMonitorRefresh);
        QCOMPARE(Column(window.TagList(), 4),
                 QStringList({"1.500000", "1.5 ", "On (uncertain)", "-7 (bad)"}));
        // The time stamp: date, then hours to milliseconds.
        QVERIFY(QRegularExpression(R"(^.+ \d\d:\d\d:\d\d\.\d\d\d$)")
                    .match(window.TagList().topLevelItem(0)->text(5))
                    .hasMatch());
        window.RunCommand(ID_VIEW_MONITOR);
    }

    void headerClicksSortUpThenDownThenUpAgain() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& device = host.AddDevice("Boiler", {});
        host.AddTag(device, "beta", VT_I2, 0).description = "z";
        host.AddTag(device, "Alpha", VT_BOOL, 0).description = "y";
        host.AddTag(device, "gamma", VT_I2, 1).description = "x";
        gui::MainWindow window(host, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto& list = window.TagList();
        QHeaderView* header = list.header();
        const int descriptionX = header->sectionViewportPosition(3) + 5;
        const int nameX = header->sectionViewportPosition(0) + 5;
        auto click = [header](int x) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
        };
        click(descriptionX);
        QCOMPARE(Column(list, 0), QStringList({"gamma", "Alpha", "beta"}));
        click(nameX);
        QCOMPARE(Column(list, 0), QStringList({"Alpha", "beta", "gamma"}));
        click(nameX);
        QCOMPARE(Column(list, 0), QStringList({"gamma", "beta", "Alpha"}));
        click(nameX);
        QCOMPARE(Column(list, 0), QStringList({"Alpha", "beta", "gamma"}));
    }

    void pasteAnsweredWithCancelInsertsNoneOfTheTags() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& source = host.AddDevice("Source", {"Level", "Flow", "Pump"});
        host.AddDevice("Target", {"Level"});
        std::vector<const OModbusTag*> copied;
        for (const char* name : {"Level", "Flow", "Pump"})
            copied.push_back(source.FindOwnTag(name));
        QApplication::clipboard()->setMimeData(gui::TagsToMime(copied).release());
        gui::MainWindow window(host, dialogs);
        host.ui.Attach(&window, &window.TagList(), &host.Document());
        const std::size_t tagsBefore = host.document->documentTagList.size();

        window.RunCommand(ID_EDIT_PASTE);

        QCOMPARE(dialogs.answers.copyQuestions, std::vector<std::string>({"Level"}));
        QCOMPARE(host.document->selection->tagList.size(), std::size_t{1});
        QCOMPARE(host.document->documentTagList.size(), tagsBefore);
        QCOMPARE(window.TagList().topLevelItemCount(), 1);
    }

    void dropOnTheShownNodeChangesNothingAndOnAnotherCopies() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& other = host.AddDevice("Other", {});
        ODevice& shown = host.AddDevice("Shown", {"Level", "Flow"});
        gui::MainWindow window(host, dialogs);
        auto mime = gui::TagsToMime({shown.tagList[0].get(), shown.tagList[1].get()});
        const std::size_t tagsBefore = host.document->documentTagList.size();

        QVERIFY(!window.DropTags(shown, mime.get()));
        QCOMPARE(shown.tagList.size(), std::size_t{2});
        QCOMPARE(host.document->documentTagList.size(), tagsBefore);
        QVERIFY(!host.document->IsModified());

        QVERIFY(window.DropTags(other, mime.get()));
        QCOMPARE(other.tagList.size(), std::size_t{2});
        QCOMPARE(other.tagList[0]->device, &other);
        QCOMPARE(host.document->documentTagList.size(), tagsBefore + 2);
    }

    void draggingRowsOntoATreeNodeMovesOrWithCtrlCopiesThem() {
        if (QGuiApplication::platformName() == "offscreen") {
            QSKIP("Qt's offscreen platform has no drag loop: runs on a virtual X display");
        }
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& copies = host.AddDevice("Copies", {});
        ODevice& moves = host.AddDevice("Moves", {});
        ODevice& shown = host.AddDevice("Shown", {"Flow", "Level"});
        gui::MainWindow window(host, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const std::size_t tagsBefore = host.document->documentTagList.size();

        // A tag that an OPC group uses is not dragged; onto the node it came from a tag is
        // neither copied nor deleted.
        window.TagList().topLevelItem(0)->setSelected(true);
        shown.tagList[0]->opcReferenceCount = 1;
        QVERIFY(!DragRowOntoNode(window, 0, copies, Qt::NoModifier));
        shown.tagList[0]->opcReferenceCount = 0;
        QVERIFY(DragRowOntoNode(window, 0, shown, Qt::NoModifier));
        QCOMPARE(shown.tagList.size(), std::size_t{2});
        QVERIFY(!host.document->IsModified());

        QVERIFY(DragRowOntoNode(window, 0, copies, Qt::ControlModifier));
        QCOMPARE(copies.tagList.size(), std::size_t{1});
        QCOMPARE(copies.tagList[0]->name, std::string("Flow"));
        QCOMPARE(copies.tagList[0]->device, &copies);
        QCOMPARE(shown.tagList.size(), std::size_t{2});
        QCOMPARE(host.document->documentTagList.size(), tagsBefore + 1);

        window.TagList().topLevelItem(1)->setSelected(true);
        // With a client connected the delete would be refused: the move pastes nothing.
        host.counts.clients = 1;
        QVERIFY(DragRowOntoNode(window, 1, moves, Qt::NoModifier));
        QCOMPARE(moves.tagList.size(), std::size_t{0});
        QCOMPARE(shown.tagList.size(), std::size_t{2});
        host.counts.clients = 0;
        QVERIFY(DragRowOntoNode(window, 1, moves, Qt::NoModifier));
        QCOMPARE(moves.tagList.size(), std::size_t{2});
        QCOMPARE(shown.tagList.size(), std::size_t{0});
        QCOMPARE(window.TagList().topLevelItemCount(), 0);
        QCOMPARE(host.document->documentTagList.size(), tagsBefore + 1);
        QVERIFY(host.document->IsModified());
    }

    void customizedToolBarOrderIsShownAndKeptForTheNextWindow() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        auto buttons = [](QToolBar& bar) {
            QList<int> ids;
            for (QAction* action : bar.actions()) ids << action->data().toInt();
            return ids;
        };
        QList<int> arranged;
        {
            gui::MainWindow window(host, dialogs);
            const QList<int> before = buttons(window.StandardToolBar());
            QCOMPARE(before.first(), ID_FILE_NEW);
            auto dialog = window.MakeCustomizeDialog();
            QListWidget& list = dialog->List();
            // "Help Topics" (last) up past the "Monitor" separator, "New" hidden.
            list.setCurrentRow(list.count() - 1);
            auto* up = dialog->findChild<QPushButton*>("moveUp");
            QTest::mouseClick(up, Qt::LeftButton);
            QTest::mouseClick(up, Qt::LeftButton);
            QCOMPARE(list.currentRow(), list.count() - 3);
            list.item(0)->setCheckState(Qt::Unchecked);
            QCOMPARE(buttons(window.StandardToolBar()), before);  // nothing before OK
            window.ApplyToolBarLayout(dialog->Layout());
            arranged = buttons(window.StandardToolBar());
            QVERIFY(!arranged.contains(ID_FILE_NEW));
            QCOMPARE(arranged.indexOf(ID_HELP_TOPICS) + 1, arranged.indexOf(ID_VIEW_MONITOR));
            QCOMPARE(arranged.last(), ID_VIEW_MONITOR);  // no separator left at the end
        }
        gui::MainWindow next(host, dialogs);
        QCOMPARE(buttons(next.StandardToolBar()), arranged);
    }

    void lockKeyIndicatorsFollowThePressedKeysAndTheDisplaysReport() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        gui::MainWindow window(host, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto text = [&](LockKey key) { return window.LockKeys().Label(key)->text(); };
        const LockKeyState before = window.LockKeys().State();
        // Through the window as the display delivers keys; each press toggles once although
        // the event travels on to the widgets. An X server's own indicators (which these
        // synthetic keys do not change) are believed instead.
        const bool counted = !gui::QueryX11LockKeys().has_value();
        QTest::keyClick(window.windowHandle(), Qt::Key_CapsLock);
        QTest::keyClick(window.windowHandle(), Qt::Key_ScrollLock);
        QCOMPARE(window.LockKeys().State().caps, before.caps != counted);
        QCOMPARE(window.LockKeys().State().num, before.num);
        QCOMPARE(text(LockKey::Caps), before.caps != counted ? QString("CAP") : QString());
        QCOMPARE(text(LockKey::Scroll), before.scroll != counted ? QString("SCRL") : QString());
        QTest::keyClick(window.windowHandle(), Qt::Key_CapsLock);
        QCOMPARE(window.LockKeys().State().caps, before.caps);

        // A display that reports its indicators is asked again at each lock key.
        QStatusBar bar;
        LockKeyState reported{false, true, false};
        gui::LockKeyIndicators indicators(bar, [&] { return std::optional(reported); });
        reported.caps = true;
        QTest::keyClick(window.windowHandle(), Qt::Key_NumLock);
        QCOMPARE(indicators.State(), reported);
        QCOMPARE(indicators.Label(LockKey::Caps)->text(), QString("CAP"));
    }

    void x11KeyboardIndicatorsAreRead() {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        if (QGuiApplication::platformName() != "xcb" || x11 == nullptr) {
            QSKIP("not an X11 display: runs on a virtual X display");
        }
        QVERIFY(gui::QueryX11LockKeys().has_value());
        QVERIFY(SetX11CapsLock(x11->display(), true));
        QTRY_VERIFY(gui::QueryX11LockKeys().value_or(LockKeyState{}).caps);
        QVERIFY(SetX11CapsLock(x11->display(), false));
        QTRY_VERIFY(!gui::QueryX11LockKeys().value_or(LockKeyState{true, true, true}).caps);
    }

    void closePauseKeepsTheWindowPainted() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        gui::GuiWindow window(dialogs, host.ui);
        window.SetHost(&host);
        window.Show();
        QVERIFY(QTest::qWaitForWindowExposed(window.Window()));
        int paints = 0;
        bool pausingSeen = false;
        EventCounter counter(QEvent::Paint, paints);
        window.Window()->installEventFilter(&counter);
        QTimer::singleShot(0, [&] {
            pausingSeen = window.Pausing();
            window.Window()->update();
        });
        FakeClock clock;
        window.Pause(clock, 20000);
        QCOMPARE(clock.SleptMs(), std::uint64_t{20000});
        QVERIFY(pausingSeen);
        QVERIFY(paints > 0);
        QVERIFY(!window.Pausing());
        window.Destroy();
    }

    void deviceDialogKeepsARefusedEntryOpenWithItsMessage() {
        DeviceDialogValues values;
        values.name = "Boiler";
        IMessageBox* messages = nullptr;
        gui::QtMessageBox box;
        messages = &box;
        gui::DeviceDialog dialog(values, {"COM1", "COM2"}, {messages, {}, {}, {}});
        dialog.show();
        dialog.Field("address")->setText("300");
        QVERIFY(!dialog.Ok());
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages_, std::vector<std::string>({"Enter an integer between 0 and 255."}));
        dialog.Field("address")->setText("0");
        QVERIFY(!dialog.Ok());
        QCOMPARE(messages_.back(), std::string("Enter an integer between 1 and 255."));
        QCOMPARE(values.params.slaveAddress, std::uint8_t{1});

        dialog.Field("address")->setText("17");
        QVERIFY(dialog.Ok());
        QCOMPARE(values.params.slaveAddress, std::uint8_t{17});
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void clearingModbusTcpResetsTheAddressTextsAndEnablesThePortLists() {
        DeviceDialogValues values;
        values.params.modbusTcp = 1;
        values.params.primaryIpAddress = "192.168.1.10";
        values.params.secondaryGatewayAddress = "10.0.0.1";
        gui::QtMessageBox box;
        gui::DeviceDialog dialog(values, {"COM1"}, {&box, {}, {}, {}});
        QList<QComboBox*> lists = dialog.findChildren<QComboBox*>();
        QVERIFY(!lists.at(0)->isEnabled());
        dialog.TcpBox()->setChecked(false);
        QVERIFY(lists.at(0)->isEnabled());
        QVERIFY(dialog.Ok());
        QCOMPARE(values.params.modbusTcp, 0);
        QCOMPARE(values.params.primaryIpAddress, std::string("0.0.0.0"));
        QCOMPARE(values.params.secondaryGatewayAddress, std::string("0.0.0.0"));
    }

    void communicationAlarmsRefuseAPriorityAboveThousand() {
        std::array<CommAlarmSettings, kCommAlarmCount> alarms{};
        gui::QtMessageBox box;
        gui::CommAlarmsDialog dialog(alarms, box);
        dialog.show();
        dialog.EnableBox(0, true)->setChecked(true);
        QCOMPARE(dialog.PriorityField(0, true)->text(), QString("900"));
        QTest::keyClicks(dialog.PriorityField(0, true), "1");  // "9001"
        QVERIFY(!dialog.Ok());
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages_, std::vector<std::string>({"Enter an integer between 0 and 1000."}));
        QCOMPARE(alarms[0].enableFlags, std::uint16_t{0});
    }

    void optionsDialogKeepsARefusedEntryOpenAndFocusesIt() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        gui::OptionsDialog dialog(host);
        dialog.show();
        auto* size = qobject_cast<QLineEdit*>(dialog.Control(OptionsControl::TraceFileSize));
        QVERIFY(size != nullptr);
        size->setText("lots");
        emit size->textEdited("lots");
        QVERIFY(!dialog.Ok());
        QVERIFY(dialog.isVisible());
        QCOMPARE(messages_.size(), std::size_t{1});
        QCOMPARE(messages_.front(), std::string("Enter an integer."));
        QCOMPARE(dialog.focusWidget(), size);
    }

    void sparkplugDialogRefusesAnUnusableIdWithItsFocusAndSavesAUsableOne() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        gui::SparkplugDialog dialog(host);
        dialog.show();
        auto* enabled = qobject_cast<QCheckBox*>(dialog.Field("Enabled"));
        auto* url = qobject_cast<QLineEdit*>(dialog.Field("BrokerUrl"));
        auto* group = qobject_cast<QLineEdit*>(dialog.Field("GroupId"));
        QVERIFY(enabled != nullptr && url != nullptr && group != nullptr);
        QVERIFY(!url->isEnabled());
        enabled->setChecked(true);
        QVERIFY(url->isEnabled());
        url->setText("tcp://127.0.0.1:1883");
        emit url->textEdited(url->text());
        group->setText("Plant#1");
        emit group->textEdited(group->text());
        QVERIFY(!dialog.Ok());
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.focusWidget(), group);
        group->setText("Plant1");
        emit group->textEdited(group->text());
        QVERIFY(dialog.Ok());
        QCOMPARE(host.settings.Sparkplug.GroupId, std::string("Plant1"));
        QCOMPARE(host.settings.Sparkplug.Enabled, 1u);
    }

    void opcUaDialogRefusesABadAddressWithItsFocusSavesAGoodOneAndIsReadOnlyForAUser() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        {
            gui::UaDialog dialog(host);
            dialog.show();
            auto* bind = qobject_cast<QLineEdit*>(dialog.Field("BindAddresses"));
            QVERIFY(bind != nullptr && bind->isEnabled());
            QVERIFY(dialog.findChild<QLabel*>("restartNote") != nullptr);
            bind->setText("127.0.0.1,plant");
            emit bind->textEdited(bind->text());
            QVERIFY(!dialog.Ok());
            QVERIFY(dialog.isVisible());
            QCOMPARE(dialog.focusWidget(), bind);
            bind->setText("127.0.0.1");
            emit bind->textEdited(bind->text());
            QVERIFY(dialog.Ok());
            QCOMPARE(host.settings.OpcUa.BindAddresses, std::string("127.0.0.1"));
        }
        host.admin.admin = false;
        gui::UaDialog dialog(host);
        auto* port = qobject_cast<QLineEdit*>(dialog.Field("Port"));
        QVERIFY(port != nullptr);
        QVERIFY(!port->isEnabled());
        QVERIFY(!dialog.Ok());
    }

    void statisticsShowTheConfigurationAndServerCounts() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        host.AddDevice("A", {"x", "y"});
        host.AddDevice("B", {"z"});
        host.serverCounts = {2, 5, 1, 3};
        gui::StatisticsDialog dialog(host);
        QCOMPARE(dialog.FieldText("devices"), QString("2"));
        QCOMPARE(dialog.FieldText("tags"), QString("3"));
        QCOMPARE(dialog.FieldText("daConnections"), QString("2"));
        QCOMPARE(dialog.FieldText("daGroups"), QString("5"));
        QCOMPARE(dialog.FieldText("aeConnections"), QString("1"));
        QCOMPARE(dialog.FieldText("aeSubscriptions"), QString("3"));
        host.serverCounts.daConnections = 0;
        // Refreshed by its one-second timer.
        QTRY_COMPARE_WITH_TIMEOUT(dialog.FieldText("daConnections"), QString("0"), 5000);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
