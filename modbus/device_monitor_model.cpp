#include "modbus/device_monitor_model.h"

#include "modbus/active_channel.h"
#include "modbus/device_channels.h"
#include "modbus/serial_channel_set.h"
#include "model/o_device.h"
#include "model/o_port.h"

namespace velk {
namespace {

DeviceMonitorRow Row(const char* label, std::uint32_t primary, std::uint32_t secondary) {
    return {label, primary + secondary, {primary, secondary}, false};
}

}  // namespace

DeviceMonitorModel DeviceMonitorModel::FromCounts(const ODevice& device,
                                                  const std::array<ChannelCounts, 2>& counts) {
    DeviceMonitorModel model;
    model.deviceName = device.name;
    model.secondaryActive = ActiveChannelOf(device) != 0;
    const auto& p = device.params;
    if (p.modbusTcp != 0) {
        model.channelNames = {p.primaryIpAddress, p.secondaryIpAddress};
    } else {
        model.channelNames = {p.primaryPortName, p.secondaryPortName};
    }
    const ChannelCounts& a = counts[0];
    const ChannelCounts& b = counts[1];
    model.rows.push_back(Row("Sent messages:", a.sent, b.sent));
    model.rows.push_back(Row("Received messages:", a.received, b.received));
    model.rows.push_back(Row("Answer time-outs:", a.timeouts, b.timeouts));
    model.rows.push_back(Row("Comm. errors:", a.commErrors, b.commErrors));
    // No negative acknowledgement is counted.
    model.rows.push_back({"Negative ACKs:", 0, {0, 0}, true});
    return model;
}

DeviceMonitorModel DeviceMonitorModel::Of(const ODevice& device, const DeviceChannels* channels,
                                          SerialChannelSet* serial) {
    std::array<ChannelCounts, 2> counts{};
    if (device.params.modbusTcp != 0) {
        if (channels != nullptr) counts = {channels->Counts(0), channels->Counts(1)};
    } else if (serial != nullptr) {
        const std::array<OPort*, 2> ports = {device.params.primaryPort,
                                             device.params.secondaryPort};
        for (std::size_t i = 0; i < 2; ++i)
            if (SerialChannel* line = serial->ChannelOf(ports[i])) counts[i] = line->Counts();
    }
    return FromCounts(device, counts);
}

}  // namespace velk
