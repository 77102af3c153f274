#pragma once
// A clock that moves only when the test says so. Local time is UTC shifted by a fixed
// offset, so tests do not depend on this machine's time zone.
#include <atomic>
#include <cstdint>

#include "platform/clock.h"

namespace velk::testing {

class FakeClock final : public IClock {
  public:
    // 2015-03-07 14:05:09.123 UTC, the trace example's moment.
    static constexpr FileTime kDefaultStart = 130702107091230000ull;

    explicit FakeClock(FileTime start = kDefaultStart, std::int64_t localOffsetMinutes = 0)
        : now_(start), offsetMinutes_(localOffsetMinutes) {}

    FileTime NowUtc() const override { return now_.load(); }
    LocalTime NowLocal() const override { return ToLocal(now_.load()); }
    std::uint32_t TickCount() const override { return tick_.load(); }
    LocalTime ToLocal(FileTime utc) const override;
    bool LocalToUtc(const LocalTime& local, FileTime& utc) const override;
    void Sleep(std::uint32_t milliseconds) override {
        sleptMs_ += milliseconds;
        Advance(milliseconds);
    }

    void Advance(std::uint64_t milliseconds) {
        now_ += milliseconds * kFileTimeTicksPerMs;
        tick_ += static_cast<std::uint32_t>(milliseconds);
    }
    void SetUtc(FileTime utc) { now_ = utc; }
    void SetLocal(const LocalTime& local);
    void SetTick(std::uint32_t tick) { tick_ = tick; }
    std::uint64_t SleptMs() const { return sleptMs_.load(); }

  private:
    std::atomic<FileTime> now_;
    std::atomic<std::uint32_t> tick_{100000};
    std::atomic<std::uint64_t> sleptMs_{0};
    std::int64_t offsetMinutes_;
};

// Civil-calendar helpers (proleptic Gregorian, no time zone).
FileTime FileTimeFromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                           int second = 0, int millisecond = 0);
LocalTime CivilFromFileTime(FileTime t);

}  // namespace velk::testing
