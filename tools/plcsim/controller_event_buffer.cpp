#include "tools/plcsim/controller_event_buffer.h"

#include "modbus/modbus_requests.h"

namespace velk::plcsim {

ControllerEventBuffer::ControllerEventBuffer(ProcessImage& image, int deviceType,
                                             const EventBufferSettings& settings)
    : image_(image) {
    for (int area = 0; area < kAreas; ++area) {
        locations_[area] = EventBufferLocationFor(deviceType, area, settings);
        Render(area);
    }
}

EventBufferLocation ControllerEventBuffer::Location(int area) const { return locations_[area]; }

std::size_t ControllerEventBuffer::Capacity(int area) const {
    const std::size_t slots = locations_[area].size / kEventRecordRegisters;
    return slots == 0 ? 0 : slots - 1;
}

void ControllerEventBuffer::Append(int area, const EventRecord& record) {
    SetSignal(record.signal, record.state);
    Area& target = areas_[area];
    if (target.overrun) {
        return;
    }
    if (target.records.size() >= Capacity(area)) {
        target.overrun = true;
    } else {
        target.records.push_back(record);
    }
    Render(area);
}

void ControllerEventBuffer::SetOverrun(int area) {
    areas_[area].overrun = true;
    Render(area);
}

void ControllerEventBuffer::Clear(int area) {
    areas_[area] = Area{};
    Render(area);
}

bool ControllerEventBuffer::SetSignal(std::uint16_t signal, bool state) {
    return image_.SetBit(Table::kCoil, std::uint32_t{kEventSignalCoilBase} + signal, state);
}

void ControllerEventBuffer::Render(int area) {
    const EventBufferLocation location = locations_[area];
    std::uint32_t address = location.base;
    const std::uint32_t end = std::uint32_t{location.base} + location.size;
    const auto put = [&](const EventRecord& record) {
        for (std::uint16_t word : EventRecordRegisters(record)) {
            if (address < end) {
                image_.SetWord(Table::kHolding, address++, word);
            }
        }
    };
    for (const EventRecord& record : areas_[area].records) {
        put(record);
    }
    EventRecord mark;
    mark.signal = areas_[area].overrun ? kEventOverrunMark : kEventEndMark;
    put(mark);
    while (address < end) {
        image_.SetWord(Table::kHolding, address++, 0);
    }
}

}  // namespace velk::plcsim
