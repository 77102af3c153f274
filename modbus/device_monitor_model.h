#pragma once
// What the Device Monitor shows for one device: the active channel, the names of its two
// channels and its exchange counters per channel with their totals. For a Modbus TCP device
// the counters are the device's own; for a serial device those of its two ports, which
// include the traffic of every device on them.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "modbus/channel_counters.h"

namespace velk {

class DeviceChannels;
class ODevice;
class SerialChannelSet;

struct DeviceMonitorRow {
    std::string label;  // "Sent messages:", ...
    std::uint32_t total = 0;
    std::array<std::uint32_t, 2> channel{};  // primary, secondary
    bool totalOnly = false;                  // the channel columns stay empty
    bool operator==(const DeviceMonitorRow&) const = default;
};

struct DeviceMonitorModel {
    std::string deviceName;
    bool secondaryActive = false;  // "Secondary port" checked, else "Primary port"
    std::array<std::string, 2> channelNames;
    std::vector<DeviceMonitorRow> rows;

    // The monitor's data for the device now. channels may be null (all counts 0); serial
    // may be null for TCP-only builds.
    static DeviceMonitorModel Of(const ODevice& device, const DeviceChannels* channels,
                                 SerialChannelSet* serial);
    // The model from the two channels' counts (index 0 primary).
    static DeviceMonitorModel FromCounts(const ODevice& device,
                                         const std::array<ChannelCounts, 2>& counts);
};

}  // namespace velk
