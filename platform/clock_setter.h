#pragma once
// Setting the machine's clock. Only the redundancy link does it, on the word of its
// synchronisation master; tests give a recording setter so that they never touch the clock
// of the machine they run on.
#include "platform/clock.h"

namespace velk {

class ILocalClockSetter {
  public:
    virtual ~ILocalClockSetter() = default;
    // Sets the clock to a local time of this machine's time zone; false when the time
    // does not exist or the system refuses (the process lacks the right to set the clock).
    virtual bool SetLocalTime(const LocalTime& local) = 0;
};

}  // namespace velk
