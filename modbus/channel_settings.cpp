#include "modbus/channel_settings.h"

#include "core/settings_access.h"
#include "platform/serial_port.h"

namespace velk {
namespace {

inline constexpr std::string_view kSerialPortsSubkey = "SerialPorts";
inline constexpr std::string_view kTcpPortsSubkey = "TcpPorts";

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

}  // namespace velk
