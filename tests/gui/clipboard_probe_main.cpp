// One side of the cross-process clipboard test: "copy" puts two tags of its configuration on
// the clipboard with Edit > Copy and keeps serving them until it is ended; "paste" waits for
// the "Modbus" format, runs Edit > Paste into its own device and prints the device's tags.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "gui/main_window.h"
#include "gui/tag_clipboard.h"
#include "gui/tag_list_view.h"
#include "tests/gui/gui_test_doubles.h"

using namespace velk;

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const bool copy = argc > 1 && std::strcmp(argv[1], "copy") == 0;
    testing::ScriptedTagDialogs dialogs;
    testing::TestGuiHost host(dialogs);
    if (copy) {
        host.AddDevice("Source", {"Level", "Flow"});
    } else {
        host.AddDevice("Target", {"Pressure"});
    }
    gui::MainWindow window(host, dialogs);
    host.ui.Attach(&window, &window.TagList(), &host.Document());
    window.show();

    if (copy) {
        window.TagList().selectAll();
        window.PaneActivated(ActivePane::TagList);
        window.RunCommand(ID_EDIT_COPY);
        std::printf("copied\n");
        std::fflush(stdout);
        return QApplication::exec();  // the clipboard's owner serves it while it runs
    }
    QElapsedTimer waited;
    waited.start();
    while (!gui::OffersTags(QApplication::clipboard()->mimeData()) && waited.elapsed() < 15000) {
        QApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    window.UpdateCommands();
    window.RunCommand(ID_EDIT_PASTE);
    for (const auto& tag : host.Document().selection->tagList)
        std::printf("%s ", tag->name.c_str());
    std::printf("\n");
    return 0;
}
