#include "app/options_dialog_model.h"

#include <charconv>
#include <limits>
#include <utility>

#include "platform/ipv4_address.h"
#include "platform/text.h"

namespace velk {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool AllDigits(std::string_view s) {
    for (const char c : s) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// A signed decimal number that fits 32 bits, blanks around it allowed.
std::optional<std::int32_t> ParseSigned(std::string_view text) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const std::string_view digits = !text.empty() && text.front() == '-' ? text.substr(1) : text;
    if (digits.empty() || !AllDigits(digits)) return std::nullopt;
    std::int32_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}

// An unsigned decimal number that fits 32 bits; a sign is refused (no wrap-around of "-1").
std::optional<std::uint32_t> ParseUnsigned(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty() || !AllDigits(text)) return std::nullopt;
    std::uint32_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return n;
}

std::size_t FirstCharacterBytes(std::string_view s) {
    if (s.empty()) return 0;
    const auto lead = static_cast<unsigned char>(s.front());
    std::size_t n = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4;
    while (n > 1 && (n > s.size() || (static_cast<unsigned char>(s[n - 1]) & 0xC0) != 0x80)) --n;
    return n;
}

std::string DelayText(std::int32_t delay) {
    return delay == kNever ? std::string("0") : std::to_string(delay);
}

std::string NoMoreThanMessage(std::size_t limit) {
    std::string message(kEnterNoMoreThanMessage);
    message.replace(message.find("%1"), 2, std::to_string(limit));
    return message;
}

}  // namespace

const std::vector<OptionsControlInfo>& OptionsControls() {
    using C = OptionsControl;
    using K = OptionsControlKind;
    static const std::vector<OptionsControlInfo> controls = {
        {C::ChangelessUpdate, K::CheckBox, "Enable changeless update", ""},
        {C::ShortTagName, K::CheckBox, "Enable short tag name in callbacks", ""},
        {C::TraceFileFrame, K::GroupFrame, " Trace file options ", ""},
        {C::TraceFileName, K::Text, "Trace file name:", ""},
        {C::TraceFileSize, K::Integer, "Trace file size:", "kBytes"},
        {C::EnableRedundancy, K::CheckBox, "Enable Redundancy", ""},
        {C::SyncMaster, K::CheckBox, "Synchronisation master", ""},
        {C::RedundantServer, K::Text, "Redundant Server:", ""},
        {C::GatewayAddress, K::Text, "Gateway address:", ""},
        {C::TcpPort, K::Digits, "TCP Port:", ""},
        {C::ShutdownOnDisconnected, K::CheckBox, "Shutdown on disconnected", ""},
        {C::DisconnectDelay, K::Integer, "Time delay:", "sec"},
        {C::ShutdownOnCommFailure, K::CheckBox, "Shutdown on comm. failure", ""},
        {C::CommFailDelay, K::Integer, "Time delay:", "sec"},
        {C::CommunicationRetry, K::Text, "Communication retry:", ""},
        {C::AreaDelimiter, K::Text, "Area name delimiter:", ""},
        {C::Ok, K::Button, "OK", ""},
        {C::Cancel, K::Button, "Cancel", ""},
    };
    return controls;
}

OptionsDialogModel::OptionsDialogModel(const ServerSettings& s)
    : changelessUpdate_(s.ChangelessUpdate),
      shortTagName_(s.FullTagPath == 0),
      traceFileName_(s.TraceFile.FileName),
      traceFileSize_(std::to_string(s.TraceFile.FileSize)),
      redundancyEnabled_(s.Redundancy.Enabled != 0),
      syncMaster_(s.Redundancy.SyncMaster != 0),
      redundantServer_(s.Redundancy.AlternateServer),
      gatewayAddress_(s.Redundancy.AlternateGateway),
      tcpPort_(std::to_string(s.Redundancy.Port)),
      shutdownOnDisconnected_(s.Shutdown.OnDisconnect != kNever),
      disconnectDelay_(DelayText(s.Shutdown.OnDisconnect)),
      shutdownOnCommFailure_(s.Shutdown.OnCommFail != kNever),
      commFailDelay_(DelayText(s.Shutdown.OnCommFail)),
      areaDelimiter_(s.AreaDelimiter),
      disconnectDelayEnabled_(s.Shutdown.OnDisconnect != kNever) {
    ApplyEnablingRules();
}

void OptionsDialogModel::ApplyEnablingRules() {
    if (!redundancyEnabled_) syncMaster_ = false;
    if (!shutdownOnCommFailure_) commFailDelay_ = "0";
}

bool OptionsDialogModel::IsEnabled(OptionsControl control) const {
    switch (control) {
        case OptionsControl::SyncMaster:
        case OptionsControl::RedundantServer:
        case OptionsControl::GatewayAddress:
        case OptionsControl::TcpPort:
            return redundancyEnabled_;
        case OptionsControl::ShutdownOnDisconnected:
            return false;
        case OptionsControl::DisconnectDelay:
            return disconnectDelayEnabled_;
        case OptionsControl::CommFailDelay:
            return shutdownOnCommFailure_;
        case OptionsControl::CommunicationRetry:
            return false;
        default:
            return true;
    }
}

bool OptionsDialogModel::IsVisible(OptionsControl control) const {
    return control != OptionsControl::CommunicationRetry;
}

bool OptionsDialogModel::Checked(OptionsControl box) const {
    switch (box) {
        case OptionsControl::ChangelessUpdate:
            return changelessUpdate_;
        case OptionsControl::ShortTagName:
            return shortTagName_;
        case OptionsControl::EnableRedundancy:
            return redundancyEnabled_;
        case OptionsControl::SyncMaster:
            return syncMaster_;
        case OptionsControl::ShutdownOnDisconnected:
            return shutdownOnDisconnected_;
        case OptionsControl::ShutdownOnCommFailure:
            return shutdownOnCommFailure_;
        default:
            return false;
    }
}

void OptionsDialogModel::SetChecked(OptionsControl box, bool checked) {
    if (!IsEnabled(box)) return;
    switch (box) {
        case OptionsControl::ChangelessUpdate:
            changelessUpdate_ = checked;
            break;
        case OptionsControl::ShortTagName:
            shortTagName_ = checked;
            break;
        case OptionsControl::EnableRedundancy:
            redundancyEnabled_ = checked;
            break;
        case OptionsControl::SyncMaster:
            syncMaster_ = checked;
            break;
        case OptionsControl::ShutdownOnCommFailure:
            shutdownOnCommFailure_ = checked;
            break;
        default:
            return;
    }
    ApplyEnablingRules();
}

std::string* OptionsDialogModel::Field(OptionsControl field) {
    switch (field) {
        case OptionsControl::TraceFileName:
            return &traceFileName_;
        case OptionsControl::TraceFileSize:
            return &traceFileSize_;
        case OptionsControl::RedundantServer:
            return &redundantServer_;
        case OptionsControl::GatewayAddress:
            return &gatewayAddress_;
        case OptionsControl::TcpPort:
            return &tcpPort_;
        case OptionsControl::DisconnectDelay:
            return &disconnectDelay_;
        case OptionsControl::CommFailDelay:
            return &commFailDelay_;
        case OptionsControl::CommunicationRetry:
            return &communicationRetry_;
        case OptionsControl::AreaDelimiter:
            return &areaDelimiter_;
        default:
            return nullptr;
    }
}

const std::string& OptionsDialogModel::Text(OptionsControl field) const {
    static const std::string kNone;
    const std::string* text = const_cast<OptionsDialogModel*>(this)->Field(field);
    return text ? *text : kNone;
}

bool OptionsDialogModel::SetText(OptionsControl field, std::string text) {
    std::string* target = Field(field);
    if (!target || !IsEnabled(field)) return false;
    if (field == OptionsControl::TcpPort && !AllDigits(text)) return false;
    bool whole = true;
    if (field == OptionsControl::AreaDelimiter && Utf8Length(text) > kDelimiterLimit) {
        text.resize(FirstCharacterBytes(text));
        whole = false;
    }
    *target = std::move(text);
    return whole;
}

std::optional<OptionsValidationError> OptionsDialogModel::Validate() const {
    const std::string integer(kEnterIntegerMessage);
    const std::optional<std::uint32_t> port = ParseUnsigned(tcpPort_);
    if (!port) {
        return OptionsValidationError{OptionsControl::TcpPort,
                                      std::string(kEnterPositiveIntegerMessage)};
    }
    // The port is kept in 16 bits: 70000 would silently become port 4464.
    if (*port < 1 || *port > 0xFFFF) {
        return OptionsValidationError{OptionsControl::TcpPort,
                                      "Enter an integer between 1 and 65535."};
    }
    // The peer's addresses are read as every address field is; a text the link could not
    // use would stop every send while the peer's packets still arrive. They are checked
    // only while the fields can be edited.
    if (redundancyEnabled_) {
        for (const auto& [field, text] :
             {std::pair{OptionsControl::RedundantServer, &redundantServer_},
              std::pair{OptionsControl::GatewayAddress, &gatewayAddress_}}) {
            if (!TrimAddressBlanks(*text).empty() && !ParseIpv4Address(*text)) {
                return OptionsValidationError{field, std::string(kEnterIpAddressMessage)};
            }
        }
    }
    if (!ParseSigned(traceFileSize_)) {
        return OptionsValidationError{OptionsControl::TraceFileSize, integer};
    }
    if (!ParseSigned(disconnectDelay_)) {
        return OptionsValidationError{OptionsControl::DisconnectDelay, integer};
    }
    if (!ParseSigned(commFailDelay_)) {
        return OptionsValidationError{OptionsControl::CommFailDelay, integer};
    }
    if (Utf8Length(areaDelimiter_) > kDelimiterLimit) {
        return OptionsValidationError{OptionsControl::AreaDelimiter,
                                      NoMoreThanMessage(kDelimiterLimit)};
    }
    return std::nullopt;
}

std::optional<ServerSettings> OptionsDialogModel::Result(const ServerSettings& base) const {
    if (Validate()) return std::nullopt;
    ServerSettings s = base;
    s.Redundancy.Enabled = redundancyEnabled_ ? 1 : 0;
    s.Redundancy.SyncMaster = syncMaster_ ? 1 : 0;
    s.Redundancy.AlternateServer = std::string(TrimAddressBlanks(redundantServer_));
    s.Redundancy.AlternateGateway = std::string(TrimAddressBlanks(gatewayAddress_));
    s.Redundancy.Port = static_cast<std::uint16_t>(*ParseUnsigned(tcpPort_));
    s.FullTagPath = shortTagName_ ? 0 : 1;
    s.ChangelessUpdate = changelessUpdate_;
    s.TraceFile.FileName = traceFileName_;
    // The size field takes a signed number; the setting keeps its 32 bits.
    s.TraceFile.FileSize = static_cast<std::uint32_t>(*ParseSigned(traceFileSize_));
    s.Shutdown.OnDisconnect = shutdownOnDisconnected_ ? *ParseSigned(disconnectDelay_) : kNever;
    s.Shutdown.OnCommFail = shutdownOnCommFailure_ ? *ParseSigned(commFailDelay_) : kNever;
    s.AreaDelimiter = areaDelimiter_;
    return s;
}

bool OptionsDialogModel::Ok(ServerSettingsHolder& settings, SettingsAccess& access,
                            const IAdminCheck& admin, IMessageBox& messages) {
    if (const auto error = Validate()) {
        messages.Show(error->message, MessageKind::Warning);
        focus_ = error->field;
        return false;
    }
    const ServerSettings updated = *Result(settings.Get());
    settings.Set(updated);
    SaveSettings(access, updated, admin, messages);
    return true;
}

}  // namespace velk
