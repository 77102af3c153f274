#include "modbus/tag_simulator.h"

#include <cmath>

#include "model/b_event.h"
#include "model/o_analog_data.h"
#include "model/o_modbus_tag.h"
#include "platform/clock.h"

namespace velk {
namespace {

struct RampRange {
    double low = 0.0;
    double high = 65535.0;
};

RampRange RangeOf(const OModbusTag& tag) {
    const auto* analog = dynamic_cast<const OAnalogData*>(tag.scaling.get());
    if (analog && analog->conversion != 0) return {analog->rawMinimum, analog->rawMaximum};
    if (tag.dataType == VT_I2) return {-32767.0, 32767.0};
    return {};
}

bool HasRamp(std::uint16_t dataType) {
    return dataType == VT_I2 || dataType == VT_I4 || dataType == VT_UI2 || dataType == VT_R4 ||
           dataType == VT_R8 || dataType == VT_I8 || dataType == VT_UI8;
}

// An integer of the tag's integer type; a UINT value that does not fit 16 bits (a scaled
// raw range beyond it) stays a LONG.
Variant IntegerOf(std::uint16_t dataType, std::int32_t number) {
    switch (dataType) {
        case VT_I2:
            return Variant::Int16(static_cast<std::int16_t>(number));
        case VT_UI2:
            if (number >= 0 && number <= 0xFFFF)
                return Variant::UInt16(static_cast<std::uint16_t>(number));
            return Variant::Int32(number);
        case VT_I8:
            return Variant::Int64(number);
        case VT_UI8:
            if (number >= 0) return Variant::UInt64(static_cast<std::uint64_t>(number));
            return Variant::Int32(number);
        default:
            return Variant::Int32(number);
    }
}

Variant NumberOf(std::uint16_t dataType, double number) {
    if (dataType == VT_R4) return Variant::Float(static_cast<float>(number));
    return Variant::Double(number);
}

bool IsFloating(std::uint16_t dataType) { return dataType == VT_R4 || dataType == VT_R8; }

}  // namespace

TagSimulator::TagSimulator(IClock& clock, RandomSource random)
    : clock_(clock), random_(std::move(random)) {}

std::uint16_t TagSimulator::Random() {
    if (random_) return static_cast<std::uint16_t>(random_() & 0x7FFF);
    seed_ = seed_ * 214013u + 2531011u;
    return static_cast<std::uint16_t>((seed_ >> 16) & 0x7FFF);
}

Variant TagSimulator::NextValue(OModbusTag& tag) {
    const std::int16_t kind = tag.simulationKind;
    if (kind != kSimulationRamp && kind != kSimulationSine && kind != kSimulationRandom) return {};
    const double t = clock_.TickCount() / 6000.0;
    const std::uint16_t type = tag.dataType;

    if (type == VT_BSTR) return Variant::Text(kSimulationText);
    if (type == VT_BOOL) {
        if (kind == kSimulationRandom) return Variant::Bool((Random() & 1) != 0);
        return Variant::Bool(static_cast<std::uint64_t>(t) % 2 == 1);
    }
    if (!HasRamp(type)) return {};

    Variant value;
    if (kind == kSimulationRamp) {
        value =
            IsFloating(type) ? NumberOf(type, tag.rampCounter) : IntegerOf(type, tag.rampCounter);
        ++tag.rampCounter;
    } else if (kind == kSimulationSine) {
        const double s = std::sin(t * kPi / 10.0);
        value = IsFloating(type) ? NumberOf(type, s)
                                 : IntegerOf(type, static_cast<std::int32_t>(s * 50.0 + 50.0));
    } else {
        const std::uint16_t r = Random();
        value = IsFloating(type) ? NumberOf(type, (r % 300) / 3.0) : IntegerOf(type, r % 100);
    }
    const RampRange range = RangeOf(tag);
    if (tag.rampCounter > range.high) tag.rampCounter = static_cast<std::int32_t>(range.low);
    return value;
}

void TagSimulator::Simulate(OModbusTag& tag, IEventPoster& poster) {
    tag.quality = kQualityGood;
    const Variant next = NextValue(tag);
    if (!next.IsEmpty()) tag.SetValue(next);
    tag.timestamp = clock_.NowUtc();
    if (tag.alarm && tag.alarm->IsEnabled()) tag.alarm->Evaluate(tag, poster);
}

}  // namespace velk
