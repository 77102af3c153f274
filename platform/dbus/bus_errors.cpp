#include "platform/dbus/bus_errors.h"

#include <cstdio>

namespace velk {

std::string FormatHresultMessage(HRESULT code, std::string_view description) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "0x%08X", static_cast<unsigned>(code));
    std::string message = digits;
    if (!description.empty()) {
        message += ' ';
        message += description;
    }
    return message;
}

std::optional<HRESULT> ParseHresultMessage(std::string_view message) {
    if (message.size() < 10 || message[0] != '0' || (message[1] != 'x' && message[1] != 'X')) {
        return std::nullopt;
    }
    if (message.size() > 10 && message[10] != ' ') return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 2; i < 10; ++i) {
        const char c = message[i];
        std::uint32_t digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        value = value * 16 + digit;
    }
    return MakeResult(value);
}

HRESULT HresultFromBusError(std::string_view name, std::string_view message) {
    if (name == kHresultErrorName) {
        // A peer that names our error but carries no code still failed.
        return ParseHresultMessage(message).value_or(E_FAIL);
    }
    if (name == "org.freedesktop.DBus.Error.NoReply") {
        // The bus daemon says so when the peer left with the call unanswered; the bus
        // library's own time-out says "timed out".
        if (message.find("disconnected") != std::string_view::npos) return RPC_E_DISCONNECTED;
        return RPC_E_TIMEOUT;
    }
    if (name == "org.freedesktop.DBus.Error.Timeout" ||
        name == "org.freedesktop.DBus.Error.TimedOut") {
        return RPC_E_TIMEOUT;
    }
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.Disconnected") {
        return RPC_E_DISCONNECTED;
    }
    if (name == "org.freedesktop.DBus.Error.UnknownObject" ||
        name == "org.freedesktop.DBus.Error.UnknownInterface" ||
        name == "org.freedesktop.DBus.Error.UnknownMethod") {
        return E_NOINTERFACE;
    }
    if (name == "org.freedesktop.DBus.Error.InvalidArgs") return E_INVALIDARG;
    if (name == "org.freedesktop.DBus.Error.AccessDenied") return E_ACCESSDENIED;
    return E_FAIL;
}

}  // namespace velk
