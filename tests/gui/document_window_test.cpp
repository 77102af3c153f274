// The main window and its document: the save question before a close, the window's title, a
// configuration file dropped on the window, the commands after File Open and the close
// rule's wait. Runs on Qt's offscreen platform; the message boxes and file dialogs are the
// real ones, answered as a user would.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <functional>

#include "gui/device_tree_view.h"
#include "gui/gui_front.h"
#include "gui/main_window.h"
#include "gui/qt_message_box.h"
#include "gui/tag_list_view.h"
#include "tests/gui/gui_test_doubles.h"
#include "tests/support/fake_clock.h"

using namespace velk;
using namespace velk::testing;

namespace {

constexpr const char* kTitle = "VELK A&E OPC Server";

// Waits for the next modal dialog of type T and hands it to act, from inside its own loop.
template <typename T>
void WhenModal(std::function<void(T&)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        act(*dialog);
    });
    timer->start(10);
}

struct SeenBox {
    QString title, text;
};

// Answers the next message box with the button and keeps what it showed.
void Answer(QMessageBox::StandardButton button, SeenBox& seen) {
    WhenModal<QMessageBox>([button, &seen](QMessageBox& box) {
        seen = {box.windowTitle(), box.text()};
        box.button(button)->click();
    });
}

// Chooses the path in the next file dialog.
void ChooseFile(const QString& path) {
    WhenModal<QFileDialog>([path](QFileDialog& dialog) {
        // Typed as a user would: selectFile leaves a focused name field alone.
        if (auto* name = dialog.findChild<QLineEdit*>("fileNameEdit")) name->setText(path);
        static_cast<QDialog&>(dialog).accept();  // QFileDialog checks the choice
    });
}

// A loaded file holds one device, "Loaded", with one tag.
void LoadOneDevice(TestGuiHost& host) {
    host.storage.builder = [&host](CDoc& document) {
        document.AddDefaultPorts();
        host.AddDevice("Loaded", {"Flow"});
        return true;
    };
}

void Drop(QWidget& target, const QString& path, bool* entered = nullptr) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = target.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &enter);
    // A move comes accepted as the enter was (as the platform's drag sends it).
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    move.acceptProposedAction();
    if (enter.isAccepted()) QCoreApplication::sendEvent(&target, &move);
    if (entered) *entered = enter.isAccepted() && move.isAccepted();
    if (!enter.isAccepted() || !move.isAccepted()) return;
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&target, &drop);
}

}  // namespace

class DocumentWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        // The files to open exist before a dialog lists the folder (the storage double
        // reads none of them); the one to save to does not.
        for (const char* name : {"plant.vlk", "opened.vlk", "broken.vlk"}) {
            QFile file(dir_.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    void init() {
        QVERIFY(dir_.isValid());
        // The document's own messages are kept; the save question is a real box.
        messages_.clear();
        gui::QtMessageBox::Record([this](const std::string& text, MessageKind) {
            messages_.push_back(text);
            return false;
        });
    }
    void cleanup() { gui::QtMessageBox::Record({}); }

    void closingAModifiedDocumentAsksAndCancelOrAFailedSaveKeepsIt() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        gui::GuiWindow window(dialogs, host.ui);
        window.SetHost(&host);
        window.Show();
        QVERIFY(window.ConfirmClose());  // nothing unsaved: no question

        host.document->SetPathName("/plant/boiler.vlk");
        host.document->SetModified();
        SeenBox seen;
        Answer(QMessageBox::Cancel, seen);
        QVERIFY(!window.ConfirmClose());
        QCOMPARE(seen.text, QString("Save changes to boiler.vlk?"));
        QCOMPARE(seen.title, QString(kTitle));
        host.storage.saveSucceeds = false;
        Answer(QMessageBox::Yes, seen);
        QVERIFY(!window.ConfirmClose());
        QCOMPARE(host.storage.savedPaths, std::vector<std::string>({"/plant/boiler.vlk"}));
        QCOMPARE(messages_, std::vector<std::string>({"Access to /plant/boiler.vlk was denied."}));
        QVERIFY(host.document->IsModified());
        Answer(QMessageBox::No, seen);
        QVERIFY(window.ConfirmClose());
        host.storage.saveSucceeds = true;
        Answer(QMessageBox::Yes, seen);
        QVERIFY(window.ConfirmClose());
        QVERIFY(!host.document->IsModified());
        window.Destroy();
    }

    void titleFollowsTheDocumentAfterSaveNewAndAFailedOpen() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        gui::MainWindow window(host, dialogs);
        window.show();
        QCOMPARE(window.windowTitle(), QString("Untitled - %1").arg(kTitle));
        // The first Save of an untitled document asks for the name.
        ChooseFile(dir_.filePath("boiler.vlk"));
        window.RunCommand(ID_FILE_SAVE);
        QCOMPARE(window.windowTitle(), QString("boiler.vlk - %1").arg(kTitle));
        window.RunCommand(ID_FILE_NEW);
        QCOMPARE(window.windowTitle(), QString("Untitled - %1").arg(kTitle));
        LoadOneDevice(host);
        ChooseFile(dir_.filePath("opened.vlk"));
        window.RunCommand(ID_FILE_OPEN);
        QCOMPARE(window.windowTitle(), QString("opened.vlk - %1").arg(kTitle));
        host.storage.builder = nullptr;
        ChooseFile(dir_.filePath("broken.vlk"));
        window.RunCommand(ID_FILE_OPEN);
        QCOMPARE(window.windowTitle(), QString("Untitled - %1").arg(kTitle));
    }

    void droppedConfigurationFileOpensAsFileOpenDoes() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        host.AddDevice("Boiler", {"Level"});
        LoadOneDevice(host);
        gui::MainWindow window(host, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        host.document->SetModified();
        const QString path = dir_.filePath("plant.vlk");
        // The save question first; Cancel leaves everything as it was.
        SeenBox seen;
        Answer(QMessageBox::Cancel, seen);
        Drop(window, path);
        QTRY_COMPARE(seen.text, QString("Save changes to Untitled?"));
        QTest::qWait(50);
        QVERIFY(host.storage.loadedPaths.empty());
        // Over the tree too: it takes only tags and leaves files to the window.
        Answer(QMessageBox::No, seen);
        Drop(*window.Tree().viewport(), path);
        QTRY_COMPARE(host.storage.loadedPaths, std::vector<std::string>({path.toStdString()}));
        QCOMPARE(window.windowTitle(), QString("plant.vlk - %1").arg(kTitle));
        QCOMPARE(host.recent.Entry(0), path.toStdString());
        QCOMPARE(host.filesOpened, 1);
        QCOMPARE(window.Tree().topLevelItem(0)->text(0), QString("Loaded"));

        // Not for a user who may not open files.
        host.admin.admin = false;
        bool entered = true;
        Drop(window, path, &entered);
        QVERIFY(!entered);
    }

    void deleteAndPropertiesActOnTheTreeNodeAfterFileOpen() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        host.AddDevice("Boiler", {"Level"});
        LoadOneDevice(host);
        gui::MainWindow window(host, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QApplication::setActiveWindow(&window);
        auto& list = window.TagList();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {},
                          list.visualItemRect(list.topLevelItem(0)).center());
        QCOMPARE(window.State().pane, ActivePane::TagList);

        ChooseFile(dir_.filePath("plant.vlk"));
        window.RunCommand(ID_FILE_OPEN);
        QCOMPARE(host.filesOpened, 1);
        QTest::qWait(100);  // the window gets its focus back
        window.UpdateCommands();
        QCOMPARE(host.document->selection->name, std::string("Loaded"));
        QVERIFY(window.Action(ID_EDIT_DELETE)->isEnabled());
        QVERIFY(window.Action(ID_EDIT_PROPERTIES)->isEnabled());
        window.RunCommand(ID_EDIT_DELETE);
        QCOMPARE(host.document->rootGroup.subgroupList.size(), std::size_t{0});
    }

    void closeWaitShowsABusyCursorAndAStatusText() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        gui::GuiWindow window(dialogs, host.ui);
        window.SetHost(&host);
        window.Show();
        QVERIFY(QTest::qWaitForWindowExposed(window.Window()));
        QString status;
        Qt::CursorShape cursor = Qt::ArrowCursor;
        QTimer::singleShot(0, [&] {
            status = window.Window()->statusBar()->currentMessage();
            if (const QCursor* shown = QApplication::overrideCursor()) cursor = shown->shape();
        });
        FakeClock clock;
        window.Pause(clock, 20000);
        QCOMPARE(status, QString(gui::kMonitorStopStatus));
        QCOMPARE(cursor, Qt::WaitCursor);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        QCOMPARE(window.Window()->statusBar()->currentMessage(), QString("Ready"));
        window.Destroy();
    }

  private:
    QTemporaryDir dir_;
    std::vector<std::string> messages_;
};

QTEST_MAIN(DocumentWindowTest)
#include "document_window_test.moc"
