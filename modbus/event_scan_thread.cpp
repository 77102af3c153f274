#include "modbus/event_scan_thread.h"

#include <algorithm>
#include <array>
#include <limits>
#include <mutex>
#include <vector>

#include "core/trace_file.h"
#include "modbus/device_exchange.h"
#include "modbus/event_record.h"
#include "modbus/modbus_requests.h"
#include "model/o_binary_alarm.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "platform/worker_thread.h"

namespace velk {
namespace {

// Records in one chunk at most: one read carries up to 125 registers.
constexpr std::size_t kMaxRecordsPerChunk = 31;
// Tags of one status block lie within this many signals of its first tag.
constexpr std::uint16_t kMaxStatusBlockSpan = 800;
constexpr std::uint32_t kPauseBeforeFirstCycleMs = 100;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = static_cast<int>(y - era * 400);
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = static_cast<int>(z - era * 146097);
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

EventScanThread::EventScanThread(ODevice& device, EventScanServices services,
                                 const std::atomic<bool>& deviceRuns, MessageQueue& wake,
                                 std::function<void()> atEnd)
    : device_(device),
      services_(std::move(services)),
      deviceRuns_(deviceRuns),
      wake_(wake),
      atEnd_(std::move(atEnd)),
      timeSync_(device.params.timeSync),
      buffer_(EventBufferLocationFor(device.params.deviceType, device.params.eventArea,
                                     services_.eventStack)) {}

bool EventScanThread::DeviceRuns() const { return deviceRuns_.load(); }

bool EventScanThread::AcquisitionRuns() const {
    return !services_.acquisitionRuns || services_.acquisitionRuns();
}

bool EventScanThread::Exchange(OMessage& message) {
    services_.exchange.Exchange(device_, message);
    return message.IsValid();
}

TagList EventScanThread::EventSignals() const {
    std::lock_guard lock(device_.Locks().tagData);
    return device_.eventSignalScanList;
}

void EventScanThread::Run() {
    Trace("ODevice::EventScanThread: Dev=" + device_.name + " started");
    Start();
    while (AcquisitionRuns() && DeviceRuns()) {
        const std::uint32_t t0 = services_.clock.TickCount();
        Cycle();
        const std::uint32_t now = services_.clock.TickCount();
        std::uint32_t elapsed = now >= t0 ? now - t0 : 0;
        const std::uint32_t period = device_.params.eventScan;
        if (elapsed > period) elapsed = 0;
        if (AcquisitionRuns() && DeviceRuns())
            WaitForWake(wake_, std::chrono::milliseconds(period - elapsed));
    }
    if (atEnd_) atEnd_();
    Trace("ODevice::EventScanThread: Dev=" + device_.name + " finished");
}

void EventScanThread::Start() {
    const FileTime t0 = services_.clock.NowUtc();
    statusReadPending_ = device_.params.initiallyReadEventStatus != 0;
    afterFailure_ = false;
    if (device_.simulationEnabled == 0 && statusReadPending_) {
        if (ReadEventStatus(t0, false) == 1) statusReadPending_ = afterFailure_ = false;
    } else {
        SetSubstituteValues(kQualityUncertain, t0);
    }
    const LocalTime local = services_.clock.NowLocal();
    timeSync_.Remember(local);
    if (DeviceRuns() && device_.simulationEnabled == 0 && timeSync_.AtStartUp()) SyncTime(local);
    services_.clock.Sleep(kPauseBeforeFirstCycleMs);
    offset_ = 0;
}

void EventScanThread::Cycle() {
    if (device_.simulationEnabled != 0) return;
    if (statusReadPending_ && ReadEventStatus(services_.clock.NowUtc(), afterFailure_) == 1)
        statusReadPending_ = afterFailure_ = false;
    if (!statusReadPending_) {
        const LocalTime local = services_.clock.NowLocal();
        if (timeSync_.Due(local)) SyncTime(local);
        ReadEventBuffer();
        if (DeviceRuns()) {
            TagList alarms;
            {
                std::lock_guard lock(device_.Locks().tagData);
                alarms = device_.alarmScanList;
            }
            if (services_.readTags && !alarms.empty()) services_.readTags(device_, alarms);
        }
    }
    const bool channelsGood = !services_.anyChannelGood || services_.anyChannelGood();
    if (!channelsGood && device_.params.readEventStatusAfterCommFailure != 0)
        statusReadPending_ = afterFailure_ = true;
}

void EventScanThread::ReadEventBuffer() {
    const std::uint16_t size = buffer_.size;
    std::uint16_t chunkSize = EventChunkSize(size);
    // A device set to take fewer registers per read gets whole records within its limit (the
    // usual chunks of 124 are what its default of 123 has always allowed).
    const std::int32_t limit = device_.params.maxReadRegisters;
    if (limit != ODeviceParams{}.maxReadRegisters && limit >= 4 && limit < chunkSize)
        chunkSize = static_cast<std::uint16_t>(limit - limit % 4);
    if (size == 0 || chunkSize == 0) return;
    while (AcquisitionRuns()) {
        if (!DeviceRuns()) return;
        if (EventSignals().empty()) return;
        const std::uint16_t chunk = std::min<std::uint16_t>(chunkSize, size - offset_);
        auto request =
            BuildEventBufferRequest(services_.exchange.Framing(device_),
                                    device_.params.slaveAddress, buffer_.base, offset_, chunk);
        if (request && Exchange(*request)) {
            std::vector<std::uint8_t> data(std::size_t{chunk} * 2);
            for (std::size_t word = 0; word < chunk; ++word) {
                const std::uint16_t value = request->GetWord(word);
                data[word * 2] = static_cast<std::uint8_t>(value >> 8);
                data[word * 2 + 1] = static_cast<std::uint8_t>(value & 0xFF);
            }
            const int result = ProcessEventRecords(data);
            bool readStatus = false;
            {
                std::lock_guard lock(device_.Locks().tagData);
                // The overrun mark sets the overrun state; a chunk that ends at the end mark or
                // holds records only clears it.
                const bool newOverrun = result == -1 && device_.overrunState == 0;
                device_.overrunState = result == -1 ? kOverrunActive : 0;
                ODeviceAlarm* alarm = device_.AlarmOfCode(kAlarmBufferOverrun);
                const std::uint16_t before = alarm->lastStatus;
                const std::uint16_t after = alarm->EvaluateOverrun(
                    device_, kAlarmBufferOverrun, services_.clock.NowUtc(), services_.poster);
                // Each change of the overrun alarm reads the signals' status again; so does a
                // new overrun whose alarm is disabled: records were lost, and the signals' tags
                // would otherwise keep states the controller left long ago.
                readStatus = after != before || newOverrun;
            }
            if (readStatus) ReadEventStatus(services_.clock.NowUtc(), false);
        }
        offset_ = static_cast<std::uint16_t>(offset_ + chunk);
        if (offset_ >= size) {
            offset_ = 0;
            return;
        }
    }
}

int EventScanThread::ProcessEventRecords(std::span<const std::uint8_t> data) {
    const std::size_t records = std::min(data.size() / kEventRecordBytes, kMaxRecordsPerChunk);
    std::lock_guard lock(device_.Locks().tagData);
    for (std::size_t i = 0; i < records; ++i) {
        const auto record = DecodeEventRecord(data.subspan(i * kEventRecordBytes));
        if (!record) break;
        if (record->signal == kEventOverrunMark) return -1;
        if (record->signal == kEventEndMark) return 0;
        const auto& signals = device_.eventSignalScanList;
        auto it = std::find_if(signals.begin(), signals.end(), [&](const OModbusTag* tag) {
            return tag->address == record->signal;
        });
        if (it == signals.end()) continue;
        OModbusTag& tag = **it;
        tag.SetValue(Variant::Bool(record->state));
        tag.timestamp = RecordTime(services_.clock, record->hour, record->minute, record->second,
                                   record->millisecond);
        tag.quality = kQualityGood;
        if (tag.HasEnabledAlarm()) tag.alarm->Evaluate(tag, services_.poster);
    }
    return 1;
}

FileTime EventScanThread::RecordTime(const IClock& clock, int hour, int minute, int second,
                                     int millisecond) {
    const FileTime now = clock.NowUtc();
    // A damaged record's time of day (hour 99, say) is no local time; the C library would
    // carry it over into days ahead.
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 ||
        millisecond < 0 || millisecond > 999) {
        return now;
    }
    const LocalTime today = clock.NowLocal();
    const std::int64_t day = DaysFromCivil(today.year, today.month, today.day);
    FileTime best = now;
    FileTime bestDistance = std::numeric_limits<FileTime>::max();
    for (std::int64_t offset : {-1, 0, 1}) {
        LocalTime local;
        CivilFromDays(day + offset, local.year, local.month, local.day);
        local.hour = hour;
        local.minute = minute;
        local.second = second;
        local.millisecond = millisecond;
        FileTime utc = 0;
        if (!clock.LocalToUtc(local, utc)) continue;
        const FileTime distance = utc > now ? utc - now : now - utc;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = utc;
        }
    }
    return best;
}

bool EventScanThread::SubstituteRawValue(const OModbusTag& tag) {
    bool engineering = false;
    if (const auto* alarm = dynamic_cast<const OBinaryAlarm*>(tag.alarm.get())) {
        const std::uint16_t states =
            alarm->enableFlags & (OBinaryAlarm::kOnFalse | OBinaryAlarm::kOnTrue);
        engineering = states == OBinaryAlarm::kOnFalse;
    }
    Variant value = Variant::Bool(engineering);
    if (tag.scaling) tag.scaling->EngToRaw(value);
    return value.AsBool();
}

void EventScanThread::StoreState(OModbusTag& tag, bool raw, std::uint16_t quality, FileTime ts) {
    tag.SetValue(Variant::Bool(raw));
    tag.timestamp = ts;
    tag.quality = quality;
    if (tag.HasEnabledAlarm()) tag.alarm->Evaluate(tag, services_.poster);
}

void EventScanThread::SetSubstituteValues(std::uint16_t quality, FileTime ts) {
    std::lock_guard lock(device_.Locks().tagData);
    for (OModbusTag* tag : device_.eventSignalScanList)
        StoreState(*tag, SubstituteRawValue(*tag), quality, ts);
}

int EventScanThread::ReadEventStatus(FileTime ts, bool afterFailure) {
    const TagList signals = EventSignals();
    if (device_.params.deviceType == kDeviceTypeTessera)
        return ReadStatusTessera(ts, afterFailure, signals);
    return ReadStatusBlocks(ts, afterFailure, signals);
}

int EventScanThread::ReadStatusTessera(FileTime ts, bool afterFailure, const TagList& signals) {
    auto request =
        BuildStatusRequest(services_.exchange.Framing(device_), device_.params.slaveAddress);
    const bool valid = request && Exchange(*request);
    if (!valid && afterFailure) return 0;
    int result = 1;
    std::lock_guard lock(device_.Locks().tagData);
    for (OModbusTag* tag : signals) {
        if (tag->address >= kStatusSignalCount) continue;
        if (valid) {
            StoreState(*tag, request->GetBit(tag->address) != 0, kQualityGood, ts);
        } else {
            StoreState(*tag, SubstituteRawValue(*tag), kQualityCommFailure, ts);
            result = 0;
        }
    }
    return result;
}

int EventScanThread::ReadStatusBlocks(FileTime ts, bool afterFailure, const TagList& signals) {
    int result = 1;
    std::size_t first = 0;
    while (first < signals.size() && DeviceRuns()) {
        const std::uint16_t start = signals[first]->address;
        std::size_t end = first + 1;
        while (end < signals.size() && signals[end]->address <= start + kMaxStatusBlockSpan &&
               signals[end]->address <= signals[end - 1]->address + 1)
            ++end;
        const std::uint16_t count =
            static_cast<std::uint16_t>(signals[end - 1]->address - start + 1);
        std::unique_ptr<OMessage> request;
        bool valid = false;
        do {
            request =
                BuildReadRequest(services_.exchange.Framing(device_), device_.params.slaveAddress,
                                 ReadArea::kEventSignal, start, count);
            valid = request && Exchange(*request);
        } while (!valid && afterFailure && request && DeviceRuns() && AcquisitionRuns());
        if (!valid && afterFailure) return 0;  // the device stopped meanwhile
        std::lock_guard lock(device_.Locks().tagData);
        for (std::size_t i = first; i < end; ++i) {
            OModbusTag& tag = *signals[i];
            if (valid) {
                StoreState(tag, request->GetBit(tag.address - start) != 0, kQualityGood, ts);
            } else {
                StoreState(tag, SubstituteRawValue(tag), kQualityCommFailure, ts);
                result = 0;
            }
        }
        first = end;
    }
    return result;
}

int EventScanThread::SyncTime(const LocalTime& local) {
    auto request = BuildTimeSyncRequest(services_.exchange.Framing(device_), local);
    return request && Exchange(*request) ? 1 : 0;
}

}  // namespace velk
