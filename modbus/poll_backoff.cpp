#include "modbus/poll_backoff.h"

#include <algorithm>
#include <cstdint>

#include "model/o_device.h"

namespace velk {

bool PollBackoff::Over(const ODevice& device, const State& state) {
    const std::int32_t after = device.params.backoffFailures;
    return after > 0 && state.failures >= static_cast<std::uint32_t>(after);
}

bool PollBackoff::Admit(const ODevice& device) {
    std::lock_guard<std::mutex> lock(lock_);
    const auto it = states_.find(&device);
    if (it == states_.end() || !Over(device, it->second)) return true;
    State& state = it->second;
    const auto cycles = static_cast<std::uint32_t>(std::max(device.params.backoffCycles, 1));
    if (++state.skipped < cycles) return false;
    state.skipped = 0;
    return true;
}

void PollBackoff::Record(const ODevice& device, bool answered) {
    std::lock_guard<std::mutex> lock(lock_);
    if (answered) {
        states_.erase(&device);
        return;
    }
    // Counted also without a back-off set, so that setting one takes effect at once.
    State& state = states_[&device];
    if (state.failures < UINT32_MAX) ++state.failures;
}

bool PollBackoff::BackedOff(const ODevice& device) {
    std::lock_guard<std::mutex> lock(lock_);
    const auto it = states_.find(&device);
    return it != states_.end() && Over(device, it->second);
}

}  // namespace velk
