#include "app/server_settings.h"

#include <utility>

namespace velk {
namespace {

std::uint16_t Low16(std::uint32_t n) { return static_cast<std::uint16_t>(n & 0xFFFF); }

}  // namespace

ServerSettings LoadServerSettings(SettingsAccess& access, bool readOnly) {
    const ServerSettings defaults;
    ServerSettings s;
    const auto number = [&](std::string_view key, std::string_view name, std::uint32_t def) {
        return access.ReadSettingNumber(key, name, readOnly, def);
    };
    const auto text = [&](std::string_view key, std::string_view name, const std::string& def) {
        return access.ReadSettingText(key, name, readOnly, def);
    };

    s.ChangelessUpdate = number("", "ChangelessUpdate", 0) != 0;
    s.FullTagPath = number("", "FullTagPath", defaults.FullTagPath);
    s.AreaDelimiter = text("", "AreaDelimiter", defaults.AreaDelimiter);
    // 0 would lock every client out; it reads as the default.
    const auto limit = [&](std::string_view name, std::uint32_t def) {
        const std::uint32_t n = number("", name, def);
        return n == 0 ? def : n;
    };
    s.ClientLimits.MaxGroupsPerClient =
        limit("MaxGroupsPerClient", defaults.ClientLimits.MaxGroupsPerClient);
    s.ClientLimits.MaxItemsPerClient =
        limit("MaxItemsPerClient", defaults.ClientLimits.MaxItemsPerClient);
    s.ClientLimits.MaxRequestsPerClient =
        limit("MaxRequestsPerClient", defaults.ClientLimits.MaxRequestsPerClient);
    s.ClientLimits.MaxSubscriptionsPerClient =
        limit("MaxSubscriptionsPerClient", defaults.ClientLimits.MaxSubscriptionsPerClient);
    s.ClientLimits.MaxObjectsPerClient =
        limit("MaxObjectsPerClient", defaults.ClientLimits.MaxObjectsPerClient);

    s.EventStack.Master1 = Low16(number(kEventStackKey, "Master1", defaults.EventStack.Master1));
    s.EventStack.Master2 = Low16(number(kEventStackKey, "Master2", defaults.EventStack.Master2));
    s.EventStack.Size = Low16(number(kEventStackKey, "Size", defaults.EventStack.Size / 4) * 4);

    s.TraceFile.FileName = text(kTraceFileKey, "FileName", defaults.TraceFile.FileName);
    s.TraceFile.FileSize = number(kTraceFileKey, "FileSize", defaults.TraceFile.FileSize);
    s.TraceFile.MaxRotatedFiles =
        number(kTraceFileKey, "MaxRotatedFiles", defaults.TraceFile.MaxRotatedFiles);

    s.Redundancy.Enabled = number(kRedundancyKey, "Enabled", defaults.Redundancy.Enabled);
    s.Redundancy.SyncMaster = number(kRedundancyKey, "SyncMaster", defaults.Redundancy.SyncMaster);
    s.Redundancy.Port = Low16(number(kRedundancyKey, "Port", defaults.Redundancy.Port));
    s.Redundancy.AlternateServer =
        text(kRedundancyKey, "AlternateServer", defaults.Redundancy.AlternateServer);
    s.Redundancy.AlternateGateway =
        text(kRedundancyKey, "AlternateGateway", defaults.Redundancy.AlternateGateway);

    // -1 is stored as 0xFFFFFFFF: the numbers are the same 32 bits, read as signed.
    s.Shutdown.OnDisconnect = static_cast<std::int32_t>(
        number(kShutdownKey, "OnDisconnect", static_cast<std::uint32_t>(kNever)));
    s.Shutdown.OnCommFail = static_cast<std::int32_t>(
        number(kShutdownKey, "OnCommFail", static_cast<std::uint32_t>(kNever)));

    const SparkplugSettings& sp = defaults.Sparkplug;
    s.Sparkplug.Enabled = number(kSparkplugKey, "Enabled", sp.Enabled);
    s.Sparkplug.BrokerUrl = text(kSparkplugKey, "BrokerUrl", sp.BrokerUrl);
    s.Sparkplug.ClientId = text(kSparkplugKey, "ClientId", sp.ClientId);
    s.Sparkplug.GroupId = text(kSparkplugKey, "GroupId", sp.GroupId);
    s.Sparkplug.EdgeNodeId = text(kSparkplugKey, "EdgeNodeId", sp.EdgeNodeId);
    s.Sparkplug.UserName = text(kSparkplugKey, "UserName", sp.UserName);
    s.Sparkplug.PasswordFile = text(kSparkplugKey, "PasswordFile", sp.PasswordFile);
    s.Sparkplug.CaFile = text(kSparkplugKey, "CaFile", sp.CaFile);
    s.Sparkplug.CertFile = text(kSparkplugKey, "CertFile", sp.CertFile);
    s.Sparkplug.KeyFile = text(kSparkplugKey, "KeyFile", sp.KeyFile);
    // 0 would publish without pause; it reads as the default.
    s.Sparkplug.PublishPeriod = number(kSparkplugKey, "PublishPeriod", sp.PublishPeriod);
    if (s.Sparkplug.PublishPeriod == 0) s.Sparkplug.PublishPeriod = sp.PublishPeriod;
    s.Sparkplug.Deadband = text(kSparkplugKey, "Deadband", sp.Deadband);
    s.Sparkplug.PrimaryHostId = text(kSparkplugKey, "PrimaryHostId", sp.PrimaryHostId);
    s.Sparkplug.StoreDirectory = text(kSparkplugKey, "StoreDirectory", sp.StoreDirectory);
    s.Sparkplug.StoreLimitMB = number(kSparkplugKey, "StoreLimitMB", sp.StoreLimitMB);
    s.Sparkplug.AllowWrites = number(kSparkplugKey, "AllowWrites", sp.AllowWrites);

    const OpcUaSettings& ua = defaults.OpcUa;
    s.OpcUa.Enabled = number(kOpcUaKey, "Enabled", ua.Enabled);
    s.OpcUa.Port = number(kOpcUaKey, "Port", ua.Port);
    s.OpcUa.BindAddresses = text(kOpcUaKey, "BindAddresses", ua.BindAddresses);
    s.OpcUa.AllowAnonymous = number(kOpcUaKey, "AllowAnonymous", ua.AllowAnonymous);
    s.OpcUa.AllowSecurityNone = number(kOpcUaKey, "AllowSecurityNone", ua.AllowSecurityNone);
    s.OpcUa.PkiDirectory = text(kOpcUaKey, "PkiDirectory", ua.PkiDirectory);
    const auto uaLimit = [&](std::string_view name, std::uint32_t def) {
        const std::uint32_t n = number(kOpcUaKey, name, def);
        return n == 0 ? def : n;
    };
    s.OpcUa.MaxSessions = uaLimit("MaxSessions", ua.MaxSessions);
    s.OpcUa.MaxSubscriptionsPerSession =
        uaLimit("MaxSubscriptionsPerSession", ua.MaxSubscriptionsPerSession);
    s.OpcUa.MaxMonitoredItems = uaLimit("MaxMonitoredItems", ua.MaxMonitoredItems);

    // The fifth subkey holds no option; opening it creates it for an administrator.
    access.OpenSettingsKey(kRecentFileListKey, readOnly);
    return s;
}

bool SaveSettings(SettingsAccess& access, const ServerSettings& s, const IAdminCheck& admin,
                  IMessageBox& messages) {
    if (!admin.IsAdministrator()) {
        messages.Show(std::string(kAdminRightsMessage), MessageKind::Warning);
        return false;
    }
    access.WriteSettingNumber("", "FullTagPath", s.FullTagPath);
    access.WriteSettingNumber("", "ChangelessUpdate", s.ChangelessUpdate ? 1 : 0);
    access.WriteSettingNumber(kTraceFileKey, "FileSize", s.TraceFile.FileSize);
    access.WriteSettingText(kTraceFileKey, "FileName", s.TraceFile.FileName);
    access.WriteSettingNumber(kRedundancyKey, "Enabled", s.Redundancy.Enabled);
    access.WriteSettingNumber(kRedundancyKey, "SyncMaster", s.Redundancy.SyncMaster);
    access.WriteSettingText(kRedundancyKey, "AlternateServer", s.Redundancy.AlternateServer);
    access.WriteSettingText(kRedundancyKey, "AlternateGateway", s.Redundancy.AlternateGateway);
    access.WriteSettingNumber(kRedundancyKey, "Port", s.Redundancy.Port);
    access.WriteSettingNumber(kShutdownKey, "OnDisconnect",
                              static_cast<std::uint32_t>(s.Shutdown.OnDisconnect));
    access.WriteSettingNumber(kShutdownKey, "OnCommFail",
                              static_cast<std::uint32_t>(s.Shutdown.OnCommFail));
    access.WriteSettingText("", "AreaDelimiter", s.AreaDelimiter);
    return true;
}

bool SaveSparkplugSettings(SettingsAccess& access, const SparkplugSettings& s,
                           const IAdminCheck& admin, IMessageBox& messages) {
    if (!admin.IsAdministrator()) {
        messages.Show(std::string(kAdminRightsMessage), MessageKind::Warning);
        return false;
    }
    const auto text = [&](std::string_view name, const std::string& value) {
        access.WriteSettingText(kSparkplugKey, name, value);
    };
    access.WriteSettingNumber(kSparkplugKey, "Enabled", s.Enabled);
    text("BrokerUrl", s.BrokerUrl);
    text("ClientId", s.ClientId);
    text("GroupId", s.GroupId);
    text("EdgeNodeId", s.EdgeNodeId);
    text("UserName", s.UserName);
    text("PasswordFile", s.PasswordFile);
    text("CaFile", s.CaFile);
    text("CertFile", s.CertFile);
    text("KeyFile", s.KeyFile);
    access.WriteSettingNumber(kSparkplugKey, "PublishPeriod", s.PublishPeriod);
    text("Deadband", s.Deadband);
    text("PrimaryHostId", s.PrimaryHostId);
    text("StoreDirectory", s.StoreDirectory);
    access.WriteSettingNumber(kSparkplugKey, "StoreLimitMB", s.StoreLimitMB);
    access.WriteSettingNumber(kSparkplugKey, "AllowWrites", s.AllowWrites);
    return true;
}

bool SaveOpcUaSettings(SettingsAccess& access, const OpcUaSettings& s, const IAdminCheck& admin,
                       IMessageBox& messages) {
    if (!admin.IsAdministrator()) {
        messages.Show(std::string(kAdminRightsMessage), MessageKind::Warning);
        return false;
    }
    const auto number = [&](std::string_view name, std::uint32_t value) {
        access.WriteSettingNumber(kOpcUaKey, name, value);
    };
    number("Enabled", s.Enabled);
    number("Port", s.Port);
    access.WriteSettingText(kOpcUaKey, "BindAddresses", s.BindAddresses);
    number("AllowAnonymous", s.AllowAnonymous);
    number("AllowSecurityNone", s.AllowSecurityNone);
    access.WriteSettingText(kOpcUaKey, "PkiDirectory", s.PkiDirectory);
    number("MaxSessions", s.MaxSessions);
    number("MaxSubscriptionsPerSession", s.MaxSubscriptionsPerSession);
    number("MaxMonitoredItems", s.MaxMonitoredItems);
    return true;
}

void SaveRecentFiles(SettingsAccess& access, const RecentFileList& files,
                     const IAdminCheck& admin) {
    if (!admin.IsAdministrator()) return;
    for (int i = 0; i < RecentFileList::kSize; ++i) {
        const std::string& entry = files.Entry(i);
        if (!entry.empty()) {
            access.WriteSettingText(kRecentFileListKey, RecentFileValueName(i + 1), entry);
        }
    }
}

ServerSettings ServerSettingsHolder::Get() const {
    std::lock_guard lock(mutex_);
    return settings_;
}

void ServerSettingsHolder::Set(ServerSettings settings) {
    std::lock_guard lock(mutex_);
    settings_ = std::move(settings);
}

std::string ServerSettingsHolder::AreaDelimiter() const {
    std::lock_guard lock(mutex_);
    return settings_.AreaDelimiter;
}

std::string ServerSettingsHolder::TraceFileName() const {
    std::lock_guard lock(mutex_);
    return settings_.TraceFile.FileName;
}

std::string ServerSettingsHolder::AlternateServer() const {
    std::lock_guard lock(mutex_);
    return settings_.Redundancy.AlternateServer;
}

std::string ServerSettingsHolder::AlternateGateway() const {
    std::lock_guard lock(mutex_);
    return settings_.Redundancy.AlternateGateway;
}

bool ServerSettingsHolder::ChangelessUpdate() const {
    std::lock_guard lock(mutex_);
    return settings_.ChangelessUpdate;
}

std::uint32_t ServerSettingsHolder::FullTagPath() const {
    std::lock_guard lock(mutex_);
    return settings_.FullTagPath;
}

SparkplugSettings ServerSettingsHolder::Sparkplug() const {
    std::lock_guard lock(mutex_);
    return settings_.Sparkplug;
}

OpcUaSettings ServerSettingsHolder::OpcUa() const {
    std::lock_guard lock(mutex_);
    return settings_.OpcUa;
}

RedundancySettings ServerSettingsHolder::Redundancy() const {
    std::lock_guard lock(mutex_);
    return settings_.Redundancy;
}

ShutdownSettings ServerSettingsHolder::Shutdown() const {
    std::lock_guard lock(mutex_);
    return settings_.Shutdown;
}

EventStackSettings ServerSettingsHolder::EventStack() const {
    std::lock_guard lock(mutex_);
    return settings_.EventStack;
}

ClientLimitSettings ServerSettingsHolder::ClientLimits() const {
    std::lock_guard lock(mutex_);
    return settings_.ClientLimits;
}

}  // namespace velk
