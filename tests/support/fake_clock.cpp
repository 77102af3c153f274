#include "tests/support/fake_clock.h"

namespace velk::testing {
namespace {
// Days since 1970-01-01 for a civil date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}
}  // namespace

FileTime FileTimeFromCivil(int year, int month, int day, int hour, int minute, int second,
                           int millisecond) {
    const std::int64_t days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    const std::int64_t unixSeconds = days * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<FileTime>(unixSeconds +
                                 static_cast<std::int64_t>(kUnixEpochInFileTimeSeconds)) *
               kFileTimeTicksPerSecond +
           static_cast<FileTime>(millisecond) * kFileTimeTicksPerMs;
}

LocalTime CivilFromFileTime(FileTime t) {
    const std::int64_t unixSeconds = static_cast<std::int64_t>(t / kFileTimeTicksPerSecond) -
                                     static_cast<std::int64_t>(kUnixEpochInFileTimeSeconds);
    std::int64_t z = unixSeconds >= 0 ? unixSeconds / 86400 : (unixSeconds - 86399) / 86400;
    const std::int64_t secOfDay = unixSeconds - z * 86400;
    LocalTime out;
    out.dayOfWeek = static_cast<int>((z % 7 + 11) % 7);  // 1970-01-01 was a Thursday
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    out.year = static_cast<int>(y + (m <= 2));
    out.month = static_cast<int>(m);
    out.day = static_cast<int>(d);
    out.hour = static_cast<int>(secOfDay / 3600);
    out.minute = static_cast<int>(secOfDay / 60 % 60);
    out.second = static_cast<int>(secOfDay % 60);
    out.millisecond = static_cast<int>((t % kFileTimeTicksPerSecond) / kFileTimeTicksPerMs);
    return out;
}

LocalTime FakeClock::ToLocal(FileTime utc) const {
    const std::int64_t shift =
        offsetMinutes_ * 60 * static_cast<std::int64_t>(kFileTimeTicksPerSecond);
    return CivilFromFileTime(static_cast<FileTime>(static_cast<std::int64_t>(utc) + shift));
}

bool FakeClock::LocalToUtc(const LocalTime& local, FileTime& utc) const {
    const FileTime asUtc = FileTimeFromCivil(local.year, local.month, local.day, local.hour,
                                             local.minute, local.second, local.millisecond);
    const std::int64_t shift =
        offsetMinutes_ * 60 * static_cast<std::int64_t>(kFileTimeTicksPerSecond);
    utc = static_cast<FileTime>(static_cast<std::int64_t>(asUtc) - shift);
    return true;
}

void FakeClock::SetLocal(const LocalTime& local) {
    FileTime utc = 0;
    LocalToUtc(local, utc);
    now_ = utc;
}

}  // namespace velk::testing
