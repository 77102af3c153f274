#include "platform/local_time_resolution.h"

#include <array>
#include <cstdint>

namespace velk {
namespace {

constexpr std::int64_t kTicksPerDay = 86400 * static_cast<std::int64_t>(kFileTimeTicksPerSecond);

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr std::array<int, 12> kDays{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

// Days since 1601-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysSince1601(int year, int month, int day) {
    const std::int64_t y = year - 1601;
    std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
    return days + day - 1;
}

// The local time's fields read as if they were UTC: the zone's offset is then the
// difference to the true instant.
std::int64_t FieldsAsTicks(const LocalTime& t) {
    const std::int64_t seconds =
        DaysSince1601(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
    return seconds * static_cast<std::int64_t>(kFileTimeTicksPerSecond) +
           static_cast<std::int64_t>(t.millisecond) *
               static_cast<std::int64_t>(kFileTimeTicksPerMs);
}

bool SameFields(const LocalTime& a, const LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
           a.minute == b.minute && a.second == b.second && a.millisecond == b.millisecond;
}

std::int64_t Distance(std::int64_t a, std::int64_t b) { return a > b ? a - b : b - a; }

}  // namespace

bool IsCalendarTime(const LocalTime& t) {
    if (t.year < 1601 || t.year > 30827) return false;  // the range of a file time
    if (t.month < 1 || t.month > 12) return false;
    if (t.day < 1 || t.day > DaysInMonth(t.year, t.month)) return false;
    return t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 && t.second >= 0 &&
           t.second <= 59 && t.millisecond >= 0 && t.millisecond <= 999;
}

std::optional<FileTime> ResolveLocalTime(const IClock& zone, const LocalTime& local,
                                         FileTime nearUtc) {
    if (!IsCalendarTime(local)) return std::nullopt;
    const std::int64_t fields = FieldsAsTicks(local);
    // The zone's offsets a day either side and at the time itself: a change of offset near
    // the time shows as two different offsets, and each gives one candidate instant.
    std::optional<std::int64_t> best;
    for (const std::int64_t probe : {fields - kTicksPerDay, fields, fields + kTicksPerDay}) {
        if (probe < 0) continue;
        const std::int64_t offset =
            FieldsAsTicks(zone.ToLocal(static_cast<FileTime>(probe))) - probe;
        const std::int64_t candidate = fields - offset;
        if (candidate < 0) continue;
        // A candidate counts only when the zone's clock really shows the time then; in a
        // skipped hour none does.
        if (!SameFields(zone.ToLocal(static_cast<FileTime>(candidate)), local)) continue;
        const auto near = static_cast<std::int64_t>(nearUtc);
        if (!best || Distance(candidate, near) < Distance(*best, near)) best = candidate;
    }
    if (!best) return std::nullopt;
    return static_cast<FileTime>(*best);
}

}  // namespace velk
