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
    bool LocalToUtc(const LocalTime& local, FileTime& utc) const override;
    void Sleep(std::uint32_t milliseconds) override;
};

}  // namespace velk
