#include "app/opcua/ua_dialog_model.h"

#include "app/settings_field_text.h"

namespace velk {
namespace {

std::optional<std::size_t> IndexOf(std::string_view setting) {
    return FieldIndex(UaFields(), setting);
}

struct Member {
    std::string_view setting;
    std::uint32_t OpcUaSettings::*number = nullptr;  // a check box or a number
    std::string OpcUaSettings::*text = nullptr;
};

// The settings' members by field, for the copy in and out.
const std::vector<Member>& Members() {
    static const std::vector<Member> members = {
        {"Enabled", &OpcUaSettings::Enabled},
        {"Port", &OpcUaSettings::Port},
        {"BindAddresses", nullptr, &OpcUaSettings::BindAddresses},
        {"AllowAnonymous", &OpcUaSettings::AllowAnonymous},
        {"AllowSecurityNone", &OpcUaSettings::AllowSecurityNone},
        {"PkiDirectory", nullptr, &OpcUaSettings::PkiDirectory},
        {"MaxSessions", &OpcUaSettings::MaxSessions},
        {"MaxSubscriptionsPerSession", &OpcUaSettings::MaxSubscriptionsPerSession},
        {"MaxMonitoredItems", &OpcUaSettings::MaxMonitoredItems},
    };
    return members;
}

}  // namespace

const std::vector<UaField>& UaFields() {
    static const std::vector<UaField> fields = {
        {"Enabled", "Serve OPC UA clients", true, false},
        {"Port", "Port:", false, true},
        {"BindAddresses", "Bind addresses (comma-separated, empty: all):"},
        {"AllowAnonymous", "Allow anonymous sessions", true, false},
        {"AllowSecurityNone", "Allow the None security policy (no signing, no encryption)", true,
         false},
        {"PkiDirectory", "PKI directory:"},
        {"MaxSessions", "Sessions at most:", false, true},
        {"MaxSubscriptionsPerSession", "Subscriptions per session at most:", false, true},
        {"MaxMonitoredItems", "Monitored items at most:", false, true},
    };
    return fields;
}

UaDialogModel::UaDialogModel(const OpcUaSettings& settings, UaHostFacts host, bool administrator)
    : values_(UaFields().size()), host_(std::move(host)), administrator_(administrator) {
    for (const Member& m : Members()) {
        const bool box = UaFields()[*IndexOf(m.setting)].checkBox;
        std::string& value = values_[*IndexOf(m.setting)];
        if (m.text != nullptr) {
            value = settings.*m.text;
        } else if (box) {
            value.assign(1, settings.*m.number != 0 ? '1' : '0');
        } else {
            value = std::to_string(settings.*m.number);
        }
    }
}

const std::string& UaDialogModel::Text(std::string_view setting) const {
    static const std::string none;
    const auto index = IndexOf(setting);
    return index ? values_[*index] : none;
}

bool UaDialogModel::SetText(std::string_view setting, std::string text) {
    const auto index = IndexOf(setting);
    if (!index || !IsEnabled(setting)) return false;
    values_[*index] = std::move(text);
    return true;
}

bool UaDialogModel::IsEnabled(std::string_view setting) const {
    if (!administrator_ || !IndexOf(setting)) return false;
    return setting == "Enabled" || Text("Enabled") == "1";
}

std::optional<OpcUaSettings> UaDialogModel::Result() const {
    OpcUaSettings s;
    for (const Member& m : Members()) {
        const std::string& value = Text(m.setting);
        if (m.text != nullptr) {
            s.*m.text = value;
        } else if (UaFields()[*IndexOf(m.setting)].checkBox) {
            s.*m.number = value == "1" ? 1 : 0;
        } else {
            const auto n = PositiveInteger(value);
            if (!n) return std::nullopt;
            s.*m.number = *n;
        }
    }
    return s;
}

std::optional<UaDialogModel::Error> UaDialogModel::Validate() const {
    for (const UaField& field : UaFields()) {
        if (field.number && !PositiveInteger(Text(field.setting))) {
            return Error{std::string(field.setting), "Enter a positive integer."};
        }
    }
    const OpcUaSettings s = *Result();
    if (s.Enabled == 0) return std::nullopt;
    UaFrontOptions options;
    std::string message, setting;
    if (!ResolveUaOptions(s, host_, options, message, &setting)) return Error{setting, message};
    return std::nullopt;
}

bool UaDialogModel::Ok(ServerSettingsHolder& settings, SettingsAccess& access,
                       const IAdminCheck& admin, IMessageBox& messages) {
    // Asked again: the rights are the process's now, not those the dialog was opened with.
    if (!admin.IsAdministrator()) {
        messages.Show(std::string(kAdminRightsMessage), MessageKind::Warning);
        return false;
    }
    if (const auto error = Validate()) {
        messages.Show(error->message, MessageKind::Warning);
        focus_ = error->setting;
        return false;
    }
    const OpcUaSettings result = *Result();
    if (!SaveOpcUaSettings(access, result, admin, messages)) return false;
    ServerSettings all = settings.Get();
    all.OpcUa = result;
    settings.Set(all);
    return true;
}

}  // namespace velk
