#pragma once
// The field checks of the "Device Properties" dialog, without the dialog: the texts as
// entered go in, the values or the message of the first failing field come out.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "model/o_device_params.h"

namespace velk {

struct DeviceDialogTexts {
    std::string address;             // "Address:"
    std::string timeout;             // "Timeout:"
    std::string tagScan;             // "Tag scan:"
    std::string eventScan;           // "Event scan:"
    std::string supervisorTime;      // "Millisec.:"
    std::string timeSyncMinutes;     // between "every" and "minutes"
    std::string supervisorRetries;   // "Retries:"
    bool timeSyncAtStartup = false;  // "at &startup"
};

// Checks the fields in dialog order and writes them into params. Returns the message of
// the first failing field (params then unchanged), or nothing when all are accepted. The
// supervisor time, kept in 16 bits, is refused above 65535.
std::optional<std::string> ApplyDeviceDialogTexts(const DeviceDialogTexts& texts,
                                                  ODeviceParams& params);

// The field settings as the dialog shows them: the text of each number field and the state
// of each check box, by stored key (device_field_settings.h). The block gap's field is
// empty for the gaps of the device type.
std::map<std::uint16_t, std::string> FieldSettingTexts(const ODeviceParams& params);

// Checks the field settings' texts in table order and writes them, with the check boxes
// (key to checked), into params. The message of the first failing field (params then
// unchanged), or nothing.
std::optional<std::string> ApplyFieldSettingTexts(const std::map<std::uint16_t, std::string>& texts,
                                                  const std::map<std::uint16_t, bool>& checks,
                                                  ODeviceParams& params);

}  // namespace velk

namespace velk {

// "Modbus &TCP/IP connection" in the device dialog: checking it sets the flag (the port
// lists give way to the IP address dialog); clearing it also resets the four IP address
// texts to "0.0.0.0".
void SetModbusTcpConnection(ODeviceParams& params, bool tcp);

}  // namespace velk
