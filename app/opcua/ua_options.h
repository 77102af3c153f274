#pragma once
// The "OpcUa" settings as the UA front takes them: every value checked, the endpoint URLs
// made from the addresses and the port, and the server's bounds derived from the limits, so
// that both the dialog and the server's start refuse the same settings with the same message.
#include <functional>
#include <optional>
#include <string>

#include "app/opcua/ua_front_options.h"
#include "app/server_settings.h"

namespace velk {

// Connections taken beyond MaxSessions: clients that only ask FindServers or GetEndpoints
// before they open their session, so a full server can still be discovered.
inline constexpr std::size_t kUaDiscoveryConnections = 10;

// The upper bounds of the limits; beyond them one client could hold the server's memory.
inline constexpr std::uint32_t kUaMostSessions = 10'000;
inline constexpr std::uint32_t kUaMostSubscriptionsPerSession = 10'000;
inline constexpr std::uint32_t kUaMostMonitoredItems = 10'000'000;

struct UaHostFacts {
    std::string hostName;             // the endpoint URL's host when every address is bound
    std::string defaultPkiDirectory;  // for an empty PkiDirectory (DefaultPkiDirectory)
};

// Where the PKI lives when the settings name none: /var/lib/velkopc/pki for the service
// (the system bus), else $XDG_DATA_HOME/velkopc/pki, $XDG_DATA_HOME defaulting to
// $HOME/.local/share; empty with neither set.
using UaEnvironment = std::function<std::optional<std::string>(const char* name)>;
std::string DefaultPkiDirectory(bool service, const UaEnvironment& environment);

// The options; false with the message when a setting is unusable, and that setting's value
// name in `setting` ("Port", ...) when one is given. Enabled is not looked at: the caller
// starts the front only when it is set.
bool ResolveUaOptions(const OpcUaSettings& settings, const UaHostFacts& host,
                      UaFrontOptions& options, std::string& message,
                      std::string* setting = nullptr);

}  // namespace velk
