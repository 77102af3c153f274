#pragma once
// Time stamps as the client prints them: "YYYY-MM-DD hh:mm:ss.mmm". The server sends file
// times (UTC, 100 ns units since 1601-01-01) and, for the time stamp property, automation
// dates (days since 1899-12-30 in the server's local time, fraction = time of day).
#include <cstdint>
#include <ctime>
#include <string>

namespace velk::client {

enum class TimeZoneChoice { Local, Utc };

// A file time in local time (or UTC); 0 is "none", as the server uses it for "never".
std::string FileTimeText(std::uint64_t fileTime, TimeZoneChoice zone = TimeZoneChoice::Local);
// A file time of a point in time, for tests and for local clock stamps.
std::uint64_t FileTimeOf(std::time_t seconds, unsigned milliseconds = 0);
// An automation date as it stands (it is a local time already).
std::string AutomationDateText(double days);
// The local time now, to the millisecond, as the subscription output stamps its lines.
std::string LocalNowText();

}  // namespace velk::client
