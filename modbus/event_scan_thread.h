#pragma once
// The event scan of one device: every event-scan period it reads the controller's event
// buffer chunk by chunk and applies the records to the event-signal tags with the
// controller's time stamps, reads the state of every event signal when that is due (at
// start, after an overrun, after a communication failure), sets the controller's clock when
// due, and reads the tags that carry an enabled alarm so that their alarms are evaluated.
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

#include "modbus/event_buffer_layout.h"
#include "modbus/time_sync_schedule.h"
#include "model/tag_list.h"
#include "platform/clock.h"

namespace velk {

class MessageQueue;
class IDeviceExchange;
class IEventPoster;
class ODevice;
class OModbusTag;

struct EventScanServices {
    IDeviceExchange& exchange;
    IClock& clock;
    IEventPoster& poster;
    // The scan engine's read of a tag list of the device.
    std::function<void(ODevice&, const TagList&)> readTags;
    // Whether the acquisition as a whole runs; empty: always.
    std::function<bool()> acquisitionRuns;
    // Whether the active or the standby channel answered its last exchange; empty: always.
    std::function<bool()> anyChannelGood;
    EventBufferSettings eventStack;
};

class EventScanThread {
  public:
    // deviceRuns is the device's running flag, wake the queue of the thread that runs the
    // body (a message on it ends the wait between two cycles); atEnd runs when the thread
    // body ends, before the finish line is traced.
    EventScanThread(ODevice& device, EventScanServices services,
                    const std::atomic<bool>& deviceRuns, MessageQueue& wake,
                    std::function<void()> atEnd = {});

    // The thread body: start, cycles while the device and the acquisition run, end.
    void Run();

    // The start of the body: status read pending from the configuration, initial values,
    // time synchronisation at start-up, the pause before the first cycle.
    void Start();
    // One cycle without its wait.
    void Cycle();

    // Reads the state of every event signal and stores it with time stamp ts. 1 when every
    // tag got a read value, 0 when some got a substitute value.
    int ReadEventStatus(FileTime ts, bool afterFailure);
    // Applies the records of a chunk (at most its size / 8 records, at most 31): -1 at the
    // overrun mark, 0 at the end mark, 1 otherwise.
    int ProcessEventRecords(std::span<const std::uint8_t> data);
    // Sends the time synchronisation with the local time; 1 when accepted, else 0.
    int SyncTime(const LocalTime& local);
    // One pass over the event buffer.
    void ReadEventBuffer();

    bool StatusReadPending() const { return statusReadPending_; }
    std::uint16_t BufferOffset() const { return offset_; }

    // The UTC time of a record's local time of day on the date (yesterday, today or
    // tomorrow) that puts it nearest to now; now itself when no such local time exists.
    static FileTime RecordTime(const IClock& clock, int hour, int minute, int second,
                               int millisecond);
    // The value an event-signal tag gets when its state is unknown, as a raw value.
    static bool SubstituteRawValue(const OModbusTag& tag);

  private:
    bool DeviceRuns() const;
    bool AcquisitionRuns() const;
    // Exchanges the request; true when the answer is valid.
    bool Exchange(class OMessage& message);
    void StoreState(OModbusTag& tag, bool raw, std::uint16_t quality, FileTime ts);
    void SetSubstituteValues(std::uint16_t quality, FileTime ts);
    int ReadStatusBlocks(FileTime ts, bool afterFailure, const TagList& signals);
    int ReadStatusTessera(FileTime ts, bool afterFailure, const TagList& signals);
    TagList EventSignals() const;

    ODevice& device_;
    EventScanServices services_;
    const std::atomic<bool>& deviceRuns_;
    MessageQueue& wake_;
    std::function<void()> atEnd_;
    TimeSyncSchedule timeSync_;
    EventBufferLocation buffer_;
    bool statusReadPending_ = false;
    bool afterFailure_ = false;
    std::uint16_t offset_ = 0;
};

}  // namespace velk
