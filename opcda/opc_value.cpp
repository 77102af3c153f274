#include "opcda/opc_value.h"

namespace velk {

OpcValue OpcValue::Of(Variant value) {
    OpcValue v;
    v.vt = value.Type();
    v.scalar = std::move(value);
    return v;
}

OpcValue OpcValue::Date(double days) {
    OpcValue v;
    v.vt = VT_DATE;
    v.date = days;
    return v;
}

OpcValue OpcValue::DoubleArray(std::vector<double> values) {
    OpcValue v;
    v.vt = VT_ARRAY | VT_R8;
    v.array = std::move(values);
    return v;
}

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

double LocalTimeToDate(const LocalTime& local) {
    constexpr std::int64_t kDaysFrom1899To1970 = 25569;
    const std::int64_t days = DaysFromCivil(local.year, static_cast<unsigned>(local.month),
                                            static_cast<unsigned>(local.day)) +
                              kDaysFrom1899To1970;
    const double ms =
        ((local.hour * 60.0 + local.minute) * 60.0 + local.second) * 1000.0 + local.millisecond;
    return static_cast<double>(days) + ms / 86'400'000.0;
}

}  // namespace velk
