// The event scan of one device against an in-memory controller: buffer chunks by device
// type, record application with the controller's time, end and overrun marks, the event
// status read with its substitute values, the time synchronisation schedule and the alarm
// list read.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <memory>
#include <vector>

#include "modbus/comm_supervision.h"
#include "modbus/device_channels.h"
#include "modbus/device_threads.h"
#include "modbus/event_record.h"
#include "modbus/event_scan_thread.h"
#include "modbus/modbus_requests.h"
#include "modbus/time_sync_schedule.h"
#include "model/o_binary_alarm.h"
#include "model/o_binary_data.h"
#include "platform/message_queue.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

using testing::FakeClock;
using testing::FileTimeFromCivil;
using testing::ReadPdu;
using Pdu = std::vector<std::uint8_t>;

constexpr std::uint16_t kKestrelBase = 0x0C00;

class EventScanTest : public ::testing::Test {
  protected:
    EventScanTest() : clock_(FileTimeFromCivil(2026, 12, 9, 14, 5, 30)) {
        device().name = "Dev1";
        device().params.deviceType = kDeviceTypeKestrel;
        device().params.initiallyReadEventStatus = 0;
        EndBuffer(kKestrelBase, 0);
    }
    ODevice& device() { return tags_.device; }

    OModbusTag& Signal(std::uint16_t number) {
        OModbusTag& tag = tags_.Bit(kEventSignal, number);
        device().UpdateScanLists(&tag);
        return tag;
    }
    void WriteRecord(std::uint16_t base, std::size_t index, const EventRecord& record) {
        const auto words = EventRecordRegisters(record);
        for (std::size_t i = 0; i < 4; ++i)
            exchange_.image.holding[base + index * 4 + i] = words[i];
    }
    void EndBuffer(std::uint16_t base, std::size_t index, std::uint16_t mark = kEventEndMark) {
        WriteRecord(base, index, EventRecord{mark, false, 0, 0, 0, 0});
    }
    std::unique_ptr<EventScanThread> Scan() {
        EventScanServices services{
            exchange_, clock_,
            poster_,   [this](ODevice&, const TagList& list) {
                                       alarmReads_.push_back(list); },
            {},        [this] { return channelsGood_; },
            {}};
        return std::make_unique<EventScanThread>(device(), services, runs_, wake_);
    }
    std::vector<Pdu> RequestsOf(std::uint8_t function) const {
        std::vector<Pdu> out;
        for (const auto& pdu : exchange_.Requests())
            if (!pdu.empty() && pdu[0] == function) out.push_back(pdu);
        return out;
    }

    FakeClock clock_;
    testing::ScanFakeExchange exchange_;
    testing::RecordingPoster poster_;
    testing::TestTags tags_;
    std::atomic<bool> runs_{true};
    MessageQueue wake_;
    bool channelsGood_ = true;
    std::vector<TagList> alarmReads_;
};

TEST_F(EventScanTest, ChunksFollowTheDeviceType) {
    Signal(1);
    auto scan = Scan();
    scan->ReadEventBuffer();
    EXPECT_EQ(exchange_.Requests(), (std::vector<Pdu>{ReadPdu(3, kKestrelBase, 124),
                                                      ReadPdu(3, kKestrelBase + 124, 124)}));

    exchange_.ClearRequests();
    device().params.deviceType = kDeviceTypeTessera;
    device().params.eventArea = 1;
    Scan()->ReadEventBuffer();
    EXPECT_EQ(exchange_.Requests(),
              (std::vector<Pdu>{ReadPdu(3, 0x0EA0, 64), ReadPdu(3, 0x0EA0 + 64, 60)}));
}

TEST_F(EventScanTest, ChunksStayWithinTheDevicesRegistersPerRead) {
    Signal(1);
    device().params.maxReadRegisters = 90;
    Scan()->ReadEventBuffer();
    // Whole records of 4 registers: 88, 88 and the 72 left of the 248.
    EXPECT_EQ(exchange_.Requests(),
              (std::vector<Pdu>{ReadPdu(3, kKestrelBase, 88), ReadPdu(3, kKestrelBase + 88, 88),
                                ReadPdu(3, kKestrelBase + 176, 72)}));
}

TEST_F(EventScanTest, GeneralDeviceUsesTheEventStackSettings) {
    Signal(1);
    device().params.deviceType = kDeviceTypeGeneral;
    EventScanServices services{exchange_, clock_, poster_, {}, {}, {}, {0x1000, 0x2000, 31}};
    EventScanThread scan(device(), services, runs_, wake_);
    scan.ReadEventBuffer();
    // 124 registers: chunks of 64 and 60.
    EXPECT_EQ(exchange_.Requests(),
              (std::vector<Pdu>{ReadPdu(3, 0x1000, 64), ReadPdu(3, 0x1000 + 64, 60)}));
}

TEST_F(EventScanTest, RecordsCarryTheControllerTimeUpToTheEndMark) {
    OModbusTag& seven = Signal(7);
    OModbusTag& eight = Signal(8);
    OModbusTag& nine = Signal(9);
    WriteRecord(kKestrelBase, 0, {7, true, 14, 3, 7, 250});
    WriteRecord(kKestrelBase, 1, {8, true, 14, 4, 0, 5});
    EndBuffer(kKestrelBase, 2);
    WriteRecord(kKestrelBase, 3, {9, true, 14, 5, 0, 0});  // behind the end mark
    device().overrunState = kOverrunActive;
    Scan()->ReadEventBuffer();

    EXPECT_TRUE(seven.GetValue().AsBool());
    EXPECT_EQ(seven.quality, kQualityGood);
    EXPECT_EQ(seven.timestamp, FileTimeFromCivil(2026, 12, 9, 14, 3, 7, 250));
    EXPECT_EQ(eight.timestamp, FileTimeFromCivil(2026, 12, 9, 14, 4, 0, 5));
    EXPECT_EQ(nine.quality, kQualityUncertain);  // never applied
    EXPECT_EQ(device().overrunState, 0);
}

TEST_F(EventScanTest, RecordTimeUsesTheServerTimeZoneAndTheBinaryScaling) {
    FakeClock local(FileTimeFromCivil(2026, 12, 9, 13, 5, 30), 60);  // local = UTC + 1 h
    OModbusTag& tag = Signal(3);
    dynamic_cast<OBinaryData&>(*tag.scaling).conversion = OBinaryData::kInverted;
    WriteRecord(kKestrelBase, 0, {3, true, 14, 3, 7, 250});
    EventScanServices services{exchange_, local, poster_, {}, {}, {}, {}};
    EventScanThread(device(), services, runs_, wake_).ReadEventBuffer();
    EXPECT_EQ(tag.timestamp, FileTimeFromCivil(2026, 12, 9, 13, 3, 7, 250));
    EXPECT_FALSE(tag.GetValue().AsBool());
}

TEST_F(EventScanTest, RecordJustBeforeMidnightReadAfterItKeepsItsDay) {
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 10, 0, 0, 1));
    OModbusTag& tag = Signal(4);
    WriteRecord(kKestrelBase, 0, {4, true, 23, 59, 58, 0});
    Scan()->ReadEventBuffer();
    EXPECT_EQ(tag.timestamp, FileTimeFromCivil(2026, 12, 9, 23, 59, 58));

    // And one just after midnight read just before it (a controller clock ahead) is not
    // stamped a day back.
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 9, 23, 59, 59));
    WriteRecord(kKestrelBase, 0, {4, false, 0, 0, 2, 0});
    Scan()->ReadEventBuffer();
    EXPECT_EQ(tag.timestamp, FileTimeFromCivil(2026, 12, 10, 0, 0, 2));
}

TEST_F(EventScanTest, OverrunRaisesTheAlarmAndRereadsTheStatus) {
    OModbusTag& tag = Signal(5);
    ODeviceAlarm& overrun = *device().AlarmOfCode(kAlarmBufferOverrun);
    overrun.enableFlags = ODeviceAlarm::kOverrunFailureBit | kNormalEventBit;
    WriteRecord(kKestrelBase, 0, {5, true, 14, 0, 0, 0});
    EndBuffer(kKestrelBase, 1, kEventOverrunMark);
    exchange_.image.coils[kEventSignalCoilBase + 5] = 0;  // the state now

    auto scan = Scan();
    scan->ReadEventBuffer();
    // The first chunk's mark raises the alarm, the second chunk (records only) clears the
    // overrun state again; each change of the alarm reads the status of every signal.
    EXPECT_EQ(device().overrunState, 0);
    ASSERT_EQ(poster_.events.size(), 2u);
    EXPECT_EQ(poster_.events[0]->code, kAlarmBufferOverrun);
    EXPECT_EQ(poster_.events[0]->active, 1);
    EXPECT_EQ(poster_.events[1]->active, 0);
    EXPECT_EQ(exchange_.Requests(),
              (std::vector<Pdu>{
                  ReadPdu(3, kKestrelBase, 124), ReadPdu(1, kEventSignalCoilBase + 5, 1),
                  ReadPdu(3, kKestrelBase + 124, 124), ReadPdu(1, kEventSignalCoilBase + 5, 1)}));
    EXPECT_FALSE(tag.GetValue().AsBool());
    EXPECT_EQ(tag.timestamp, clock_.NowUtc());

    // With the alarm disabled an overrun changes no alarm state, but one status read makes
    // good the records it lost: the tag shows the signal's state now, not the old record's.
    overrun.enableFlags = 0;
    exchange_.ClearRequests();
    scan->ReadEventBuffer();
    EXPECT_EQ(RequestsOf(1).size(), 1u);
    EXPECT_FALSE(tag.GetValue().AsBool());
    EXPECT_EQ(poster_.events.size(), 2u);
}

TEST_F(EventScanTest, StatusBlocksAndSubstituteValues) {
    OModbusTag& a = Signal(1);
    Signal(2);
    OModbusTag& c = Signal(3);
    OModbusTag& far = Signal(10);
    auto& trip = dynamic_cast<OBinaryAlarm&>(*far.alarm);
    trip.enableFlags = OBinaryAlarm::kOnFalse;  // substitute: true
    exchange_.image.coils[kEventSignalCoilBase + 3] = 1;

    auto scan = Scan();
    EXPECT_EQ(scan->ReadEventStatus(123, false), 1);
    EXPECT_EQ(exchange_.Requests(), (std::vector<Pdu>{ReadPdu(1, kEventSignalCoilBase + 1, 3),
                                                      ReadPdu(1, kEventSignalCoilBase + 10, 1)}));
    EXPECT_TRUE(c.GetValue().AsBool());
    EXPECT_FALSE(a.GetValue().AsBool());
    EXPECT_EQ(c.timestamp, 123u);

    exchange_.ClearRequests();
    exchange_.FailRequestIndex(1);  // the second block of this read
    EXPECT_EQ(scan->ReadEventStatus(456, false), 0);
    EXPECT_TRUE(far.GetValue().AsBool());
    EXPECT_EQ(far.quality, kQualityCommFailure);
    EXPECT_EQ(c.quality, kQualityGood);
}

TEST_F(EventScanTest, TesseraReadsSixHundredFortyCoils) {
    device().params.deviceType = kDeviceTypeTessera;
    OModbusTag& low = Signal(600);
    OModbusTag& high = Signal(700);
    exchange_.image.coils[kEventSignalCoilBase + 600] = 1;
    EXPECT_EQ(Scan()->ReadEventStatus(77, false), 1);
    EXPECT_EQ(exchange_.Requests(), (std::vector<Pdu>{ReadPdu(1, kEventSignalCoilBase, 640)}));
    EXPECT_TRUE(low.GetValue().AsBool());
    EXPECT_EQ(high.quality, kQualityUncertain);  // beyond what the controller answers

    exchange_.FailNext(1);
    EXPECT_EQ(Scan()->ReadEventStatus(88, true), 0);  // after a failure nothing changes
    EXPECT_EQ(low.timestamp, 77u);
}

TEST_F(EventScanTest, PendingStatusBlocksTheBufferUntilItIsRead) {
    Signal(1);
    device().params.initiallyReadEventStatus = 1;
    device().params.readEventStatusAfterCommFailure = 1;
    exchange_.FailNext(1);
    auto scan = Scan();
    scan->Start();
    EXPECT_TRUE(scan->StatusReadPending());

    // Neither channel answers: the status read stays due, nothing else is read, and from
    // now on a failing block is read again at once.
    channelsGood_ = false;
    exchange_.ClearRequests();
    exchange_.FailNext(1);
    scan->Cycle();
    EXPECT_TRUE(scan->StatusReadPending());
    EXPECT_EQ(RequestsOf(1).size(), 1u);
    EXPECT_TRUE(RequestsOf(3).empty());

    channelsGood_ = true;
    exchange_.ClearRequests();
    exchange_.FailNext(2);
    scan->Cycle();
    EXPECT_EQ(RequestsOf(1).size(), 3u);  // two failures, then the answer
    EXPECT_FALSE(scan->StatusReadPending());
    EXPECT_EQ(RequestsOf(3).size(), 2u);  // and the buffer in the same cycle
}

TEST_F(EventScanTest, AlarmListIsReadEveryCycleWithoutEventSignals) {
    OModbusTag& level = tags_.Add(kHoldingRegister, 10);
    level.alarm->enableFlags = 1;
    device().UpdateScanLists(&level);
    auto scan = Scan();
    scan->Start();
    scan->Cycle();
    scan->Cycle();
    EXPECT_TRUE(RequestsOf(3).empty());  // no event buffer without event signals
    ASSERT_EQ(alarmReads_.size(), 2u);
    EXPECT_EQ(alarmReads_[0], TagList{&level});
}

TEST_F(EventScanTest, TimeSyncAtStartUpAndOnTheMinuteGrid) {
    device().params.timeSync = TimeSyncSchedule::kAtStartUpBit | 15;
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 9, 9, 59, 50));
    auto scan = Scan();
    scan->Start();
    ASSERT_EQ(RequestsOf(function_code::kTimeSync).size(), 1u);
    EXPECT_EQ(RequestsOf(function_code::kTimeSync)[0][5], 59);  // minute byte

    scan->Cycle();  // 09:59: no new minute
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 9, 10, 0, 1));
    scan->Cycle();
    scan->Cycle();  // the same minute again
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 9, 10, 7, 0));
    scan->Cycle();
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 9, 10, 15, 0));
    scan->Cycle();
    const auto syncs = RequestsOf(function_code::kTimeSync);
    ASSERT_EQ(syncs.size(), 3u);
    EXPECT_EQ(syncs[1][5], 0);
    EXPECT_EQ(syncs[1][6], 10);
    EXPECT_EQ(syncs[2][5], 15);
}

TEST(TimeSyncScheduleTest, IntervalZeroNeverSynchronises) {
    TimeSyncSchedule never(TimeSyncSchedule::kAtStartUpBit);
    EXPECT_TRUE(never.AtStartUp());
    LocalTime t;
    t.hour = 10;
    EXPECT_FALSE(never.Due(t));
    TimeSyncSchedule daily(1440);
    EXPECT_FALSE(daily.AtStartUp());
    t.hour = 0;
    EXPECT_TRUE(daily.Due(t));
    EXPECT_FALSE(daily.Due(t));
}

}  // namespace
}  // namespace velk
