// The server program with its GUI, drawn off screen, and a probe in the window's loop: once
// a bus client reads, it opens the "OPC Server Statistics" and "Device Monitor" windows as a
// user would, prints what they show and ends the server. Driven by gui_end_to_end.sh.
// With VELK_PROBE=tag-sheet it instead waits for two clients, edits BoilerHouse.Temperature
// (scaling to 0..10, a High alarm at 1.0 with priority 777) and BoilerHouse.Door (the user
// condition "Gas Detection", sub-condition "Gas High", of AE_Cond.INI) on the tag property
// sheet as a user would, prints "sheet: applied" and serves on until it is ended
// (gui_tag_sheet_end_to_end.sh).
// With VELK_PROBE=edit it deletes the first device as a user would, prints "edited:" with
// the devices left and serves on unsaved; with VELK_PROBE=recover it answers Yes to the
// start's offer of a recovery copy, prints what it opened and ends (gui_recovery_test.sh).
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/opc_app.h"
#include "app/server/server_program.h"
#include "gui/dialogs/device_monitor_dialog.h"
#include "gui/dialogs/statistics_dialog.h"
#include "gui/gui_front.h"
#include "gui/help.h"
#include "gui/qt_message_box.h"
#include "gui/tag_sheet/tag_sheet_dialogs_impl.h"
#include "model/c_doc.h"
#include "model/o_tag_group.h"
#include "model/tag_sheet/tag_dialog.h"
#include "platform/linux/signal_watch.h"

namespace {

using namespace velk;

constexpr int kProbePeriodMs = 250;
constexpr int kProbeLimitMs = 60000;

void Choose(QWidget* sheet, const char* list, int position) {
    auto* combo = sheet->findChild<QComboBox*>(list);
    combo->setCurrentIndex(position);
    emit combo->activated(position);
}

// What a user does on the sheet of BoilerHouse.Door: Alarm page, "Condition:" the second
// user condition, "Subcond.:" its second entry; OK.
void EditDoorOnTheSheet(QWidget* sheet) {
    sheet->findChild<QTabWidget*>()->setCurrentIndex(TagDialog::kPageAlarm);
    Choose(sheet, "condition", 2);
    Choose(sheet, "subcondition", 1);
    sheet->findChild<QPushButton*>("ok")->click();
}

// What a user does on the sheet of BoilerHouse.Temperature: Scaling page, "Max:" 10;
// Alarm page, "&High" ticked with value 1, priority 777 and a message; OK.
void EditTemperatureOnTheSheet(QWidget* sheet) {
    auto type = [sheet](const char* field, const QString& text) {
        auto* edit = sheet->findChild<QLineEdit*>(field);
        if (edit == nullptr) return;
        edit->selectAll();
        QTest::keyClicks(edit, text);
    };
    auto* pages = sheet->findChild<QTabWidget*>();
    pages->setCurrentIndex(TagDialog::kPageScaling);
    type("engMax", "10");
    pages->setCurrentIndex(TagDialog::kPageAlarm);
    sheet->findChild<QCheckBox*>("level2")->click();
    type("level2Value", "1");
    type("level2Priority", "777");
    type("level2Message", "too warm");
    sheet->findChild<QPushButton*>("ok")->click();
}

enum class ProbeMode { Windows, TagSheet, Edit, Recover };

class ProbeFront final : public IServerFront {
  public:
    ProbeFront(gui::ITagSheetDialogs& dialogs, ProbeMode mode)
        : dialogs_(dialogs), mode_(mode), inner_(dialogs, false) {}
    IMainWindow& Window() override { return inner_.Window(); }
    IDocumentUi& DocumentUi() override { return inner_.DocumentUi(); }
    IMessageBox& Messages() override { return inner_.Messages(); }
    void Attach(const ServerParts& parts) override { inner_.Attach(parts); }
    void RunMainLoop(COpcApp& app, MessageLoop& loop) override {
        QTimer probe;
        int waited = 0;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            waited += kProbePeriodMs;
            if (Step() || waited >= kProbeLimitMs) {
                if (waited >= kProbeLimitMs) std::printf("probe: timed out\n");
                std::fflush(stdout);
                probe.stop();
                app.RequestTermination();
            }
        });
        probe.start(kProbePeriodMs);
        inner_.RunMainLoop(app, loop);
    }

  private:
    // True when the server is to end.
    bool Step() {
        switch (mode_) {
            case ProbeMode::TagSheet:
                return EditOnce();
            case ProbeMode::Edit:
                return DeleteFirstDevice();
            case ProbeMode::Recover:
                return ShowRecovered();
            default:
                return Probe();
        }
    }

    // The tree's Delete on the first device; the change stays unsaved.
    bool DeleteFirstDevice() {
        gui::IGuiHost* host = inner_.Host();
        if (edited_ || host == nullptr || !inner_.MainWindow().IsVisible()) return false;
        edited_ = true;
        CDoc& document = host->Document();
        document.selection = document.rootGroup.subgroupList.front().get();
        const bool deleted = document.DeleteSelection();
        std::printf("edited: deleted=%d modified=%d devices=%zu\n", deleted ? 1 : 0,
                    document.IsModified() ? 1 : 0, document.rootGroup.subgroupList.size());
        std::fflush(stdout);
        return false;
    }

    // What the start opened, and whether the recovery copy is still there.
    bool ShowRecovered() {
        gui::IGuiHost* host = inner_.Host();
        if (host == nullptr || !inner_.MainWindow().IsVisible()) return false;
        CDoc& document = host->Document();
        const std::string copy = document.PathName() + ".recovered";
        std::printf("recovered: path=%s modified=%d devices=%zu copy=%s\n",
                    document.PathName().c_str(), document.IsModified() ? 1 : 0,
                    document.rootGroup.subgroupList.size(),
                    ::access(copy.c_str(), F_OK) == 0 ? "kept" : "removed");
        return true;
    }

    // True once the windows showed a client with counted exchanges.
    bool Probe() {
        gui::IGuiHost* host = inner_.Host();
        if (host == nullptr || host->ClientCount() == 0) return false;
        gui::StatisticsDialog statistics(*host);
        gui::DeviceMonitorDialog monitor(*host);
        monitor.SelectDevice(0);
        monitor.Refresh();
        const QString sent = monitor.Cell(0, 0);
        if (statistics.FieldText("daGroups").toInt() == 0 || sent.toInt() == 0) return false;
        std::printf("window: %s\n", inner_.MainWindow().IsVisible() ? "shown" : "hidden");
        std::printf(
            "statistics: devices=%s tags=%s da-connections=%s da-groups=%s "
            "ae-connections=%s ae-subscriptions=%s\n",
            qPrintable(statistics.FieldText("devices")), qPrintable(statistics.FieldText("tags")),
            qPrintable(statistics.FieldText("daConnections")),
            qPrintable(statistics.FieldText("daGroups")),
            qPrintable(statistics.FieldText("aeConnections")),
            qPrintable(statistics.FieldText("aeSubscriptions")));
        std::printf("device-monitor: sent=%s received=%s primary=%s\n", qPrintable(sent),
                    qPrintable(monitor.Cell(1, 0)), qPrintable(monitor.Cell(0, 1)));
        return true;
    }

    // Edits the tags once a DA and an AE client are connected; never ends the server itself.
    bool EditOnce() {
        gui::IGuiHost* host = inner_.Host();
        if (edited_ || host == nullptr || host->ClientCount() < 2) return false;
        edited_ = true;
        const bool applied = Edit(host->Document(), "Temperature", EditTemperatureOnTheSheet) &&
                             Edit(host->Document(), "Door", EditDoorOnTheSheet);
        std::printf("sheet: %s\n", applied ? "applied" : "cancelled");
        std::fflush(stdout);
        return false;
    }
    // The tag list's Properties command on a tag of BoilerHouse, the user being `user`.
    bool Edit(CDoc& document, const char* name, void (*user)(QWidget*)) {
        OModbusTag* tag = nullptr;
        for (const auto& device : document.rootGroup.subgroupList)
            if (device->name == "BoilerHouse") tag = device->FindOwnTag(name);
        if (tag == nullptr) return false;
        QTimer::singleShot(0, [user] { user(QApplication::activeModalWidget()); });
        if (!dialogs_.EditTag(nullptr, document, *tag, false)) return false;
        document.UpdateAllViews(kHintTagListChanged, tag);
        document.SetModified();
        return true;
    }

    gui::ITagSheetDialogs& dialogs_;
    const ProbeMode mode_;
    bool edited_ = false;
    gui::GuiFront inner_;
};

}  // namespace

int main(int argc, char** argv) {
    SignalWatch::BlockTerminationSignals();  // before Qt's threads, as velkopc does
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    const char* name = std::getenv("VELK_PROBE");
    const std::string mode = name != nullptr ? name : "";
    const ProbeMode probe = mode == "tag-sheet" ? ProbeMode::TagSheet
                            : mode == "edit"    ? ProbeMode::Edit
                            : mode == "recover" ? ProbeMode::Recover
                                                : ProbeMode::Windows;
    // A message box would wait for a user nobody is: its text goes to the log instead. The
    // recovery probe says Yes to the offer of a recovery copy.
    gui::QtMessageBox::Record([probe](const std::string& text, MessageKind) {
        std::fprintf(stderr, "message box: %s\n", text.c_str());
        return probe == ProbeMode::Recover && text.find("recovered") != std::string::npos;
    });
    gui::TagSheetDialogs dialogs;
    return RunServerProgram(argc, argv, [&dialogs, probe](const CommandLine&) {
        return std::make_unique<ProbeFront>(dialogs, probe);
    });
}
