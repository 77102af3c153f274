#include "platform/dbus/bus_activation_files.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace velk {
namespace {

std::string HomeDirectory(const BusActivationPaths::Environment& environment) {
    if (auto home = environment("HOME"); home && !home->empty()) return *home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return {};
}

// Writes through a temporary file and a rename, so that the bus never reads half a file.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& reason) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error) {
        reason = "cannot create the directory of " + path + ": " + error.message();
        return false;
    }
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            reason = "cannot write " + temporary + ": " + std::strerror(errno);
            return false;
        }
    }
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        reason = "cannot write " + path + ": " + error.message();
        return false;
    }
    return true;
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

std::string PolicyRules(const std::vector<std::string>& names, bool allow) {
    std::string rules;
    const char* verb = allow ? "allow" : "deny";
    for (const std::string& name : names) {
        rules += std::string("    <") + verb + " own=\"" + name + "\"/>\n";
        rules += std::string("    <") + verb + " send_destination=\"" + name + "\"/>\n";
    }
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

BusActivationFiles::BusActivationFiles(BusActivationPaths paths, std::vector<std::string> names)
    : paths_(std::move(paths)), names_(std::move(names)) {}

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
    if (systemBus) text += "User=root\n";
    return text;
}

std::string BusActivationFiles::PolicyFileText() const {
    return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN\"\n"
           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
           "<busconfig>\n"
           "  <policy user=\"root\">\n" +
           PolicyRules(names_, true) +
           // The server runs as root and calls back the sinks of its clients.
           "    <allow send_type=\"method_call\"/>\n"
           "  </policy>\n"
           "  <policy group=\"" +
           kBusAdminGroup + "\">\n" + PolicyRules(names_, true) +
           "  </policy>\n"
           "  <policy context=\"default\">\n" +
           PolicyRules(names_, false) +
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
