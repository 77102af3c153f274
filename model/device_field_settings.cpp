#include "model/device_field_settings.h"

namespace velk {
namespace {

constexpr DeviceFieldSetting kSettings[] = {
    {1, "force function code 16", "Write registers with function &16", true,
     &ODeviceParams::forceMultipleRegisterWrite, 0, 0, 1},
    {2, "force function code 15", "Write coils with function 1&5", true,
     &ODeviceParams::forceMultipleCoilWrite, 0, 0, 1},
    {3, "registers per read", "Registers per read:", false, &ODeviceParams::maxReadRegisters, 123,
     1, 125},
    {4, "bits per read", "Bits per read:", false, &ODeviceParams::maxReadBits, 495, 1, 2000},
    // -1: the gaps of the device type; the dialog shows it as an empty field.
    {5, "largest block gap", "Largest gap:", false, &ODeviceParams::maxBlockGap, -1, -1, 2000},
    {6, "request pause", "Request pause:", false, &ODeviceParams::requestPause, 0, 0, 60000},
    {7, "connect delay", "Connect delay:", false, &ODeviceParams::connectDelay, 0, 0, 60000},
    {8, "back-off after failures", "Back-off after:", false, &ODeviceParams::backoffFailures, 0, 0,
     1000},
    {9, "back-off cycles", "Back-off cycles:", false, &ODeviceParams::backoffCycles, 10, 2, 1000},
    {10, "RTU over TCP", "&RTU framing over TCP (serial device server)", true,
     &ODeviceParams::rtuOverTcp, 0, 0, 1},
    {11, "shared connection", "Share the TCP &connection of its address (gateway)", true,
     &ODeviceParams::sharedConnection, 0, 0, 1},
    {12, "mask write", "Write register bits with &mask write (FC 22)", true,
     &ODeviceParams::maskWrite, 0, 0, 1},
};

constexpr PortFieldSetting kPortSettings[] = {
    {1, "RS-485", "RS-&485 direction control", true, &OPort::rs485, 0, 0, 1},
    {2, "RS-485 RTS on send", "RTS &high while sending", true, &OPort::rs485RtsOnSend, 1, 0, 1},
    {3, "RS-485 RTS after send", "RTS high &after sending", true, &OPort::rs485RtsAfterSend, 0, 0,
     1},
    {4, "RS-485 delay before send", "Delay before send:", false, &OPort::rs485DelayBeforeSend, 0, 0,
     1000},
    {5, "RS-485 delay after send", "Delay after send:", false, &OPort::rs485DelayAfterSend, 0, 0,
     1000},
    {6, "echo suppression", "Adapter &echoes what it sends", true, &OPort::echoSuppression, 0, 0,
     1},
};

template <class Owner, std::size_t N>
void Set(const FieldSetting<Owner> (&table)[N], Owner& owner, std::uint16_t key,
         std::int32_t value) {
    for (const FieldSetting<Owner>& s : table) {
        if (s.key != key) continue;
        owner.*s.member = value < s.minimum || value > s.maximum ? s.defaultValue : value;
        return;
    }
    // A key of a newer version: not known here, and dropped.
}

}  // namespace

std::span<const PortFieldSetting> PortFieldSettings() { return kPortSettings; }

bool HasFieldSettings(const OPort& port) {
    for (const PortFieldSetting& s : kPortSettings)
        if (port.*s.member != s.defaultValue) return true;
    return false;
}

void SetFieldSetting(OPort& port, std::uint16_t key, std::int32_t value) {
    Set(kPortSettings, port, key, value);
}

std::span<const DeviceFieldSetting> DeviceFieldSettings() { return kSettings; }

bool HasFieldSettings(const ODeviceParams& params) {
    for (const DeviceFieldSetting& s : kSettings)
        if (params.*s.member != s.defaultValue) return true;
    return false;
}

const DeviceFieldSetting* FieldSettingOfKey(std::uint16_t key) {
    for (const DeviceFieldSetting& s : kSettings)
        if (s.key == key) return &s;
    return nullptr;
}

void SetFieldSetting(ODeviceParams& params, std::uint16_t key, std::int32_t value) {
    Set(kSettings, params, key, value);
}

}  // namespace velk
