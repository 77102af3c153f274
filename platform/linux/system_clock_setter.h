#pragma once
#include "platform/clock.h"
#include "platform/clock_setter.h"

namespace velk {

// Sets CLOCK_REALTIME: the local time is converted to UTC with the machine's time zone
// rules (through the clock given), then clock_settime is called. Needs CAP_SYS_TIME.
class SystemClockSetter final : public ILocalClockSetter {
  public:
    explicit SystemClockSetter(const IClock& zone) : zone_(zone) {}
    bool SetLocalTime(const LocalTime& local) override;

  private:
    const IClock& zone_;
};

}  // namespace velk
