#pragma once
// The server options: read once at start-up from the machine-wide settings store, changed
// while the process runs only by the "OPC Server Options" dialog, which writes them all back.
// Each member keeps its value the way the program uses it ("kept as").
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "app/recent_file_list.h"
#include "core/settings_access.h"
#include "platform/session.h"

namespace velk {

inline constexpr std::string_view kEventStackKey = "EventStack";
inline constexpr std::string_view kTraceFileKey = "TraceFile";
inline constexpr std::string_view kRedundancyKey = "Redundancy";
inline constexpr std::string_view kShutdownKey = "Shutdown";
inline constexpr std::string_view kSparkplugKey = "Sparkplug";
inline constexpr std::string_view kOpcUaKey = "OpcUa";

inline constexpr std::string_view kAdminRightsMessage =
    "To modify the settings you should run the program with administration rights!";

// "-1" as the stores keep it.
inline constexpr std::int32_t kNever = -1;

struct TraceFileSettings {
    std::string FileName;                 // empty: no trace file
    std::uint32_t FileSize = 1024;        // kilobytes at which the file is rotated
    std::uint32_t MaxRotatedFiles = 100;  // rotated files kept, the oldest removed; 0 = all
    bool operator==(const TraceFileSettings&) const = default;
};

struct RedundancySettings {
    std::uint32_t Enabled = 0;     // non-zero: redundancy with a peer server
    std::uint32_t SyncMaster = 0;  // non-zero: this server sends its clock to the peer
    std::uint16_t Port = 8201;     // low 16 bits of the stored number
    std::string AlternateServer;   // address of the peer server
    std::string AlternateGateway;  // this host's interface towards the peer
    bool operator==(const RedundancySettings&) const = default;
};

struct ShutdownSettings {
    std::int32_t OnDisconnect = kNever;  // kept, shown and saved only
    std::int32_t OnCommFail = kNever;    // seconds without a good exchange; -1 = never
    bool operator==(const ShutdownSettings&) const = default;
};

struct EventStackSettings {
    std::uint16_t Master1 = 3072;  // first register of the Master #1 event buffer
    std::uint16_t Master2 = 3584;  // first register of the Master #2 event buffer
    std::uint16_t Size = 62 * 4;   // registers: the stored record count multiplied by 4
    bool operator==(const EventStackSettings&) const = default;
};

// The Sparkplug B edge node (the publisher to an MQTT broker).
struct SparkplugSettings {
    std::uint32_t Enabled = 0;  // non-zero: the server publishes
    std::string BrokerUrl;      // tcp://host:port or ssl://host:port
    std::string ClientId;       // empty: "<GroupId>-<EdgeNodeId>"
    std::string GroupId;
    std::string EdgeNodeId;  // empty: the host name
    std::string UserName;    // empty: no user name and no password
    std::string PasswordFile;
    std::string CaFile;  // ssl:// only
    std::string CertFile;
    std::string KeyFile;
    std::uint32_t PublishPeriod = 1000;  // milliseconds
    std::string Deadband = "0";          // percent of a scaled tag's engineering range
    std::string PrimaryHostId;
    std::string StoreDirectory;  // empty: "sparkplug" beside the trace file
    std::uint32_t StoreLimitMB = 100;
    std::uint32_t AllowWrites = 0;  // non-zero: DCMD writes tags
    bool operator==(const SparkplugSettings&) const = default;
};

// The OPC UA server. Kept as stored: the UA front checks them when it starts
// (ResolveUaOptions), so an unusable value is refused with a message, not cut to fit.
struct OpcUaSettings {
    std::uint32_t Enabled = 1;  // non-zero: the server listens for UA clients
    std::uint32_t Port = 4840;
    std::string BindAddresses;            // IPv4 addresses joined by ","; empty: every address
    std::uint32_t AllowAnonymous = 0;     // non-zero: sessions without a user identity
    std::uint32_t AllowSecurityNone = 0;  // non-zero: an endpoint without signing or encryption
    std::string PkiDirectory;  // empty: the service's or the user's default (DefaultPkiDirectory)
    // 0 in the store would refuse every client; it reads as the default.
    std::uint32_t MaxSessions = 100;
    std::uint32_t MaxSubscriptionsPerSession = 100;
    std::uint32_t MaxMonitoredItems = 500000;  // over all sessions
    bool operator==(const OpcUaSettings&) const = default;
};

// What one DA or AE client connection may hold at once, over all its server objects; read
// only (the Options dialog does not show them).
struct ClientLimitSettings {
    std::uint32_t MaxGroupsPerClient = 1000;
    std::uint32_t MaxItemsPerClient = 200000;
    std::uint32_t MaxRequestsPerClient = 1000;      // asynchronous requests waiting or running
    std::uint32_t MaxSubscriptionsPerClient = 200;  // AE event subscriptions
    std::uint32_t MaxObjectsPerClient = 16;  // DA server objects, and AE server objects, each
    bool operator==(const ClientLimitSettings&) const = default;
};

struct ServerSettings {
    bool ChangelessUpdate = false;  // any non-zero stored number reads as set
    std::uint32_t FullTagPath = 1;  // 0: AE source names are short names
    std::string AreaDelimiter = ".";
    TraceFileSettings TraceFile;
    RedundancySettings Redundancy;
    ShutdownSettings Shutdown;
    EventStackSettings EventStack;
    ClientLimitSettings ClientLimits;
    SparkplugSettings Sparkplug;
    OpcUaSettings OpcUa;

    bool operator==(const ServerSettings&) const = default;
};

// Reads every setting, with its default where the store has none. MaxRotatedFiles is set in
// the store by hand (no dialog field) and therefore never written. Not read-only (an
// administrator): the application key and its seven subkeys are created, empty, when
// missing; no value is ever written. Read-only: nothing is created.
ServerSettings LoadServerSettings(SettingsAccess& access, bool readOnly);

// Writes the dialog's settings: refused with kAdminRightsMessage shown (and false) for a user
// who is not an administrator. Every value is written, changed or not, in the fixed order
// FullTagPath, ChangelessUpdate, FileSize, FileName, Enabled, SyncMaster, AlternateServer,
// AlternateGateway, Port, OnDisconnect, OnCommFail, AreaDelimiter; the "EventStack" values
// never. Write failures are not reported.
bool SaveSettings(SettingsAccess& access, const ServerSettings& settings, const IAdminCheck& admin,
                  IMessageBox& messages);

// Writes the "Sparkplug B" dialog's settings, every value, under the same rule as
// SaveSettings.
bool SaveSparkplugSettings(SettingsAccess& access, const SparkplugSettings& settings,
                           const IAdminCheck& admin, IMessageBox& messages);

// Writes the "OPC UA" dialog's settings, every value, under the same rule as SaveSettings.
bool SaveOpcUaSettings(SettingsAccess& access, const OpcUaSettings& settings,
                       const IAdminCheck& admin, IMessageBox& messages);

// Administrators only: writes each non-empty position i of the list as "File<i>" into the
// machine store's "Recent File List"; empty positions are neither written nor deleted.
void SaveRecentFiles(SettingsAccess& access, const RecentFileList& files, const IAdminCheck& admin);

// The process's in-memory settings. Every thread may read them while the dialog replaces
// them: readers get copies taken under the lock, so a text is never seen half replaced.
class ServerSettingsHolder {
  public:
    ServerSettingsHolder() = default;
    explicit ServerSettingsHolder(ServerSettings settings) : settings_(std::move(settings)) {}

    ServerSettings Get() const;
    void Set(ServerSettings settings);

    std::string AreaDelimiter() const;
    std::string TraceFileName() const;
    std::string AlternateServer() const;
    std::string AlternateGateway() const;

    bool ChangelessUpdate() const;
    std::uint32_t FullTagPath() const;
    RedundancySettings Redundancy() const;
    ShutdownSettings Shutdown() const;
    EventStackSettings EventStack() const;
    ClientLimitSettings ClientLimits() const;
    SparkplugSettings Sparkplug() const;
    OpcUaSettings OpcUa() const;

  private:
    mutable std::mutex mutex_;
    ServerSettings settings_;
};

}  // namespace velk
