#pragma once
// The channel state of every device, keyed by the device and made on first use, so that the
// scan engine, the event scan and the supervision find the same counters, flags and
// connections for a device.
#include <map>
#include <memory>
#include <mutex>

#include "modbus/device_channels.h"

namespace velk {

class DeviceChannelsSet {
  public:
    explicit DeviceChannelsSet(const ChannelServices& services) : services_(services) {
        if (services_.activity == nullptr) services_.activity = &activity_;
    }

    // The channels of the device; they live until Forget or the end of this set.
    DeviceChannels& ChannelsOf(ODevice& device);
    // Drops the channels of a device that is being destroyed (closes its connections). The
    // caller makes sure no exchange of that device runs.
    void Forget(const ODevice& device);
    // The exchanges of every device of this set that are on the wire.
    ExchangeActivity& Activity() { return *services_.activity; }

  private:
    ExchangeActivity activity_;
    ChannelServices services_;
    std::mutex lock_;
    std::map<const ODevice*, std::unique_ptr<DeviceChannels>> channels_;
};

}  // namespace velk
