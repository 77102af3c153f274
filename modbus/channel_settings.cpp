#include "modbus/channel_settings.h"

#include <charconv>

#include "platform/text.h"

namespace velk {
namespace {

// The number n of "COMn", 0 when the name is not of that form.
unsigned ComNumber(std::string_view name) {
    if (name.size() < 4 || !EqualsNoCase(name.substr(0, 3), "COM")) return 0;
    unsigned number = 0;
    auto digits = name.substr(3);
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size()) return 0;
    return number >= 1 && number <= 256 ? number : 0;
}

}  // namespace

std::string SerialDevicePath(ISettingsStore* store, std::string_view portName) {
    if (store != nullptr) {
        auto value = store->ReadValue(kSerialPortsKey, portName);
        if (value && (value->type == REG_SZ || value->type == REG_EXPAND_SZ)) {
            std::string path = Utf16LeBytesToUtf8(value->data);
            while (!path.empty() && path.back() == '\0') path.pop_back();
            if (!path.empty()) return path;
        }
    }
    if (unsigned n = ComNumber(portName); n != 0) return "/dev/ttyS" + std::to_string(n - 1);
    if (!portName.empty() && portName.front() == '/') return std::string(portName);
    return "/dev/" + std::string(portName);
}

std::uint16_t ModbusTcpPort(ISettingsStore* store, std::string_view address) {
    if (store == nullptr) return kModbusTcpPort;
    auto value = store->ReadValue(kTcpPortsKey, address);
    if (!value || value->type != REG_DWORD || value->data.size() != 4) return kModbusTcpPort;
    std::uint32_t port = 0;
    for (int i = 3; i >= 0; --i) port = (port << 8) | static_cast<unsigned char>(value->data[i]);
    return port >= 1 && port <= 65535 ? static_cast<std::uint16_t>(port) : kModbusTcpPort;
}

}  // namespace velk
