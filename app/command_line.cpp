#include "app/command_line.h"

#include <cstdio>

#include "platform/text.h"

namespace velk {
namespace {
bool IsSwitch(const std::string& argument) {
    return argument.size() > 1 && (argument[0] == '/' || argument[0] == '-');
}

bool IsOneOf(std::string_view name, std::initializer_list<std::string_view> names) {
    for (std::string_view candidate : names) {
        if (EqualsNoCase(name, candidate)) return true;
    }
    return false;
}

// Acts on one switch; false when the name is none of the program's.
bool ApplySwitch(std::string_view name, CommandLine& line) {
    if (IsOneOf(name, {"Register", "Regserver", "RegisterPerUser", "RegserverPerUser"})) {
        line.command = ShellCommand::Register;
    } else if (IsOneOf(name,
                       {"Unregister", "Unregserver", "UnregisterPerUser", "UnregserverPerUser"})) {
        line.command = ShellCommand::Unregister;
    } else if (EqualsNoCase(name, "Embedding")) {
        line.embedding = true;
    } else if (EqualsNoCase(name, "Automation")) {
        line.automation = true;
    } else if (EqualsNoCase(name, "EchoTrace")) {
        line.echoTrace = true;
    } else if (EqualsNoCase(name, "SystemBus")) {
        line.systemBus = true;
    } else if (IsOneOf(name, {"-help", "help", "h", "?"})) {
        line.help = true;
    } else {
        return false;
    }
    return true;
}

void SetFileName(const std::string& argument, CommandLine& line) {
    // Only the first file name counts, as the shell passes one document.
    if (!line.fileName.empty()) return;
    line.fileName = argument;
    if (line.command == ShellCommand::FileNew) line.command = ShellCommand::FileOpen;
}
}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (IsSwitch(argument) &&
            EqualsNoCase(std::string_view(argument).substr(1), "Screenshots")) {
            // The one switch with a value: the folder that takes the pictures.
            line.screenshots = true;
            if (i + 1 < arguments.size()) line.screenshotDirectory = arguments[++i];
            continue;
        }
        if (!IsSwitch(argument)) {
            SetFileName(argument, line);
            continue;
        }
        if (ApplySwitch(std::string_view(argument).substr(1), line)) continue;
        // "/" also begins every absolute path here: what names no switch is a file.
        if (argument[0] == '/') {
            SetFileName(argument, line);
        } else {
            line.ignored.push_back(argument);
        }
    }
    return line;
}

}  // namespace velk

namespace velk {

std::string CommandLineHelp() {
    return "Usage: velkopc [switches] [configuration.vlk]\n"
           "       velkopc --version\n"
           "\n"
           "Switches begin with / or - and ignore case. A / argument that names no switch is\n"
           "taken as a file path.\n"
           "\n"
           "  -Register, -Regserver (also -RegisterPerUser, -RegserverPerUser)\n"
           "      Write the server's registration records and its D-Bus activation files, then\n"
           "      end.\n"
           "  -Unregister, -Unregserver (also -UnregisterPerUser, -UnregserverPerUser)\n"
           "      Remove them, then end.\n"
           "  -SystemBus\n"
           "      Serve on the system bus instead of the session bus. With -Register: write\n"
           "      the system-bus activation files and bus policy.\n"
           "  -Embedding, -Automation\n"
           "      Started by a client: no window, and the process ends with its last client.\n"
           "  -EchoTrace\n"
           "      Also print every trace line on standard output.\n"
           "  --version\n"
           "      Print the program's name and version, then end.\n"
           "  --help (also -help, -h, -?)\n"
           "      Print this list of switches, then end.\n"
           "\n"
           "See velkopc(1).\n";
}

int PrintCommandLineHelp() {
    const std::string text = CommandLineHelp();
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace velk
