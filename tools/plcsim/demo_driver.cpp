#include "tools/plcsim/demo_driver.h"

#include <bit>
#include <cmath>
#include <numbers>

namespace velk::plcsim {

void DemoDriver::Toggle(ControllerEventBuffer& events, std::uint16_t signal, const LocalTime& now) {
    signals_[signal] = !signals_[signal];
    EventRecord record;
    record.signal = signal;
    record.state = signals_[signal];
    record.hour = now.hour;
    record.minute = now.minute;
    record.second = now.second;
    record.millisecond = now.millisecond;
    for (int area = 0; area < ControllerEventBuffer::kAreas; ++area) {
        // The demo never runs into an overrun: a full buffer starts again empty.
        if (events.Records(area).size() >= events.Capacity(area)) {
            events.Clear(area);
        }
        events.Append(area, record);
    }
}

void DemoDriver::Step(ProcessImage& image, ControllerEventBuffer& events, const LocalTime& now) {
    const double seconds = static_cast<double>(step_) * kStepMs / 1000.0;
    const double pi = std::numbers::pi;

    // Holding 0: a level ramping 0..1000 and back to 0 every 50 s.
    image.SetWord(Table::kHolding, 0, static_cast<std::uint16_t>((step_ * 10) % 1000));
    // Holding 1: a raw 0..4000 wave with a period of 60 s.
    image.SetWord(Table::kHolding, 1,
                  static_cast<std::uint16_t>(2000 + 2000 * std::sin(2 * pi * seconds / 60)));
    // Holding 2-3: a REAL of -50..50, low word first (high word first with word swap).
    const auto real =
        std::bit_cast<std::uint32_t>(static_cast<float>(50.0 * std::sin(2 * pi * seconds / 40)));
    const auto high = static_cast<std::uint16_t>(real >> 16);
    const auto low = static_cast<std::uint16_t>(real & 0xFFFF);
    image.SetWord(Table::kHolding, 2, wordSwap_ ? high : low);
    image.SetWord(Table::kHolding, 3, wordSwap_ ? low : high);
    // Input 0: a temperature in tenths of a degree, 15.0..25.0; input 1 a counter.
    image.SetWord(Table::kInput, 0,
                  static_cast<std::uint16_t>(200 + 50 * std::sin(2 * pi * seconds / 30)));
    image.SetWord(Table::kInput, 1, static_cast<std::uint16_t>(step_ & 0xFFFF));
    // Binary values: a coil every 5 s, a discrete input every 3 s, and a limit contact.
    image.SetBit(Table::kCoil, 0, (step_ / 10) % 2 == 1);
    image.SetBit(Table::kDiscrete, 0, (step_ / 6) % 2 == 1);
    image.SetBit(Table::kDiscrete, 1, image.Word(Table::kHolding, 0) > 800);
    // Event signals 1 and 2 change every 10 s and 15 s, with records in both buffers.
    if (step_ > 0 && step_ % 20 == 0) {
        Toggle(events, 1, now);
    }
    if (step_ > 0 && step_ % 30 == 0) {
        Toggle(events, 2, now);
    }
    ++step_;
}

}  // namespace velk::plcsim
