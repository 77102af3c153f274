#include "modbus/time_sync_schedule.h"

namespace velk {

bool TimeSyncSchedule::Due(const LocalTime& local) {
    const int minute = MinuteOfDay(local);
    if (minute == minuteOfDay_) return false;
    minuteOfDay_ = minute;
    const int interval = IntervalMinutes();
    return interval != 0 && minute % interval == 0;
}

}  // namespace velk
