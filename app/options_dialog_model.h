#pragma once
// The "OPC Server Options" dialog without a toolkit: what each control shows, which controls
// are enabled, the checks on OK with their messages and the field that gets the focus, and
// the copy into the in-memory settings followed by SaveSettings. The GUI draws the controls
// from here and passes the user's input in.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/server_settings.h"
#include "modbus/ip_address_text.h"
#include "platform/session.h"

namespace velk {

inline constexpr std::string_view kOptionsDialogTitle = "OPC Server Options";
inline constexpr std::string_view kEnterIntegerMessage = "Enter an integer.";
inline constexpr std::string_view kEnterPositiveIntegerMessage = "Enter a positive integer.";
// "Enter no more than %1 characters." with %1 = the field's limit.
inline constexpr std::string_view kEnterNoMoreThanMessage = "Enter no more than %1 characters.";

enum class OptionsControl {
    ChangelessUpdate,
    ShortTagName,
    TraceFileFrame,
    TraceFileName,
    TraceFileSize,
    EnableRedundancy,
    SyncMaster,
    RedundantServer,
    GatewayAddress,
    TcpPort,
    ShutdownOnDisconnected,
    DisconnectDelay,
    ShutdownOnCommFailure,
    CommFailDelay,
    CommunicationRetry,
    AreaDelimiter,
    Ok,
    Cancel,
};

enum class OptionsControlKind { CheckBox, GroupFrame, Text, Integer, Digits, Button };

struct OptionsControlInfo {
    OptionsControl control;
    OptionsControlKind kind;
    std::string_view label;
    std::string_view unit;  // text after the field ("kBytes", "sec"), else ""
};

// Every control in the dialog's order.
const std::vector<OptionsControlInfo>& OptionsControls();

struct OptionsValidationError {
    OptionsControl field;  // gets the focus
    std::string message;
};

class OptionsDialogModel {
  public:
    static constexpr std::size_t kDelimiterLimit = 1;

    // Shows the settings and runs the enabling rules once.
    explicit OptionsDialogModel(const ServerSettings& settings);

    // Check boxes; those that are disabled ignore the change.
    bool Checked(OptionsControl box) const;
    void SetChecked(OptionsControl box, bool checked);

    // Edit fields. "TCP Port:" refuses text with anything but digits and "Area name
    // delimiter:" keeps at most one character, as the controls do while typing; disabled
    // fields ignore the change. False when the text was refused or cut.
    const std::string& Text(OptionsControl field) const;
    bool SetText(OptionsControl field, std::string text);

    bool IsEnabled(OptionsControl control) const;
    bool IsVisible(OptionsControl control) const;

    // The checks of OK in their order (disabled fields too); the first failure.
    std::optional<OptionsValidationError> Validate() const;

    // The settings the dialog would give: `base` with the dialog's values copied in; none when
    // a field is invalid.
    std::optional<ServerSettings> Result(const ServerSettings& base) const;

    // OK: the first failure is shown, its field gets the focus and the dialog stays open
    // (false), with every setting unchanged. Otherwise the values go into `settings` and
    // SaveSettings runs; true: the dialog closes.
    bool Ok(ServerSettingsHolder& settings, SettingsAccess& access, const IAdminCheck& admin,
            IMessageBox& messages);

    // The field to focus after a failed OK; none before.
    std::optional<OptionsControl> FocusField() const { return focus_; }

  private:
    void ApplyEnablingRules();
    std::string* Field(OptionsControl field);

    bool changelessUpdate_;
    bool shortTagName_;
    std::string traceFileName_;
    std::string traceFileSize_;
    bool redundancyEnabled_;
    bool syncMaster_;
    std::string redundantServer_;
    std::string gatewayAddress_;
    std::string tcpPort_;
    bool shutdownOnDisconnected_;
    std::string disconnectDelay_;
    bool shutdownOnCommFailure_;
    std::string commFailDelay_;
    std::string communicationRetry_;
    std::string areaDelimiter_;
    bool disconnectDelayEnabled_;
    std::optional<OptionsControl> focus_;
};

}  // namespace velk
