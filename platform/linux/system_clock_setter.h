#pragma once
#include <functional>

#include "platform/clock.h"
#include "platform/clock_setter.h"

namespace velk {

// Sets CLOCK_REALTIME: the local time is converted to UTC with the zone's rules (the clock
// given, through its ToLocal), then the UTC time is written. A time of the hour that the
// change back to standard time repeats is taken as the instant nearer the zone clock's own
// time; fields out of range and times the zone skips are refused. Needs CAP_SYS_TIME.
class SystemClockSetter final : public ILocalClockSetter {
  public:
    // Writes the system clock; false when the system refuses.
    using UtcWriter = std::function<bool(FileTime utc)>;
    static bool WriteSystemClock(FileTime utc);

    explicit SystemClockSetter(const IClock& zone, UtcWriter write = WriteSystemClock)
        : zone_(zone), write_(std::move(write)) {}
    bool SetLocalTime(const LocalTime& local) override;

  private:
    const IClock& zone_;
    UtcWriter write_;
};

}  // namespace velk
