#pragma once
// A value as it crosses the OPC boundary: a tag value, a date, or an array of doubles (the
// engineering range of an analog item).
#include <cstdint>
#include <vector>

#include "model/variant.h"
#include "platform/clock.h"

namespace velk {

inline constexpr VarType VT_DATE = 7;
inline constexpr VarType VT_ARRAY = 0x2000;

struct OpcValue {
    VarType vt = VT_EMPTY;
    Variant scalar;             // every scalar type except VT_DATE
    double date = 0.0;          // VT_DATE: days since 1899-12-30, local time
    std::vector<double> array;  // VT_ARRAY | VT_R8

    static OpcValue Of(Variant value);
    static OpcValue Date(double days);
    static OpcValue DoubleArray(std::vector<double> values);
    bool operator==(const OpcValue&) const = default;
};

// A local time as an automation date (days since 1899-12-30, fraction = time of day).
double LocalTimeToDate(const LocalTime& local);

}  // namespace velk
