#pragma once
// Simulated values for the tags of a device in simulation: a ramp, a sine or random
// numbers by the tag's simulation kind, stored as if they had been read.
#include <cstdint>
#include <functional>

#include "model/variant.h"

namespace velk {

class IClock;
class IEventPoster;
class OModbusTag;

class TagSimulator {
  public:
    // Pseudo-random non-negative 15-bit integers (0 to 32767).
    using RandomSource = std::function<std::uint16_t()>;

    // Without a source, a linear congruential generator with a fixed seed is used.
    TagSimulator(IClock& clock, RandomSource random = {});

    // One simulation step of the tag (TagDataLock held by the caller): quality good, the
    // next value by data type and simulation kind, stored through SetValue, stamped now, and
    // the alarm evaluated when enabled. Kind None and data types without a simulation keep
    // the value as it is (it is not run through the scaling again) and are stamped.
    void Simulate(OModbusTag& tag, IEventPoster& poster);

    // The next value of the tag's simulation, or an empty value when it keeps its value.
    // Steps the ramp counter (and wraps it) for ramps.
    Variant NextValue(OModbusTag& tag);

    static constexpr double kPi = 3.1415926535;
    static constexpr const char* kSimulationText = "This is a Test String.";

  private:
    std::uint16_t Random();

    IClock& clock_;
    RandomSource random_;
    std::uint32_t seed_ = 1;
};

}  // namespace velk
