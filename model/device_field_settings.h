#pragma once
// The field settings of a device, one table for the file, the dump and the checks: each has
// a stored key, a default and its accepted range. The file keeps them as a list of key and
// value pairs after the device parameters (schema kFieldSettingsSchema, o_object.h),
// listing only those that differ from their defaults, so that a device without them is
// stored as before.
#include <cstdint>
#include <span>

#include "model/o_device_params.h"
#include "model/o_object.h"
#include "model/o_port.h"

namespace velk {

template <class Owner>
struct FieldSetting {
    std::uint16_t key;  // stored key; never reused for another meaning
    const char* name;   // as the dump shows it
    const char* label;  // of its field or check box in the dialog
    bool flag;          // a check box (0 or 1) rather than a number field
    std::int32_t Owner::*member;
    std::int32_t defaultValue;
    std::int32_t minimum;
    std::int32_t maximum;
};
using DeviceFieldSetting = FieldSetting<ODeviceParams>;
using PortFieldSetting = FieldSetting<OPort>;

std::span<const DeviceFieldSetting> DeviceFieldSettings();

// Whether any field setting of the parameters differs from its default.
bool HasFieldSettings(const ODeviceParams& params);

// The setting of a stored key, or null.
const DeviceFieldSetting* FieldSettingOfKey(std::uint16_t key);

// The value a setting takes when the file or an entry gives it: values outside the range
// keep the default.
void SetFieldSetting(ODeviceParams& params, std::uint16_t key, std::int32_t value);

// The same for the RS-485 and echo settings of a serial port ("OPort" schema kFieldSettingsSchema).
std::span<const PortFieldSetting> PortFieldSettings();
bool HasFieldSettings(const OPort& port);
void SetFieldSetting(OPort& port, std::uint16_t key, std::int32_t value);

}  // namespace velk
