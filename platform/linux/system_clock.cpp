#include "platform/linux/system_clock.h"

#include <ctime>
#include <thread>

#include "platform/local_time_resolution.h"

namespace velk {

FileTime SystemClock::NowUtc() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return (static_cast<FileTime>(ts.tv_sec) + kUnixEpochInFileTimeSeconds) *
               kFileTimeTicksPerSecond +
           static_cast<FileTime>(ts.tv_nsec) / 100;
}

LocalTime SystemClock::NowLocal() const { return ToLocal(NowUtc()); }

std::uint32_t SystemClock::TickCount() const {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000u +
                                      static_cast<std::uint64_t>(ts.tv_nsec) / 1'000'000u);
}

LocalTime SystemClock::ToLocal(FileTime utc) const {
    const std::int64_t seconds = static_cast<std::int64_t>(utc / kFileTimeTicksPerSecond) -
                                 static_cast<std::int64_t>(kUnixEpochInFileTimeSeconds);
    const time_t t = static_cast<time_t>(seconds);
    tm parts{};
    localtime_r(&t, &parts);
    LocalTime local;
    local.year = parts.tm_year + 1900;
    local.month = parts.tm_mon + 1;
    local.day = parts.tm_mday;
    local.hour = parts.tm_hour;
    local.minute = parts.tm_min;
    local.second = parts.tm_sec;
    local.millisecond = static_cast<int>((utc % kFileTimeTicksPerSecond) / kFileTimeTicksPerMs);
    local.dayOfWeek = parts.tm_wday;
    return local;
}

bool SystemClock::LocalToUtc(const LocalTime& local, FileTime& utc) const {
    // Not mktime: it normalises fields out of range into another date, and with tm_isdst
    // -1 it settles a repeated hour by a guess. A time of the repeated hour is taken as the
    // instant nearer now, for the times converted here (controllers' event stamps, the
    // peer's clock) are recent.
    const auto resolved = ResolveLocalTime(*this, local, NowUtc());
    if (!resolved) return false;
    utc = *resolved;
    return true;
}

void SystemClock::Sleep(std::uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace velk
