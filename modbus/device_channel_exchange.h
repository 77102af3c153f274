#pragma once
// The scan engine's exchange over the devices' serial and TCP channels: a Modbus TCP device
// exchanges on its active connection, any other device on the port of its active channel
// with its answer time-out.
#include <functional>

#include "modbus/device_exchange.h"
#include "modbus/exchange_observer.h"

namespace velk {

class DeviceChannels;

class DeviceChannelExchange final : public IDeviceExchange {
  public:
    // The channels of a device; null for a device without them (its exchanges fail).
    using ChannelsOf = std::function<DeviceChannels*(ODevice&)>;

    // Failures taken from another reader's request go to observer (the supervision).
    explicit DeviceChannelExchange(ChannelsOf channelsOf, IExchangeObserver* observer = nullptr)
        : channelsOf_(std::move(channelsOf)), observer_(observer) {}

    MessageFraming Framing(const ODevice& device) const override {
        return ActiveChannelFraming(device);
    }
    void Exchange(ODevice& device, OMessage& message) override;
    void ReportTakenFailure(ODevice& device) override;

  private:
    ChannelsOf channelsOf_;
    IExchangeObserver* observer_;
};

}  // namespace velk
