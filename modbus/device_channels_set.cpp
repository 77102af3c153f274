#include "modbus/device_channels_set.h"

namespace velk {

DeviceChannels& DeviceChannelsSet::ChannelsOf(ODevice& device) {
    std::lock_guard lock(lock_);
    auto& channels = channels_[&device];
    if (!channels) channels = std::make_unique<DeviceChannels>(device, services_);
    return *channels;
}

void DeviceChannelsSet::Forget(const ODevice& device) {
    std::unique_ptr<DeviceChannels> gone;
    {
        std::lock_guard lock(lock_);
        auto it = channels_.find(&device);
        if (it == channels_.end()) return;
        gone = std::move(it->second);
        channels_.erase(it);
    }
}

}  // namespace velk
