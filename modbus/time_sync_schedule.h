#pragma once
// When a device's controller clock is set: the time synchronisation word holds the interval
// in minutes in its low 15 bits (0 never) and in bit 15 whether to set it at start-up. A
// periodic synchronisation falls on the first cycle in each minute of the day that is a
// multiple of the interval (every 15 minutes: 10:00, 10:15, 10:30, ...).
#include <cstdint>

#include "platform/clock.h"

namespace velk {

class TimeSyncSchedule {
  public:
    static constexpr std::uint16_t kAtStartUpBit = 0x8000;

    explicit TimeSyncSchedule(std::uint16_t timeSyncWord) : word_(timeSyncWord) {}

    bool AtStartUp() const { return (word_ & kAtStartUpBit) != 0; }
    std::uint16_t IntervalMinutes() const { return word_ & 0x7FFF; }
    // Remembers the minute of the day of local without synchronising.
    void Remember(const LocalTime& local) { minuteOfDay_ = MinuteOfDay(local); }
    // True when local is in a new minute of the day (which is then remembered) that is a
    // multiple of the interval; false with the interval 0.
    bool Due(const LocalTime& local);

    static int MinuteOfDay(const LocalTime& local) { return local.hour * 60 + local.minute; }

  private:
    std::uint16_t word_;
    int minuteOfDay_ = -1;
};

}  // namespace velk
