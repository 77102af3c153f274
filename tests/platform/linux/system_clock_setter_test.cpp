// Setting the clock from a peer's local time, with a zone and a receiving clock of the
// test's own and a writer that records instead of touching the machine's clock.
#include "platform/linux/system_clock_setter.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using testing::CivilFromFileTime;
using testing::FileTimeFromCivil;

constexpr FileTime kHour = 3600 * kFileTimeTicksPerSecond;

// Central European time in 2024: UTC+1, and UTC+2 from 31 March 01:00 UTC to 27 October
// 01:00 UTC. NowUtc is the receiving clock.
class CentralEuropeanZone final : public IClock {
  public:
    FileTime NowUtc() const override { return now; }
    LocalTime NowLocal() const override { return ToLocal(now); }
    std::uint32_t TickCount() const override { return 0; }
    LocalTime ToLocal(FileTime utc) const override {
        const bool summer =
            utc >= FileTimeFromCivil(2024, 3, 31, 1) && utc < FileTimeFromCivil(2024, 10, 27, 1);
        return CivilFromFileTime(utc + (summer ? 2 : 1) * kHour);
    }
    // The C library's way (tm_isdst = -1): fields normalised, a repeated hour as standard
    // time. The setter must not rely on it.
    bool LocalToUtc(const LocalTime& t, FileTime& utc) const override {
        utc = FileTimeFromCivil(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond) -
              kHour;
        return true;
    }
    void Sleep(std::uint32_t) override {}
    FileTime now = 0;
};

LocalTime Local(int month, int day, int hour, int minute, int second = 0, int millisecond = 0) {
    LocalTime t;
    t.year = 2024;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    t.millisecond = millisecond;
    return t;
}

struct Case {
    const char* what;
    LocalTime local;
    FileTime receiverUtc;
    std::optional<FileTime> setUtc;  // none: refused, nothing written
};

TEST(SystemClockSetter, RepeatedHourIsTheInstantNearerTheReceiverAndBadTimesAreRefused) {
    const std::vector<Case> cases = {
        {"first pass of the repeated hour, receiver in it too", Local(10, 27, 2, 30),
         FileTimeFromCivil(2024, 10, 27, 0, 29), FileTimeFromCivil(2024, 10, 27, 0, 30)},
        {"second pass of the repeated hour", Local(10, 27, 2, 30),
         FileTimeFromCivil(2024, 10, 27, 1, 29), FileTimeFromCivil(2024, 10, 27, 1, 30)},
        {"just before the change, receiver just after it", Local(10, 27, 2, 59, 59, 900),
         FileTimeFromCivil(2024, 10, 27, 1, 0, 1), FileTimeFromCivil(2024, 10, 27, 0, 59, 59, 900)},
        {"an ordinary summer time", Local(7, 1, 12, 0, 0, 456),
         FileTimeFromCivil(2024, 7, 1, 10, 0), FileTimeFromCivil(2024, 7, 1, 10, 0, 0, 456)},
        {"skipped by the change to summer time", Local(3, 31, 2, 30),
         FileTimeFromCivil(2024, 3, 31, 1, 0), std::nullopt},
        {"month 0", Local(0, 10, 12, 0), FileTimeFromCivil(2024, 7, 1, 10, 0), std::nullopt},
        {"hour 25", Local(7, 1, 25, 0), FileTimeFromCivil(2024, 7, 1, 10, 0), std::nullopt},
        {"30 February", Local(2, 30, 12, 0), FileTimeFromCivil(2024, 2, 1, 10, 0), std::nullopt},
        {"second 60", Local(7, 1, 12, 0, 60), FileTimeFromCivil(2024, 7, 1, 10, 0), std::nullopt},
        {"millisecond 1000", Local(7, 1, 12, 0, 0, 1000), FileTimeFromCivil(2024, 7, 1, 10, 0),
         std::nullopt},
        {"29 February of a leap year", Local(2, 29, 12, 0), FileTimeFromCivil(2024, 2, 1, 10, 0),
         FileTimeFromCivil(2024, 2, 29, 11, 0)},
    };
    for (const Case& c : cases) {
        CentralEuropeanZone zone;
        zone.now = c.receiverUtc;
        std::vector<FileTime> written;
        SystemClockSetter setter(zone, [&written](FileTime utc) {
            written.push_back(utc);
            return true;
        });
        const bool set = setter.SetLocalTime(c.local);
        EXPECT_EQ(set, c.setUtc.has_value()) << c.what;
        if (c.setUtc) {
            EXPECT_EQ(written, std::vector<FileTime>{*c.setUtc}) << c.what;
        } else {
            EXPECT_TRUE(written.empty()) << c.what;
        }
    }
}

TEST(SystemClockSetter, PacketsEvery15SecondsThroughTheRepeatedHourNeverSetTheClockBack) {
    // The master's clock runs through the change; the receiver sets its clock from each
    // packet and has drifted by 50 ms.
    CentralEuropeanZone master;
    CentralEuropeanZone receiver;
    receiver.now = FileTimeFromCivil(2024, 10, 27, 0, 30);
    SystemClockSetter setter(receiver, [&receiver](FileTime utc) {
        receiver.now = utc;
        return true;
    });
    for (FileTime t = FileTimeFromCivil(2024, 10, 27, 0, 30);
         t < FileTimeFromCivil(2024, 10, 27, 1, 30); t += 15 * kFileTimeTicksPerSecond) {
        master.now = t;
        receiver.now = t + 50 * kFileTimeTicksPerMs;
        ASSERT_TRUE(setter.SetLocalTime(master.NowLocal()));
        ASSERT_EQ(receiver.now, t) << "at " << (t - FileTimeFromCivil(2024, 10, 27)) / kHour;
    }
}

}  // namespace
}  // namespace velk
