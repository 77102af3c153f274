#pragma once
// The controller's event buffers, one per master area, kept as lists of records and laid
// out in the holding registers of the process image: the records in order, then the end
// mark, or the overrun mark once more records came than the buffer holds. Every record
// also sets the signal's event-signal coil (0x0800 + signal).
#include <cstddef>
#include <vector>

#include "modbus/event_buffer_layout.h"
#include "modbus/event_record.h"
#include "tools/plcsim/process_image.h"

namespace velk::plcsim {

class ControllerEventBuffer {
  public:
    static constexpr int kAreas = 2;

    ControllerEventBuffer(ProcessImage& image, int deviceType,
                          const EventBufferSettings& settings = {});

    // The placement of an area's buffer (0 Master 1, 1 Master 2).
    EventBufferLocation Location(int area) const;
    // Records that fit before the closing mark.
    std::size_t Capacity(int area) const;

    // Appends a record to the area; a record beyond the capacity turns the buffer into an
    // overrun (the record is lost, as in a full controller buffer).
    void Append(int area, const EventRecord& record);
    // Ends the area's records with the overrun mark.
    void SetOverrun(int area);
    // Empties the area: only the end mark remains.
    void Clear(int area);
    // Sets the state of event signal n without a record; false outside the image.
    bool SetSignal(std::uint16_t signal, bool state);

    const std::vector<EventRecord>& Records(int area) const { return areas_[area].records; }
    bool Overrun(int area) const { return areas_[area].overrun; }

  private:
    struct Area {
        std::vector<EventRecord> records;
        bool overrun = false;
    };
    void Render(int area);

    ProcessImage& image_;
    EventBufferLocation locations_[kAreas];
    Area areas_[kAreas];
};

}  // namespace velk::plcsim
