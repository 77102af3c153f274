// The views as a user meets them after an edit: the tag list follows the node that a new
// device or group selects, a move that could not delete its tags pastes nothing, the IP
// address dialog keeps the controller's TCP port, and the window and its columns fit.
// Runs on Qt's offscreen platform (also at scale factor 2).
#include <QApplication>
#include <QCheckBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QScreen>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "gui/device_tree_view.h"
#include "gui/dialogs/device_dialog.h"
#include "gui/dialogs/ip_config_dialog.h"
#include "gui/exchange_file_dialogs.h"
#include "gui/ip_address_editor.h"
#include "gui/main_window.h"
#include "gui/tag_clipboard.h"
#include "gui/tag_list_view.h"
#include "modbus/channel_settings.h"
#include "tests/gui/gui_test_doubles.h"
#include "tests/support/fake_route_table.h"

using namespace velk;
using namespace velk::testing;

namespace {

// Runs the action on the modal window that the next call opens.
void OnModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] { action(QApplication::activeModalWidget()); });
}

// A drop on the tree as the display delivers it: enter, move, drop.
void DropOnTree(gui::DeviceTreeView& tree, QPoint at, Qt::DropActions offered,
                const QMimeData& mime, Qt::KeyboardModifiers keys) {
    QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(tree.viewport(), &enter);
    QDragMoveEvent move(at, offered, &mime, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(tree.viewport(), &move);
    QDropEvent drop(at, offered, &mime, Qt::LeftButton, keys);
    QCoreApplication::sendEvent(tree.viewport(), &drop);
}

}  // namespace

class ViewsTest : public QObject {
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
    }
    void cleanup() { gui::QtMessageBox::Record({}); }

    void newDeviceAndEveryNewGroupShowTheirOwnTags() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& boiler = host.AddDevice("Boiler", {"Level", "Pump"});
        gui::MainWindow window(host, dialogs);
        host.ui.Attach(&window, &window.TagList(), host.document.get());
        QCOMPARE(window.TagList().topLevelItemCount(), 2);
        auto shownNode = [&] { return gui::DeviceTreeView::NodeOf(window.Tree().currentItem()); };

        OnModal([](QWidget* dialog) { dynamic_cast<gui::DeviceDialog*>(dialog)->Ok(); });
        window.RunCommand(ID_ADD_DEVICE);
        OTagGroup* added = host.document->selection;
        QVERIFY(added != &boiler);
        QCOMPARE(shownNode(), added);
        QCOMPARE(window.TagList().topLevelItemCount(), 0);

        // The first group below a node, and a later one, each become the node shown.
        window.Tree().setCurrentItem(window.Tree().ItemOf(&boiler));
        QCOMPARE(window.TagList().topLevelItemCount(), 2);
        for (const char* name : {"Second", "First"}) {
            OnModal([name](QWidget* dialog) {
                dialog->findChild<QLineEdit*>("groupName")->setText(name);
                qobject_cast<QDialog*>(dialog)->accept();
            });
            window.Tree().setCurrentItem(window.Tree().ItemOf(&boiler));
            window.RunCommand(ID_ADD_GROUP);
            QCOMPARE(host.document->selection, boiler.FindSubgroup(name));
            QCOMPARE(shownNode(), host.document->selection);
            QCOMPARE(window.TagList().topLevelItemCount(), 0);
        }
    }

    void deviceDialogTakesFieldSettingsAndRefusesThemLikeItsOtherFields() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        gui::MainWindow window(host, dialogs);
        host.ui.Attach(&window, &window.TagList(), host.document.get());
        bool refused = true;
        OnModal([&](QWidget* widget) {
            auto* dialog = dynamic_cast<gui::DeviceDialog*>(widget);
            dialog->findChild<QLineEdit*>("fieldSetting3")->setText("200");
            refused = !dialog->Ok();
            dialog->findChild<QLineEdit*>("fieldSetting3")->setText("60");
            dialog->findChild<QLineEdit*>("fieldSetting5")->setText("4");
            dialog->findChild<QCheckBox*>("fieldSetting1")->setChecked(true);
            dialog->findChild<QCheckBox*>("fieldSetting12")->setChecked(true);
            dialog->Ok();
        });
        window.RunCommand(ID_ADD_DEVICE);
        QVERIFY(refused);
        QCOMPARE(messages_, (std::vector<std::string>{"Enter an integer between 1 and 125."}));
        auto* added = dynamic_cast<ODevice*>(host.document->selection);
        QVERIFY(added != nullptr);
        QCOMPARE(added->params.maxReadRegisters, 60);
        QCOMPARE(added->params.maxBlockGap, 4);
        QCOMPARE(added->params.forceMultipleRegisterWrite, 1);
        QCOMPARE(added->params.maxReadBits, 495);
        QCOMPARE(added->params.maskWrite, 1);
    }

    void moveThatCouldNotDeleteItsTagsPastesNothing() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& target = host.AddDevice("Target", {});
        ODevice& shown = host.AddDevice("Shown", {"Flow", "Level"});
        gui::MainWindow window(host, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const std::vector<OModbusTag*> rows{shown.tagList[0].get(), shown.tagList[1].get()};
        host.counts.clients = 1;  // an OPC client, or the monitor: the delete is refused
        QVERIFY(!(window.TagList().DragActions(rows) & Qt::MoveAction));
        QVERIFY(!window.DropTags(target, gui::TagsToMime({rows[0], rows[1]}).get(), true));

        // The drop without Ctrl is a move; the drag offers copy and link only. Ctrl asks for
        // a copy, which needs no delete.
        auto mime = gui::TagsToMime({rows[0], rows[1]});
        const QPoint at = window.Tree().visualItemRect(window.Tree().ItemOf(&target)).center();
        for (Qt::KeyboardModifiers keys : {Qt::NoModifier, Qt::ControlModifier}) {
            DropOnTree(window.Tree(), at, window.TagList().DragActions(rows), *mime, keys);
            const bool copied = keys == Qt::ControlModifier;
            QCOMPARE(target.tagList.size(), std::size_t{copied ? 2u : 0u});
            QCOMPARE(shown.tagList.size(), std::size_t{2});
            QCOMPARE(host.document->IsModified(), copied);
        }
    }

    void ipAddressDialogKeepsTheControllersTcpPort() {
        FakeRouteTable routes;
        MemorySettingsStore store;
        const gui::IpAddressEditor edit = gui::IpAddressEditorOver(routes, &store);
        ODeviceParams params;
        params.modbusTcp = 1;
        params.primaryIpAddress = "10.0.0.7";
        auto enter = [&](const char* port, bool accepted) {
            OnModal([port, accepted](QWidget* widget) {
                auto* dialog = dynamic_cast<gui::IpConfigDialog*>(widget);
                dialog->TcpPortField(IpChannel::kPrimary)->setText(port);
                dialog->accept();
                if (!accepted) {
                    QVERIFY(dialog->isVisible());  // refused: the dialog stays open
                    dialog->reject();
                }
            });
            edit(nullptr, params);
        };
        enter("1502", true);
        QCOMPARE(ModbusTcpPort(&store, "10.0.0.7"), std::uint16_t{1502});
        QCOMPARE(ModbusTcpPort(&store, "0.0.0.0"), kModbusTcpPort);  // unset: nothing kept
        for (const char* wrapping : {"0", "65536", "70000", "port"}) {
            enter(wrapping, false);
            QCOMPARE(messages_.back(), std::string("Enter an integer between 1 and 65535."));
            QCOMPARE(ModbusTcpPort(&store, "10.0.0.7"), std::uint16_t{1502});
        }
        enter("502", true);  // the default needs no override
        QVERIFY(!store.ReadValue(kTcpPortsKey, "10.0.0.7").has_value());
    }

    void windowOpensWithinTheScreenWithColumnsThatFitTheirTexts() {
        ScriptedTagDialogs dialogs;
        TestGuiHost host(dialogs);
        ODevice& device = host.AddDevice("Boiler", {});
        OModbusTag& tag = host.AddTag(device, "Level", VT_I2, 9);
        tag.locationKind = kHoldingRegister;
        tag.description = "Level of the feed water tank, north side";
        gui::MainWindow window(host, dialogs);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QRect screen = window.screen()->availableGeometry();
        QVERIFY(screen.contains(window.frameGeometry()));

        gui::TagListView& list = window.TagList();
        const QFontMetrics metrics = list.fontMetrics();
        for (int column : {1, 3}) {
            const QString text = list.topLevelItem(0)->text(column);
            QVERIFY2(list.columnWidth(column) > metrics.horizontalAdvance(text), qPrintable(text));
        }

        // Each filter names its pattern once.
        QCOMPARE(
            gui::NameFilters("CSV Files (ANSI) (*.csv)|*.csv|CSV Files (.csv)|*.csv|"
                             "Unicode Text|*.txt||"),
            QStringList({"CSV Files (ANSI) (*.csv)", "CSV Files (*.csv)", "Unicode Text (*.txt)"}));
    }
};

QTEST_MAIN(ViewsTest)
#include "views_test.moc"
