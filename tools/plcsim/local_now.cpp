#include "tools/plcsim/local_now.h"

#include <ctime>

namespace velk::plcsim {

LocalTime LocalNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    LocalTime time;
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec;
    time.millisecond = static_cast<int>(now.tv_nsec / 1'000'000);
    time.dayOfWeek = local.tm_wday;
    return time;
}

}  // namespace velk::plcsim
