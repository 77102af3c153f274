#include "modbus/device_channel_exchange.h"

#include "modbus/device_channels.h"
#include "model/o_device.h"

namespace velk {

void DeviceChannelExchange::Exchange(ODevice& device, OMessage& message) {
    DeviceChannels* channels = channelsOf_ ? channelsOf_(device) : nullptr;
    if (channels == nullptr) {
        message.Reset();
        return;
    }
    if (device.params.modbusTcp != 0) {
        channels->TransactTcp(&message);
    } else {
        channels->TransactSerial(&message, device.params.timeout, kActiveChannel);
    }
}

void DeviceChannelExchange::ReportTakenFailure(ODevice& device) {
    // A device without channels fails its exchanges without a report.
    if (observer_ && channelsOf_ && channelsOf_(device))
        observer_->CheckComm(device, true, kActiveChannel);
}

}  // namespace velk
