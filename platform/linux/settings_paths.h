#pragma once
// Where the settings stores live on Linux. The machine-wide store holds the server options
// and the machine copy of the recent-file list; the per-user store holds the user's own
// recent-file list.
#include <functional>
#include <optional>
#include <string>

namespace velk {

// Looks up an environment variable; none when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// $VELKOPC_SETTINGS, else "/etc/velkopc/settings.reg".
std::string MachineSettingsPath(const EnvironmentLookup& environment);
std::string MachineSettingsPath();

// $VELKOPC_USER_SETTINGS, else "$XDG_CONFIG_HOME/velkopc/settings.reg", else
// "<home>/.config/velkopc/settings.reg" with the home directory from $HOME or the password
// database. Empty when no home directory can be found.
std::string UserSettingsPath(const EnvironmentLookup& environment);
std::string UserSettingsPath();

}  // namespace velk
