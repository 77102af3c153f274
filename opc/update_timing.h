#pragma once
// The wait of a group's update cycles after one cycle, and the start of a cycle's period.
//
// Periods lie on a grid shared by every group: a period begins when the tick count is a
// multiple of the update rate. Groups of one rate, and of rates that divide each other (250 ms
// and 1 s), so start their cycles together, and their reads of the same blocks can share one
// exchange (SharedBlockReads) however many clients watch them.
#include <cstdint>
#include <optional>

namespace velk {

// Time to the end of t0's period on the grid; an overrun (elapsed = now − t0 above the rate)
// and a tick count that went backwards are followed by a full period instead, so an overrun
// cycle is never followed at once by a new one.
inline std::uint32_t UpdateWaitMs(std::uint32_t updateRate, std::uint32_t t0, std::uint32_t now) {
    if (updateRate == 0) return 0;
    if (now < t0 || now - t0 > updateRate) return updateRate;
    const std::uint64_t periodEnd = std::uint64_t{t0} - t0 % updateRate + updateRate;
    if (periodEnd >= now) return static_cast<std::uint32_t>(periodEnd - now);
    // Begun late in its period, the cycle ran past the grid point: the next one.
    return (updateRate - now % updateRate) % updateRate;
}

// The periods of one group's cycles.
class UpdatePeriods {
  public:
    // The start of the period of a cycle that begins at t0: the grid point it waited for (or
    // a later one when it began late), or t0 itself for the first cycle and for a cycle woken
    // before its time (items added, the group activated).
    std::uint32_t Begin(std::uint32_t updateRate, std::uint32_t t0) const {
        if (!next_ || updateRate == 0 || static_cast<std::int32_t>(t0 - *next_) < 0) return t0;
        const std::uint32_t gridPoint = t0 - t0 % updateRate;
        return static_cast<std::int32_t>(gridPoint - *next_) >= 0 ? gridPoint : *next_;
    }

    // The wait after a cycle begun at t0 (UpdateWaitMs); its end is the next period's start.
    std::uint32_t WaitAfter(std::uint32_t updateRate, std::uint32_t t0, std::uint32_t now) {
        const std::uint32_t wait = UpdateWaitMs(updateRate, t0, now);
        next_ = now + wait;
        return wait;
    }

  private:
    std::optional<std::uint32_t> next_;
};

}  // namespace velk
