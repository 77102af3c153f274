#pragma once
// Values that change over time for the demo: analog ramps and waves in registers, toggling
// coils and discrete inputs, and event signals that change with event records.
#include <cstdint>

#include "platform/clock.h"
#include "tools/plcsim/controller_event_buffer.h"
#include "tools/plcsim/process_image.h"

namespace velk::plcsim {

class DemoDriver {
  public:
    static constexpr int kStepMs = 500;

    // wordSwap: 32-bit values high word first, as a device with "Word Swap" set is read;
    // without it low word first, the server's default.
    explicit DemoDriver(bool wordSwap = false) : wordSwap_(wordSwap) {}

    // Advances the demo by one step; step counts from 0, now stamps the event records.
    void Step(ProcessImage& image, ControllerEventBuffer& events, const LocalTime& now);

  private:
    void Toggle(ControllerEventBuffer& events, std::uint16_t signal, const LocalTime& now);

    bool wordSwap_;
    std::uint64_t step_ = 0;
    bool signals_[4] = {};
};

}  // namespace velk::plcsim
