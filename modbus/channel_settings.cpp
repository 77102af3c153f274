#include "modbus/channel_settings.h"

#include <cctype>
#include <charconv>

#include "core/settings_access.h"
#include "platform/serial_port.h"

namespace velk {
namespace {

inline constexpr std::string_view kSerialPortsSubkey = "SerialPorts";
inline constexpr std::string_view kTcpPortsSubkey = "TcpPorts";
// A channel without an address.
inline constexpr std::string_view kUnsetAddress = "0.0.0.0";

}  // namespace

std::string SerialDevicePath(ISettingsStore* store, std::string_view portName) {
    if (store != nullptr) {
        const auto value = SettingsAccess(*store).ReadSettingValue(kSerialPortsSubkey, portName);
        if (value && (value->type == REG_SZ || value->type == REG_EXPAND_SZ)) {
            std::string path = SettingTextFromData(*value);
            if (!path.empty()) return path;
        }
    }
    return SerialPortDevicePath(portName);
}

std::uint16_t ModbusTcpPort(ISettingsStore* store, std::string_view address) {
    if (store == nullptr) return kModbusTcpPort;
    const auto value = SettingsAccess(*store).ReadSettingValue(kTcpPortsSubkey, address);
    if (!value || value->type != REG_DWORD || value->data.size() != 4) return kModbusTcpPort;
    const std::uint32_t port = SettingNumberFromData(*value).value_or(0);
    return port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : kModbusTcpPort;
}

bool StoreModbusTcpPort(ISettingsStore& store, std::string_view address, std::uint16_t port) {
    if (address.empty() || address == kUnsetAddress) return true;
    if (port == kModbusTcpPort) {
        if (!store.KeyExists(kTcpPortsKey) || !store.ReadValue(kTcpPortsKey, address)) return true;
        return store.DeleteValue(kTcpPortsKey, address);
    }
    return store.CreateKey(kTcpPortsKey) &&
           store.WriteValue(kTcpPortsKey, address, RegValue::Dword(port));
}

std::optional<std::uint16_t> ParseTcpPortEntry(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) return std::nullopt;
    const std::size_t end = text.find_last_not_of(" \t") + 1;
    std::uint32_t port = 0;
    const char* first = text.data() + begin;
    const char* last = text.data() + end;
    if (!std::isdigit(static_cast<unsigned char>(*first))) return std::nullopt;
    const auto [ptr, ec] = std::from_chars(first, last, port);
    if (ec != std::errc() || ptr != last || port < 1 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

}  // namespace velk
