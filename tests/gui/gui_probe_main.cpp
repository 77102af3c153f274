// The server program with its GUI, drawn off screen, and a probe in the window's loop: once
// a bus client reads, it opens the "OPC Server Statistics" and "Device Monitor" windows as a
// user would, prints what they show and ends the server. Driven by gui_end_to_end.sh.
// With VELK_PROBE=tag-sheet it instead waits for two clients, edits BoilerHouse.Temperature
// (scaling to 0..10, a High alarm at 1.0 with priority 777) and BoilerHouse.Door (the user
// condition "Gas Detection", sub-condition "Gas High", of AE_Cond.INI) on the tag property
// sheet as a user would, prints "sheet: applied" and serves on until it is ended
// (gui_tag_sheet_end_to_end.sh).
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
#include <cstring>

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

class ProbeFront final : public IServerFront {
  public:
    ProbeFront(gui::ITagSheetDialogs& dialogs, bool tagSheet)
        : dialogs_(dialogs), tagSheet_(tagSheet), inner_(dialogs, false) {}
    IMainWindow& Window() override { return inner_.Window(); }
    IDocumentUi& DocumentUi() override { return inner_.DocumentUi(); }
    IMessageBox& Messages() override { return inner_.Messages(); }
    void Attach(const ServerParts& parts) override { inner_.Attach(parts); }
    void RunMainLoop(COpcApp& app, MessageLoop& loop) override {
        QTimer probe;
        int waited = 0;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            waited += kProbePeriodMs;
            if ((tagSheet_ ? EditOnce() : Probe()) || waited >= kProbeLimitMs) {
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
    const bool tagSheet_;
    bool edited_ = false;
    gui::GuiFront inner_;
};

}  // namespace

int main(int argc, char** argv) {
    SignalWatch::BlockTerminationSignals();  // before Qt's threads, as velkopc does
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    // A message box would wait for a user nobody is: its text goes to the log instead.
    gui::QtMessageBox::Record([](const std::string& text, MessageKind) {
        std::fprintf(stderr, "message box: %s\n", text.c_str());
        return false;
    });
    gui::TagSheetDialogs dialogs;
    const char* mode = std::getenv("VELK_PROBE");
    const bool tagSheet = mode != nullptr && std::strcmp(mode, "tag-sheet") == 0;
    return RunServerProgram(argc, argv, [&dialogs, tagSheet](const CommandLine&) {
        return std::make_unique<ProbeFront>(dialogs, tagSheet);
    });
}
