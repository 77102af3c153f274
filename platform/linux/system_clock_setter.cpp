#include "platform/linux/system_clock_setter.h"

#include <ctime>

#include "platform/local_time_resolution.h"

namespace velk {

bool SystemClockSetter::WriteSystemClock(FileTime utc) {
    const FileTime epochTicks = kUnixEpochInFileTimeSeconds * kFileTimeTicksPerSecond;
    if (utc < epochTicks) return false;
    const FileTime sinceEpoch = utc - epochTicks;
    timespec when{};
    when.tv_sec = static_cast<time_t>(sinceEpoch / kFileTimeTicksPerSecond);
    when.tv_nsec = static_cast<long>((sinceEpoch % kFileTimeTicksPerSecond) * 100);
    return ::clock_settime(CLOCK_REALTIME, &when) == 0;
}

bool SystemClockSetter::SetLocalTime(const LocalTime& local) {
    const auto utc = ResolveLocalTime(zone_, local, zone_.NowUtc());
    return utc && write_(*utc);
}

}  // namespace velk
