// velkopc: the server and, with a display, the configuration GUI, in one process. With a
// display (DISPLAY, WAYLAND_DISPLAY or Qt's "-platform") the main window shows, except when
// a client started the process ("Embedding", "Automation"): then the window is made only
// when a user's start of the program brings the running server forward. Without a display
// the server runs headless.
// "-Screenshots DIR [configuration]" draws the windows into DIR and ends.
#include <unistd.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/server/server_program.h"
#include "gui/gui_front.h"
#include "gui/help.h"
#include "gui/screenshots.h"
#include "gui/tag_sheet/tag_sheet_dialogs_impl.h"
#include "platform/linux/signal_watch.h"
#include "platform/version_option.h"

namespace {

// A local X display ":N" or a Wayland socket that is not there (a session that ended, an
// inherited variable) would make Qt abort: the server then runs headless instead.
bool LocalDisplayExists(const std::string& display) {
    if (display.empty() || display.front() != ':') return true;  // remote: Qt will tell
    const std::string number = display.substr(1, display.find('.') - 1);
    return ::access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0;
}

bool WaylandSocketExists(const std::string& name) {
    if (!name.empty() && name.front() == '/') return ::access(name.c_str(), F_OK) == 0;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime != nullptr && ::access((std::string(runtime) + "/" + name).c_str(), F_OK) == 0;
}

bool HasDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    }
    const char* x11 = std::getenv("DISPLAY");
    if (x11 != nullptr && *x11 != '\0' && LocalDisplayExists(x11)) return true;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return wayland != nullptr && *wayland != '\0' && WaylandSocketExists(wayland);
}

// Qt's "-platform NAME" is Qt's own; a headless run must not take NAME for a file.
void DropQtPlatformOption(int& argc, char** argv) {
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) {
            ++i;
            continue;
        }
        argv[out++] = argv[i];
    }
    argc = out;
    argv[argc] = nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace velk;
    if (IsVersionRequest(argc, argv)) return PrintVersion("velkopc");
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help) return PrintCommandLineHelp();  // before any bus, display or toolkit
    // The tag property sheet, "Multiply Tag" and "Copying Tag".
    gui::TagSheetDialogs tagDialogs(
        {}, [](const std::string& address) { gui::OpenHelpAddress(address); });

    if (line.screenshots) {
        // Drawn off screen, whatever display there is; no bus, no server.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        return gui::RenderScreenshots(line.screenshotDirectory, line.fileName, tagDialogs);
    }

    // Before Qt starts threads of its own: SIGTERM and SIGINT go to the server's signal
    // watch only, which ends the process in order.
    SignalWatch::BlockTerminationSignals();
    const bool registration =
        line.command == ShellCommand::Register || line.command == ShellCommand::Unregister;
    if (!HasDisplay(argc, argv) || registration) {
        DropQtPlatformOption(argc, argv);
        return RunServerProgram(argc, argv);
    }
    QApplication application(argc, argv);  // takes Qt's own options out of argv
    application.setApplicationName("velkopc");
    application.setQuitOnLastWindowClosed(false);
    return RunServerProgram(argc, argv, [&tagDialogs](const CommandLine& commandLine) {
        return std::make_unique<gui::GuiFront>(tagDialogs, commandLine.Interactive());
    });
}
