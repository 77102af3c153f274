#pragma once
// The "Sparkplug B" dialog (from "OPC Server Options") without a toolkit: its fields, which
// are enabled, the checks on OK with their messages and the field that gets the focus, and
// the copy into the in-memory settings followed by SaveSparkplugSettings, which, as the
// Options dialog's save, only an administrator may do. The settings take effect at the
// server's next start.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/server_settings.h"
#include "platform/session.h"

namespace velk {

inline constexpr std::string_view kSparkplugDialogTitle = "Sparkplug B";
inline constexpr std::string_view kSparkplugButtonLabel = "Sparkplug B...";

struct SparkplugField {
    std::string_view setting;  // the value name in the "Sparkplug" key
    std::string_view label;
    bool checkBox = false;
    bool number = false;  // a positive integer
};

// Every field in the dialog's order.
const std::vector<SparkplugField>& SparkplugFields();

class SparkplugDialogModel {
  public:
    SparkplugDialogModel(const SparkplugSettings& settings, std::string hostName,
                         std::string traceFileName);

    // By the field's setting name; check boxes as "0" and "1". Disabled fields ignore
    // changes (false).
    const std::string& Text(std::string_view setting) const;
    bool SetText(std::string_view setting, std::string text);
    // Everything but Enabled follows Enabled; the certificates need an ssl:// URL, the
    // password file a user name.
    bool IsEnabled(std::string_view setting) const;

    // The first failure of OK's checks: the field and the message. Nothing is checked but
    // the numbers while publishing is not enabled.
    struct Error {
        std::string setting;
        std::string message;
    };
    std::optional<Error> Validate() const;
    std::optional<SparkplugSettings> Result() const;

    // OK: a failure is shown, its field gets the focus and nothing changes (false). Otherwise
    // the settings are saved for an administrator and taken into `settings` (true); anyone
    // else sees the rights message and nothing changes (false).
    bool Ok(ServerSettingsHolder& settings, SettingsAccess& access, const IAdminCheck& admin,
            IMessageBox& messages);
    std::optional<std::string> FocusField() const { return focus_; }

  private:
    std::vector<std::string> values_;  // by SparkplugFields() index
    std::string hostName_;
    std::string traceFileName_;
    std::optional<std::string> focus_;
};

}  // namespace velk
