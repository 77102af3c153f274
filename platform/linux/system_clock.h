#pragma once
#include "platform/clock.h"

namespace velk {

// The machine's clocks: CLOCK_REALTIME, local time through the C library's zone rules, and
// CLOCK_MONOTONIC for the tick count.
class SystemClock final : public IClock {
  public:
    FileTime NowUtc() const override;
    LocalTime NowLocal() const override;
    std::uint32_t TickCount() const override;
    LocalTime ToLocal(FileTime utc) const override;
    // False also for a field out of range and a time the change to summer time skips; a
    // time of the repeated hour is the instant nearer now.
    bool LocalToUtc(const LocalTime& local, FileTime& utc) const override;
    void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace velk
