#pragma once
// The "OPC UA" dialog (from "OPC Server Options") without a toolkit: its fields, which are
// enabled, the checks on OK with their messages and the field that gets the focus, and the
// copy into the in-memory settings followed by SaveOpcUaSettings. Only an administrator may
// change the machine's settings: anyone else sees them read-only, and OK tells them why
// nothing is saved. The settings take effect at the server's next start, as the dialog says.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/opcua/ua_options.h"
#include "app/server_settings.h"
#include "platform/session.h"

namespace velk {

inline constexpr std::string_view kUaDialogTitle = "OPC UA";
inline constexpr std::string_view kUaButtonLabel = "OPC UA...";
inline constexpr std::string_view kUaRestartNote =
    "Changes take effect when the server is restarted.";

struct UaField {
    std::string_view setting;  // the value name in the "OpcUa" key
    std::string_view label;
    bool checkBox = false;
    bool number = false;  // a positive integer
};

// Every field in the dialog's order.
const std::vector<UaField>& UaFields();

class UaDialogModel {
  public:
    // `host` checks the entries as the server's start will (its default PKI directory is
    // what an empty PkiDirectory stands for, shown as the field's hint).
    UaDialogModel(const OpcUaSettings& settings, UaHostFacts host, bool administrator);

    // By the field's setting name; check boxes as "0" and "1". Disabled fields ignore
    // changes (false).
    const std::string& Text(std::string_view setting) const;
    bool SetText(std::string_view setting, std::string text);
    // Nothing is enabled for a user who is not an administrator; otherwise everything but
    // Enabled follows Enabled.
    bool IsEnabled(std::string_view setting) const;
    bool ReadOnly() const { return !administrator_; }
    const std::string& DefaultPkiDirectory() const { return host_.defaultPkiDirectory; }

    // The first failure of OK's checks: the field and the message. Nothing is checked but
    // the numbers while the UA server is not enabled.
    struct Error {
        std::string setting;
        std::string message;
    };
    std::optional<Error> Validate() const;
    std::optional<OpcUaSettings> Result() const;

    // OK: for a user who is not an administrator the rights message and nothing changes
    // (false). A failure is shown, its field gets the focus and nothing changes (false).
    // Otherwise the settings are saved and taken into `settings` (true).
    bool Ok(ServerSettingsHolder& settings, SettingsAccess& access, const IAdminCheck& admin,
            IMessageBox& messages);
    std::optional<std::string> FocusField() const { return focus_; }

  private:
    std::vector<std::string> values_;  // by UaFields() index
    UaHostFacts host_;
    bool administrator_;
    std::optional<std::string> focus_;
};

}  // namespace velk
