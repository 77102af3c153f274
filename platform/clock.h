#pragma once
// Wall clock, local time and the millisecond tick count. Everything that asks the time
// goes through IClock so that tests can step time by hand.
#include <cstdint>

namespace velk {

// UTC time in 100-nanosecond units since 1601-01-01 (a Windows file time).
using FileTime = std::uint64_t;

inline constexpr FileTime kFileTimeTicksPerMs = 10'000;
inline constexpr FileTime kFileTimeTicksPerSecond = 10'000'000;
// Seconds between 1601-01-01 and 1970-01-01.
inline constexpr std::uint64_t kUnixEpochInFileTimeSeconds = 11'644'473'600ull;

// Broken-down local time, to the millisecond.
struct LocalTime {
    int year = 1601;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int dayOfWeek = 0;  // 0 = Sunday
    bool operator==(const LocalTime&) const = default;
};

class IClock {
  public:
    virtual ~IClock() = default;
    virtual FileTime NowUtc() const = 0;
    virtual LocalTime NowLocal() const = 0;
    // Milliseconds since an arbitrary start; wraps at 2^32 like a tick count.
    virtual std::uint32_t TickCount() const = 0;
    virtual LocalTime ToLocal(FileTime utc) const = 0;
    // Local time to UTC; false when the local time does not exist.
    virtual bool LocalToUtc(const LocalTime& local, FileTime& utc) const = 0;
    // Pauses the calling thread (a fake clock advances instead).
    virtual void Sleep(std::uint32_t milliseconds) = 0;
};

}  // namespace velk
