#pragma once
// The device's active channel (0 primary, non-zero secondary) as the acquisition threads and
// the Device Monitor see it: a channel switch stores it while exchanges and probes read it.
// The field stays a plain member of the device for the configuration file and the dialogs;
// the threads reach it atomically.
#include <atomic>
#include <cstdint>

#include "model/o_device.h"

namespace velk {

inline std::int32_t ActiveChannelOf(const ODevice& device) {
    return std::atomic_ref(const_cast<std::int32_t&>(device.activeChannel)).load();
}

inline void SetActiveChannel(ODevice& device, std::int32_t channel) {
    std::atomic_ref(device.activeChannel).store(channel);
}

}  // namespace velk
