// velkopc: the server and, with a display, the configuration GUI, in one process. With a
// display (DISPLAY, WAYLAND_DISPLAY or Qt's "-platform") and not started by a client
// ("Embedding", "Automation") the main window shows; otherwise the server runs headless.
// "-Screenshots DIR [configuration]" draws the windows into DIR and ends.
#include <QApplication>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/server/server_program.h"
#include "gui/fallback_tag_dialogs.h"
#include "gui/gui_front.h"
#include "gui/screenshots.h"
#include "platform/version_option.h"

namespace {

bool HasDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    }
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
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
    // The tag property sheet, "Multiply Tag" and "Copying Tag".
    gui::FallbackTagDialogs tagDialogs;

    if (line.screenshots) {
        // Drawn off screen, whatever display there is; no bus, no server.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication application(argc, argv);
        return gui::RenderScreenshots(line.screenshotDirectory, line.fileName, tagDialogs);
    }

    const bool registration =
        line.command == ShellCommand::Register || line.command == ShellCommand::Unregister;
    if (!HasDisplay(argc, argv) || !line.Interactive() || registration) {
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
