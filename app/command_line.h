#pragma once
// The program's command line: switches begin with "/" or "-" and compare without case;
// the first other argument names a configuration file.
#include <string>
#include <vector>

namespace velk {

enum class ShellCommand { FileNew, FileOpen, Register, Unregister };

struct CommandLine {
    ShellCommand command = ShellCommand::FileNew;
    bool embedding = false;   // "Embedding": started by a client's activation request
    bool automation = false;  // "Automation": as "Embedding"
    bool echoTrace = false;   // "EchoTrace": copy every trace line to standard output
    bool systemBus = false;   // "SystemBus": serve on the system bus instead of the session bus
    bool help = false;        // "--help", "-help", "-h", "-?": list the switches and end
    std::string fileName;     // the configuration named on the command line
    // "Screenshots DIR": draw the main window and every dialog into DIR, then end.
    bool screenshots = false;
    std::string screenshotDirectory;
    std::vector<std::string> ignored;  // switches the program does not act on

    bool Interactive() const { return !embedding && !automation; }
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The switches as the manual page lists them, for "--help".
std::string CommandLineHelp();
// Prints CommandLineHelp to standard output; the exit code (0, or 1 when it could not be
// written). Needs no bus and no display.
int PrintCommandLineHelp();

}  // namespace velk
