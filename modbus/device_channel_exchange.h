#pragma once
// The scan engine's exchange over the devices' serial and TCP channels: a Modbus TCP device
// exchanges on its active connection, any other device on the port of its active channel
// with its answer time-out.
#include <functional>

#include "modbus/device_exchange.h"

namespace velk {

class DeviceChannels;

class DeviceChannelExchange final : public IDeviceExchange {
  public:
    // The channels of a device; null for a device without them (its exchanges fail).
    using ChannelsOf = std::function<DeviceChannels*(ODevice&)>;

    explicit DeviceChannelExchange(ChannelsOf channelsOf) : channelsOf_(std::move(channelsOf)) {}

    MessageFraming Framing(const ODevice& device) const override {
        return ActiveChannelFraming(device);
    }
    void Exchange(ODevice& device, OMessage& message) override;

  private:
    ChannelsOf channelsOf_;
};

}  // namespace velk
