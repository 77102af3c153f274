#include "platform/linux/settings_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace velk {
namespace {

constexpr const char* kStoreName = "/velkopc/settings.reg";

// Empty variables count as unset, as the XDG rules ask.
std::optional<std::string> NonEmpty(const EnvironmentLookup& environment, const char* name) {
    auto value = environment(name);
    if (value && value->empty()) return std::nullopt;
    return value;
}

std::optional<std::string> ProcessEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}

std::string PasswordHome() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? std::string(entry->pw_dir) : std::string();
}

}  // namespace

std::string MachineSettingsPath(const EnvironmentLookup& environment) {
    if (auto path = NonEmpty(environment, "VELKOPC_SETTINGS")) return *path;
    return std::string("/etc") + kStoreName;
}

std::string MachineSettingsPath() { return MachineSettingsPath(ProcessEnvironment); }

std::string UserSettingsPath(const EnvironmentLookup& environment) {
    if (auto path = NonEmpty(environment, "VELKOPC_USER_SETTINGS")) return *path;
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (auto config = NonEmpty(environment, "XDG_CONFIG_HOME"); config && config->front() == '/') {
        return *config + kStoreName;
    }
    std::string home = NonEmpty(environment, "HOME").value_or(PasswordHome());
    if (home.empty()) return {};
    return home + "/.config" + kStoreName;
}

std::string UserSettingsPath() { return UserSettingsPath(ProcessEnvironment); }

}  // namespace velk
