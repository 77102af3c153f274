#pragma once
// The machine's local time to the millisecond, for event records and the demo.
#include "platform/clock.h"

namespace velk::plcsim {

LocalTime LocalNow();

}  // namespace velk::plcsim
