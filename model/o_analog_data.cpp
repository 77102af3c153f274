#include "model/o_analog_data.h"

#include <cmath>

namespace velk {
namespace {

// Minimum tested first, so a range with minimum above maximum sends every value below the
// minimum to the minimum and every other one to the maximum. NaN passes both tests.
double Clamp(double x, double minimum, double maximum) {
    if (x < minimum) return minimum;
    if (x > maximum) return maximum;
    return x;
}

}  // namespace

double OAnalogData::RawToEngValue(double x) const {
    const double engSpan = engineeringMaximum - engineeringMinimum;
    const double rawSpan = rawMaximum - rawMinimum;
    if (conversion == kLinear) {
        x = (x - rawMinimum) / rawSpan * engSpan + engineeringMinimum;
    } else if (conversion == kSquareRoot) {
        x = std::sqrt((x - rawMinimum) / rawSpan) * engSpan + engineeringMinimum;
    }
    return Clamp(x, engineeringMinimum, engineeringMaximum);
}

double OAnalogData::EngToRawValue(double y) const {
    y = Clamp(y, engineeringMinimum, engineeringMaximum);
    const double engSpan = engineeringMaximum - engineeringMinimum;
    const double rawSpan = rawMaximum - rawMinimum;
    if (conversion == kLinear) {
        y = (y - engineeringMinimum) / engSpan * rawSpan + rawMinimum;
    } else if (conversion == kSquareRoot) {
        const double d = (y - engineeringMinimum) / engSpan;
        y = d * d * rawSpan + rawMinimum;
    }
    return y;
}

bool OAnalogData::RawToEng(Variant& value) const {
    if (value.Type() != VT_R8) return false;
    value = Variant::Double(RawToEngValue(value.AsDouble()));
    return true;
}

bool OAnalogData::EngToRaw(Variant& value) const {
    if (value.Type() != VT_R8) return false;
    value = Variant::Double(EngToRawValue(value.AsDouble()));
    return true;
}

std::string OAnalogData::GetConversionName() const {
    if (conversion == kLinear) return "LIN";
    if (conversion == kSquareRoot) return "SQR";
    return {};
}

void OAnalogData::ResetRanges() {
    rawMinimum = 0.0;
    rawMaximum = 10000.0;
    engineeringMinimum = 0.0;
    engineeringMaximum = 100.0;
    lowProcess = 0.0;
    highProcess = 100.0;
    units.clear();
}

bool OAnalogData::IsEqual(const OTagData& other) const {
    const auto* o = dynamic_cast<const OAnalogData*>(&other);
    return o != nullptr && conversion == o->conversion && initValue == o->initValue &&
           engineeringMinimum == o->engineeringMinimum &&
           engineeringMaximum == o->engineeringMaximum && rawMinimum == o->rawMinimum &&
           rawMaximum == o->rawMaximum && lowProcess == o->lowProcess &&
           highProcess == o->highProcess && units == o->units;
}

void OAnalogData::CopyAll(const OTagData& source) {
    conversion = source.conversion;
    if (const auto* s = dynamic_cast<const OAnalogData*>(&source)) *this = *s;
}

std::unique_ptr<OTagData> OAnalogData::Clone() const {
    return std::make_unique<OAnalogData>(*this);
}

}  // namespace velk
