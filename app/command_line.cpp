#include "app/command_line.h"

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
