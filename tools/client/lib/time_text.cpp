#include "tools/client/lib/time_text.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace velk::client {
namespace {

// File times count from 1601-01-01, Unix times from 1970-01-01: 11644473600 s apart.
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

std::string Format(const std::tm& parts, unsigned milliseconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03u", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  milliseconds);
    return text;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian), after H. Hinnant.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

std::string FileTimeText(std::uint64_t fileTime, TimeZoneChoice zone) {
    if (fileTime == 0) return "none";
    // Times before 1970 cannot come from this server; they print as UTC arithmetic anyway.
    const std::int64_t ticks = static_cast<std::int64_t>(fileTime - kUnixEpochAsFileTime);
    std::int64_t seconds = ticks / static_cast<std::int64_t>(kTicksPerSecond);
    std::int64_t rest = ticks % static_cast<std::int64_t>(kTicksPerSecond);
    if (rest < 0) {
        rest += kTicksPerSecond;
        --seconds;
    }
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm parts{};
    if (zone == TimeZoneChoice::Local) {
        localtime_r(&when, &parts);
    } else {
        gmtime_r(&when, &parts);
    }
    return Format(parts, static_cast<unsigned>(rest / 10000));
}

std::uint64_t FileTimeOf(std::time_t seconds, unsigned milliseconds) {
    return kUnixEpochAsFileTime + static_cast<std::uint64_t>(seconds) * kTicksPerSecond +
           milliseconds * 10000ull;
}

std::string AutomationDateText(double days) {
    if (!std::isfinite(days)) return "invalid date";
    // The whole part counts days from 1899-12-30 and the fraction's magnitude is the time
    // of day, also for negative dates (-1.25 is 1899-12-29 06:00), as automation dates go.
    const double whole = std::trunc(days);
    std::int64_t day = static_cast<std::int64_t>(whole);
    std::int64_t msOfDay = std::llround(std::fabs(days - whole) * 86400000.0);
    if (msOfDay >= 86400000) {
        msOfDay -= 86400000;
        day += days < 0 ? -1 : 1;
    }
    const std::int64_t unixDay = day + DaysFromCivil(1899, 12, 30);
    const std::time_t seconds = static_cast<std::time_t>(unixDay * 86400 + msOfDay / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    return Format(parts, static_cast<unsigned>(msOfDay % 1000));
}

std::string LocalNowText() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return Format(parts, static_cast<unsigned>(ms % 1000));
}

}  // namespace velk::client
