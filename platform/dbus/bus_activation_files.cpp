#include "platform/dbus/bus_activation_files.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "platform/linux/safe_file_write.h"

namespace velk {
namespace {

std::string HomeDirectory(const BusActivationPaths::Environment& environment) {
    if (auto home = environment("HOME"); home && !home->empty()) return *home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

// Writes through a temporary file and a rename, so that the bus never reads half a file.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& reason) {
    return CreateDirectories(std::filesystem::path(path).parent_path().string(), kDirectoryMode,
                             reason) &&
           ReplaceFile(path, text, kFileMode, reason);
}

bool RemoveFile(const std::string& path, std::string& reason) {
    std::error_code error;
    std::filesystem::remove(path, error);
    if (error && error != std::errc::no_such_file_or_directory) {
        reason = "cannot remove " + path + ": " + error.message();
        return false;
    }
    return true;
}

std::string Rule(const char* verb, const std::string& attributes) {
    return std::string("    <") + verb + " " + attributes + "/>\n";
}

// Method calls to the server's names.
std::string CallRules(const std::vector<std::string>& names, const char* verb) {
    std::string rules;
    for (const std::string& name : names) {
        rules += Rule(verb, "send_destination=\"" + name + "\" send_type=\"method_call\"");
    }
    return rules;
}

std::string OwnRules(const std::vector<std::string>& names, const char* verb) {
    std::string rules;
    for (const std::string& name : names) rules += Rule(verb, "own=\"" + name + "\"");
    return rules;
}

}  // namespace

BusActivationPaths BusActivationPaths::FromEnvironment(const Environment& environment) {
    BusActivationPaths paths;
    if (auto dir = environment("VELKOPC_DBUS_SERVICES_DIR"); dir && !dir->empty()) {
        paths.sessionServices = *dir;
    } else if (auto data = environment("XDG_DATA_HOME"); data && !data->empty()) {
        paths.sessionServices = *data + "/dbus-1/services";
    } else {
        const std::string home = HomeDirectory(environment);
        if (!home.empty()) paths.sessionServices = home + "/.local/share/dbus-1/services";
    }
    auto system = environment("VELKOPC_DBUS_SYSTEM_SERVICES_DIR");
    paths.systemServices =
        system && !system->empty() ? *system : "/usr/share/dbus-1/system-services";
    auto policy = environment("VELKOPC_DBUS_POLICY_DIR");
    paths.systemPolicy = policy && !policy->empty() ? *policy : "/etc/dbus-1/system.d";
    return paths;
}

BusActivationPaths BusActivationPaths::FromEnvironment() {
    return FromEnvironment([](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr) return std::nullopt;
        return std::string(value);
    });
}

BusActivationFiles::BusActivationFiles(BusActivationPaths paths, std::vector<std::string> names,
                                       std::vector<std::string> sinkInterfaces)
    : paths_(std::move(paths)),
      names_(std::move(names)),
      sinkInterfaces_(std::move(sinkInterfaces)) {}

std::string BusActivationFiles::ServiceFilePath(const std::string& name, bool systemBus) const {
    return (systemBus ? paths_.systemServices : paths_.sessionServices) + "/" + name + ".service";
}

std::string BusActivationFiles::PolicyFilePath() const {
    return paths_.systemPolicy + "/" + (names_.empty() ? std::string("VELK") : names_.front()) +
           ".conf";
}

std::string BusActivationFiles::ServiceFileText(const std::string& name,
                                                const std::string& executable, bool systemBus) {
    std::string text = "[D-BUS Service]\nName=" + name + "\nExec=" + QuoteExecArgument(executable) +
                       " -Embedding" + (systemBus ? " -SystemBus" : "") + "\n";
    if (systemBus) text += std::string("User=") + kSystemBusServerUser + "\n";
    return text;
}

std::string BusActivationFiles::PolicyFileText() const {
    std::string sinkCalls;
    for (const std::string& interface : sinkInterfaces_) {
        sinkCalls +=
            Rule("allow", "send_type=\"method_call\" send_interface=\"" + interface + "\"");
    }
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <!-- The server's own user: owns the names, calls its clients' sinks. -->\n"
           "  <policy user=\"" +
           std::string(kSystemBusServerUser) + "\">\n" + OwnRules(names_, "allow") +
           CallRules(names_, "allow") + sinkCalls +
           "  </policy>\n"
           "  <!-- Administrators may call the server, never own its names. -->\n"
           "  <policy group=\"" +
           kBusAdminGroup + "\">\n" + CallRules(names_, "allow") +
           "  </policy>\n"
           "  <policy context=\"default\">\n" +
           OwnRules(names_, "deny") + CallRules(names_, "deny") +
           "  </policy>\n"
           "</busconfig>\n";
}

bool BusActivationFiles::Install(const std::string& executable, bool systemBus,
                                 std::string& reason) const {
    if (!systemBus && paths_.sessionServices.empty()) {
        reason = "no home directory for the session bus's service files";
        return false;
    }
    for (const std::string& name : names_) {
        if (!WriteFileAtomically(ServiceFilePath(name, systemBus),
                                 ServiceFileText(name, executable, systemBus), reason)) {
            return false;
        }
    }
    return !systemBus || WriteFileAtomically(PolicyFilePath(), PolicyFileText(), reason);
}

bool BusActivationFiles::Remove(bool systemBus, std::string& reason) const {
    if (!systemBus && paths_.sessionServices.empty()) return true;
    for (const std::string& name : names_) {
        if (!RemoveFile(ServiceFilePath(name, systemBus), reason)) return false;
    }
    return !systemBus || RemoveFile(PolicyFilePath(), reason);
}

std::string QuoteExecArgument(const std::string& argument) {
    bool plain = !argument.empty();
    for (char c : argument) {
        const bool safe =
            std::isalnum(static_cast<unsigned char>(c)) || std::strchr("/._-+,:@%", c) != nullptr;
        plain = plain && safe;
    }
    if (plain) return argument;
    // Single quotes keep everything as it is; a quote itself closes, is escaped, reopens.
    std::string quoted = "'";
    for (char c : argument) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace velk
