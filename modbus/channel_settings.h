#pragma once
// Where the channels find their lines: the device path of a serial port name and the TCP
// port of a controller address, each overridable in the machine settings store.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace velk {

inline constexpr std::string_view kSerialPortsKey =
    "HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\SerialPorts";
inline constexpr std::string_view kTcpPortsKey =
    "HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server\\TcpPorts";
inline constexpr std::uint16_t kModbusTcpPort = 502;

// The device path of a port name: the REG_SZ value of that name under SerialPorts when it
// is set and not empty; otherwise the platform's device of that port name
// (SerialPortDevicePath). A null store means no overrides.
std::string SerialDevicePath(ISettingsStore* store, std::string_view portName);

// The TCP port of a controller address: the REG_DWORD value named by the address text under
// TcpPorts when it is 1..65535, else 502.
std::uint16_t ModbusTcpPort(ISettingsStore* store, std::string_view address);

// Keeps the TCP port of a controller address where ModbusTcpPort finds it, so that the
// configuration file stays as it is: 502 removes the address's value (the default needs
// none); an address that is never connected to (empty or "0.0.0.0") stores nothing. False
// when the store refuses the change.
bool StoreModbusTcpPort(ISettingsStore& store, std::string_view address, std::uint16_t port);

// A TCP port as entered: decimal digits (blanks around allowed) from 1 to 65535.
std::optional<std::uint16_t> ParseTcpPortEntry(std::string_view text);
inline constexpr const char* kMsgEnterTcpPort = "Enter an integer between 1 and 65535.";

}  // namespace velk
