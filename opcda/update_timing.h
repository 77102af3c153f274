#pragma once
// The wait of a group's update thread after one cycle.
#include <cstdint>

namespace velk {

// update rate − elapsed, where elapsed = now − t0 (0 when the tick count went backwards)
// and an overrun (elapsed above the rate) counts as 0, so an overrun cycle is followed by a
// full period.
inline std::uint32_t UpdateWaitMs(std::uint32_t updateRate, std::uint32_t t0, std::uint32_t now) {
    std::uint32_t elapsed = now >= t0 ? now - t0 : 0;
    if (elapsed > updateRate) elapsed = 0;
    return updateRate - elapsed;
}

}  // namespace velk
