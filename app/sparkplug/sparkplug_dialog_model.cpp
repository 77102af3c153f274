#include "app/sparkplug/sparkplug_dialog_model.h"

#include "app/settings_field_text.h"
#include "app/sparkplug/sparkplug_options.h"

namespace velk {
namespace {

std::optional<std::size_t> IndexOf(std::string_view setting) {
    return FieldIndex(SparkplugFields(), setting);
}

// The settings' members by field, for the copy in and out.
std::vector<std::string*> Texts(SparkplugSettings& s) {
    return {&s.BrokerUrl, &s.ClientId,     &s.GroupId,       &s.EdgeNodeId,
            &s.UserName,  &s.PasswordFile, &s.CaFile,        &s.CertFile,
            &s.KeyFile,   &s.Deadband,     &s.PrimaryHostId, &s.StoreDirectory};
}

}  // namespace

const std::vector<SparkplugField>& SparkplugFields() {
    static const std::vector<SparkplugField> fields = {
        {"Enabled", "Publish to an MQTT broker", true, false},
        {"BrokerUrl", "Broker URL:"},
        {"ClientId", "Client ID:"},
        {"GroupId", "Group ID:"},
        {"EdgeNodeId", "Edge node ID:"},
        {"UserName", "User name:"},
        {"PasswordFile", "Password file:"},
        {"CaFile", "CA certificates:"},
        {"CertFile", "Client certificate:"},
        {"KeyFile", "Client key:"},
        {"Deadband", "Deadband (%):"},
        {"PrimaryHostId", "Primary host ID:"},
        {"StoreDirectory", "Store directory:"},
        {"PublishPeriod", "Publish period (ms):", false, true},
        {"StoreLimitMB", "Store limit (MB):", false, true},
        {"AllowWrites", "Allow writes (DCMD)", true, false},
    };
    return fields;
}

SparkplugDialogModel::SparkplugDialogModel(const SparkplugSettings& settings, std::string hostName,
                                           std::string traceFileName)
    : values_(SparkplugFields().size()),
      hostName_(std::move(hostName)),
      traceFileName_(std::move(traceFileName)) {
    SparkplugSettings s = settings;
    const auto texts = Texts(s);
    static constexpr std::string_view kTextSettings[] = {
        "BrokerUrl", "ClientId", "GroupId", "EdgeNodeId", "UserName",      "PasswordFile",
        "CaFile",    "CertFile", "KeyFile", "Deadband",   "PrimaryHostId", "StoreDirectory"};
    for (std::size_t i = 0; i < texts.size(); ++i) values_[*IndexOf(kTextSettings[i])] = *texts[i];
    values_[*IndexOf("Enabled")] = s.Enabled != 0 ? "1" : "0";
    values_[*IndexOf("AllowWrites")] = s.AllowWrites != 0 ? "1" : "0";
    values_[*IndexOf("PublishPeriod")] = std::to_string(s.PublishPeriod);
    values_[*IndexOf("StoreLimitMB")] = std::to_string(s.StoreLimitMB);
}

const std::string& SparkplugDialogModel::Text(std::string_view setting) const {
    static const std::string none;
    const auto index = IndexOf(setting);
    return index ? values_[*index] : none;
}

bool SparkplugDialogModel::SetText(std::string_view setting, std::string text) {
    const auto index = IndexOf(setting);
    if (!index || !IsEnabled(setting)) return false;
    values_[*index] = std::move(text);
    return true;
}

bool SparkplugDialogModel::IsEnabled(std::string_view setting) const {
    if (setting == "Enabled") return true;
    if (Text("Enabled") != "1") return false;
    if (setting == "CaFile" || setting == "CertFile" || setting == "KeyFile") {
        return Text("BrokerUrl").rfind("ssl://", 0) == 0;
    }
    if (setting == "PasswordFile") return !Text("UserName").empty();
    return true;
}

std::optional<SparkplugSettings> SparkplugDialogModel::Result() const {
    SparkplugSettings s;
    const auto period = PositiveInteger(Text("PublishPeriod"));
    const auto limit = PositiveInteger(Text("StoreLimitMB"));
    if (!period || !limit) return std::nullopt;
    const auto texts = Texts(s);
    static constexpr std::string_view kTextSettings[] = {
        "BrokerUrl", "ClientId", "GroupId", "EdgeNodeId", "UserName",      "PasswordFile",
        "CaFile",    "CertFile", "KeyFile", "Deadband",   "PrimaryHostId", "StoreDirectory"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // A field that its rule disables (certificates over tcp://) gives nothing.
        const bool enabled = Text("Enabled") != "1" || IsEnabled(kTextSettings[i]);
        *texts[i] = enabled ? Text(kTextSettings[i]) : std::string();
    }
    s.Enabled = Text("Enabled") == "1" ? 1 : 0;
    s.AllowWrites = Text("AllowWrites") == "1" ? 1 : 0;
    s.PublishPeriod = *period;
    s.StoreLimitMB = *limit;
    return s;
}

std::optional<SparkplugDialogModel::Error> SparkplugDialogModel::Validate() const {
    for (const char* number : {"PublishPeriod", "StoreLimitMB"}) {
        if (!PositiveInteger(Text(number))) return Error{number, "Enter a positive integer."};
    }
    const SparkplugSettings s = *Result();
    if (s.Enabled == 0) return std::nullopt;
    SparkplugOptions options;
    std::string message, setting;
    if (!ResolveSparkplugOptions(s, hostName_, traceFileName_, options, message, &setting)) {
        return Error{setting, message};
    }
    return std::nullopt;
}

bool SparkplugDialogModel::Ok(ServerSettingsHolder& settings, SettingsAccess& access,
                              const IAdminCheck& admin, IMessageBox& messages) {
    if (const auto error = Validate()) {
        messages.Show(error->message, MessageKind::Warning);
        focus_ = error->setting;
        return false;
    }
    const SparkplugSettings result = *Result();
    if (!SaveSparkplugSettings(access, result, admin, messages)) return false;
    ServerSettings all = settings.Get();
    all.Sparkplug = result;
    settings.Set(all);
    return true;
}

}  // namespace velk
