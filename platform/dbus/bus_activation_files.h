#pragma once
// The files that let the message bus start the server on demand (bus activation): one
// service file per class name, "[D-BUS Service]" with the name and the command line
// "<executable> -Embedding"; for the system bus also a bus policy file. The policy lets only
// the server's own user (kSystemBusServerUser, the User= of the service files) own the names
// and call the sink interfaces of its clients, and lets that user and the group
// "velkopc-admin" call the server; it opens nothing else. Files are written mode 0644 and
// directories made 0755 whatever the umask, never through a symbolic link.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velk {

inline constexpr const char* kBusAdminGroup = "velkopc-admin";
// The user that the system bus starts the server as.
inline constexpr const char* kSystemBusServerUser = "root";

struct BusActivationPaths {
    std::string
        sessionServices;         // $VELKOPC_DBUS_SERVICES_DIR, else $XDG_DATA_HOME/dbus-1/services,
                                 // else <home>/.local/share/dbus-1/services
    std::string systemServices;  // $VELKOPC_DBUS_SYSTEM_SERVICES_DIR, else
                                 // /usr/share/dbus-1/system-services
    std::string systemPolicy;    // $VELKOPC_DBUS_POLICY_DIR, else /etc/dbus-1/system.d

    using Environment = std::function<std::optional<std::string>(const char* name)>;
    static BusActivationPaths FromEnvironment(const Environment& environment);
    static BusActivationPaths FromEnvironment();
};

class BusActivationFiles {
  public:
    // names: the classes' bus names; the first names the policy file. sinkInterfaces: the
    // interfaces the server calls on its clients' objects.
    BusActivationFiles(BusActivationPaths paths, std::vector<std::string> names,
                       std::vector<std::string> sinkInterfaces = {});

    // Writes the service files (and on the system bus the policy file), creating the
    // directories; false with the path and the system's reason at the first failure.
    bool Install(const std::string& executable, bool systemBus, std::string& reason) const;
    // Removes them; files that are already missing are no failure.
    bool Remove(bool systemBus, std::string& reason) const;

    std::string ServiceFilePath(const std::string& name, bool systemBus) const;
    std::string PolicyFilePath() const;
    // The texts as written.
    static std::string ServiceFileText(const std::string& name, const std::string& executable,
                                       bool systemBus);
    std::string PolicyFileText() const;

  private:
    BusActivationPaths paths_;
    std::vector<std::string> names_;
    std::vector<std::string> sinkInterfaces_;
};

// The executable path quoted for the Exec line when it holds characters the bus's command
// line parser would split or interpret.
std::string QuoteExecArgument(const std::string& argument);

}  // namespace velk
