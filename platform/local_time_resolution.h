#pragma once
// From a local time of a time zone to the UTC instant, with the zone given as an IClock (its
// ToLocal), so that the rules are tested with a zone of the test's own. Two things need care:
// a local time of the hour that the change back to standard time repeats names two instants,
// and the C library's conversion quietly normalises fields out of range (month 0, hour 25)
// into another date.
#include <optional>

#include "platform/clock.h"

namespace velk {

// Whether every field lies in its calendar range: month 1-12, the day within its month (leap
// years counted), hour 0-23, minute and second 0-59, millisecond 0-999. The day of the week
// is not looked at.
bool IsCalendarTime(const LocalTime& local);

// The UTC instant at which the zone's clock shows `local`. Of the two instants of a repeated
// hour, the one nearer `nearUtc` (the receiving clock's own time, say) is taken. None when a
// field is out of range or when the zone skips the time (the change to summer time).
std::optional<FileTime> ResolveLocalTime(const IClock& zone, const LocalTime& local,
                                         FileTime nearUtc);

}  // namespace velk
