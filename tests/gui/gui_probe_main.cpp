// The server program with its GUI, drawn off screen, and a probe in the window's loop: once
// a bus client reads, it opens the "OPC Server Statistics" and "Device Monitor" windows as a
// user would, prints what they show and ends the server. Driven by gui_end_to_end.sh.
#include <QApplication>
#include <QTimer>
#include <cstdio>

#include "app/opc_app.h"
#include "app/server/server_program.h"
#include "gui/dialogs/device_monitor_dialog.h"
#include "gui/dialogs/statistics_dialog.h"
#include "gui/gui_front.h"
#include "gui/help.h"
#include "gui/qt_message_box.h"
#include "gui/tag_sheet/tag_sheet_dialogs_impl.h"
#include "platform/linux/signal_watch.h"

namespace {

using namespace velk;

constexpr int kProbePeriodMs = 250;
constexpr int kProbeLimitMs = 60000;

class ProbeFront final : public IServerFront {
  public:
    explicit ProbeFront(gui::ITagSheetDialogs& dialogs) : inner_(dialogs, false) {}
    IMainWindow& Window() override { return inner_.Window(); }
    IDocumentUi& DocumentUi() override { return inner_.DocumentUi(); }
    IMessageBox& Messages() override { return inner_.Messages(); }
    void Attach(const ServerParts& parts) override { inner_.Attach(parts); }
    void RunMainLoop(COpcApp& app, MessageLoop& loop) override {
        QTimer probe;
        int waited = 0;
        QObject::connect(&probe, &QTimer::timeout, [&] {
            waited += kProbePeriodMs;
            if (Probe() || waited >= kProbeLimitMs) {
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
    return RunServerProgram(argc, argv, [&dialogs](const CommandLine&) {
        return std::make_unique<ProbeFront>(dialogs);
    });
}
