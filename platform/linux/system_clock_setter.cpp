#include "platform/linux/system_clock_setter.h"

#include <ctime>

namespace velk {

bool SystemClockSetter::SetLocalTime(const LocalTime& local) {
    FileTime utc = 0;
    if (!zone_.LocalToUtc(local, utc)) return false;
    const FileTime epochTicks = kUnixEpochInFileTimeSeconds * kFileTimeTicksPerSecond;
    if (utc < epochTicks) return false;
    const FileTime sinceEpoch = utc - epochTicks;
    timespec when{};
    when.tv_sec = static_cast<time_t>(sinceEpoch / kFileTimeTicksPerSecond);
    when.tv_nsec = static_cast<long>((sinceEpoch % kFileTimeTicksPerSecond) * 100);
    return ::clock_settime(CLOCK_REALTIME, &when) == 0;
}

}  // namespace velk
