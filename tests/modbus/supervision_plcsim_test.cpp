// The device threads against the controller simulator with two TCP channels on loopback
// (127.0.0.1 primary, 127.0.0.2 secondary) and short periods: event records with the
// controller's time stamps, overrun with its alarm and status read, the midnight case, the
// time synchronisation at start-up and on the minute grid, channel failure, switch and
// return with the communication alarms, both channels failing, the quiet time after a
// switch, and a device whose two addresses are equal. The supervision's 5 s and 10 s rules
// run on a fake clock that the tests step; waits are for conditions, never for durations.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "modbus/acquisition_stack.h"
#include "modbus/active_channel.h"
#include "modbus/channel_settings.h"
#include "modbus/comm_supervision.h"
#include "modbus/device_acquisition.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/device_channels.h"
#include "modbus/device_channels_set.h"
#include "modbus/scan_engine.h"
#include "modbus/time_sync_schedule.h"
#include "model/b_event.h"
#include "model/c_doc.h"
#include "model/locks.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "tests/modbus/route_trace_capture.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_route_table.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/plcsim_process.h"

namespace velk {
namespace {

using testing::FileTimeFromCivil;

// Keeps the records that the device threads post, under a lock of its own.
class LockedPoster final : public IEventPoster {
  public:
    void PostEvent(std::unique_ptr<BEvent> event) override {
        std::lock_guard lock(lock_);
        events_.emplace_back(event->code, event->active);
    }
    bool Has(int code, int active) const {
        std::lock_guard lock(lock_);
        return std::find(events_.begin(), events_.end(), std::pair{code, active}) != events_.end();
    }
    std::vector<std::pair<int, int>> Events() const {
        std::lock_guard lock(lock_);
        return events_;
    }

  private:
    mutable std::mutex lock_;
    std::vector<std::pair<int, int>> events_;
};

// Waits until the condition holds; false after a generous limit (a hung feature, not a
// slow machine).
bool Eventually(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

class SupervisionPlcsimTest : public ::testing::Test {
  protected:
    SupervisionPlcsimTest()
        : sockets_(1000, 400),
          stack_(AcquisitionStackServices{clock_,
                                          poster_,
                                          nullptr,
                                          &sockets_,
                                          &routes_,
                                          &settings_,
                                          [this] { ++reloads_; },
                                          [this] { return &document_; },
                                          {}}) {
        auto device = std::make_unique<ODevice>();
        device_ = device.get();
        document_.AdoptDevice(*device);
        document_.rootGroup.subgroupList.push_back(std::move(device));
        device_->name = "Plc1";
        auto& p = device_->params;
        p.modbusTcp = 1;
        p.primaryIpAddress = "127.0.0.1";
        p.secondaryIpAddress = "127.0.0.2";
        p.deviceType = 1;
        p.eventScan = 30;
        p.supervisorTime = 30;
        p.supervisorRetries = 2;
        p.timeout = 300;
        p.initiallyReadEventStatus = 0;
        for (std::uint16_t code = 1; code <= 4; ++code) {
            device_->AlarmOfCode(code)->enableFlags =
                (code == 4 ? ODeviceAlarm::kOverrunFailureBit : ODeviceAlarm::kCommFailureBit) |
                kNormalEventBit;
        }
    }
    ~SupervisionPlcsimTest() override {
        acquisition_.StopAllDevices();
        acquisition_.StopDevice(*device_);
    }

    void StartSimulator(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--tcp", "127.0.0.1:0", "--tcp", "127.0.0.2:0"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        ASSERT_TRUE(sim_.Start(args, error)) << error;
        UsePort("127.0.0.1", sim_.TcpPort(1));
        UsePort("127.0.0.2", sim_.TcpPort(2));
    }
    void UsePort(const std::string& address, int port) {
        ASSERT_TRUE(settings_.CreateKey(kTcpPortsKey));
        ASSERT_TRUE(settings_.WriteValue(kTcpPortsKey, address,
                                         RegValue::Dword(static_cast<std::uint32_t>(port))));
    }
    OModbusTag& Signal(std::uint16_t number) {
        auto tag = std::make_unique<OModbusTag>();
        tag->locationKind = kEventSignal;
        tag->address = number;
        tag->device = device_;
        tags_.push_back(std::move(tag));
        device_->UpdateScanLists(tags_.back().get());
        return *tags_.back();
    }
    // A count of the simulator's report; counts that are still 0 are not listed.
    long Count(const std::string& key) { return std::max(0L, sim_.ReportValue(key)); }
    DeviceChannels& Channels() { return channelsSet_.ChannelsOf(*device_); }
    // The device threads have ended and no exchange is on the wire.
    bool WaitIdle() {
        return acquisition_.WaitIdle(std::chrono::steady_clock::now() + std::chrono::seconds(20));
    }
    // Waits for n more requests of a function code at the simulator (cycles that ran).
    bool MoreRequests(const std::string& key, long n) {
        const long start = Count(key);
        return Eventually([&] { return Count(key) >= start + n; });
    }
    // Both connections were made and answered: the supervision may switch.
    bool BothChannelsGood() {
        return Eventually([&] { return Channels().ActiveOk() && Channels().StandbyOk(); });
    }
    int TraceLines(const std::string& part) const { return trace_.CountContaining(part); }
    FileTime TagTime(const OModbusTag& tag) {
        std::lock_guard lock(device_->Locks().tagData);
        return tag.timestamp;
    }
    // The status bits change under TagDataLock while the device's threads run.
    std::uint16_t StatusBits() {
        std::lock_guard lock(device_->Locks().tagData);
        return device_->statusBits;
    }

    testing::RouteTraceCapture trace_;
    test::PlcsimProcess sim_;
    testing::FakeClock clock_;
    testing::MemorySettingsStore settings_;
    testing::FakeRouteTable routes_;
    PosixTcpSockets sockets_;
    LockedPoster poster_;
    std::atomic<int> reloads_{0};
    CDoc document_{CDocServices{}, ModelSettings{}};
    AcquisitionStack stack_;
    CommSupervision& supervision_ = stack_.Supervision();
    DeviceChannelsSet& channelsSet_ = stack_.Channels();
    ScanEngine& scan_ = stack_.Scan();
    DeviceAcquisition& acquisition_ = stack_.Acquisition();
    ODevice* device_ = nullptr;
    std::vector<std::unique_ptr<OModbusTag>> tags_;
};

TEST_F(SupervisionPlcsimTest, EventRecordsCarryTheControllerTimeAndOverrunRereadsTheStatus) {
    StartSimulator();
    OModbusTag& seven = Signal(7);
    OModbusTag& eight = Signal(8);
    sim_.Command("event 7 1 at=14:03:07.250 area=1");
    acquisition_.StartAllDevices();
    const FileTime expected = FileTimeFromCivil(2015, 3, 7, 14, 3, 7, 250);
    ASSERT_TRUE(Eventually([&] { return TagTime(seven) == expected; }));
    {
        std::lock_guard lock(device_->Locks().tagData);
        EXPECT_TRUE(seven.GetValue().AsBool());
        EXPECT_EQ(seven.quality, kQualityGood);
        EXPECT_EQ(eight.quality, kQualityUncertain);  // no record, no status read configured
    }
    EXPECT_EQ(Count("requests.fc1"), 0);
    // Good exchanges on the active channel restart the communication watch once the
    // device's first 5 s are over.
    EXPECT_EQ(reloads_.load(), 0);
    clock_.Advance(CommSupervision::kSettleMs);
    EXPECT_TRUE(Eventually([&] { return reloads_.load() > 0; }));

    // An overrun: the alarm activates and the state of every signal is read again.
    sim_.Command("signal 8 1");
    sim_.Command("overrun area=1");
    ASSERT_TRUE(Eventually([&] { return poster_.Has(kAlarmBufferOverrun, 1); }));
    ASSERT_TRUE(Eventually([&] { return Count("requests.fc1") >= 1; }));
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard lock(device_->Locks().tagData);
        return eight.quality == kQualityGood && eight.GetValue().AsBool();
    }));
    // The second chunk, behind the mark, holds no mark and clears the overrun state.
    ASSERT_TRUE(Eventually([&] { return poster_.Has(kAlarmBufferOverrun, 0); }));
    sim_.Command("clear-events area=1");
    ASSERT_TRUE(MoreRequests("requests.fc3", 4));
    std::lock_guard lock(device_->Locks().tagData);
    EXPECT_EQ(device_->overrunState, 0);
}

TEST_F(SupervisionPlcsimTest, RecordBeforeMidnightReadAfterItKeepsItsDay) {
    StartSimulator();
    OModbusTag& tag = Signal(3);
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 10, 0, 0, 1));
    sim_.Command("event 3 1 at=23:59:58.500 area=1");
    acquisition_.StartAllDevices();
    const FileTime expected = FileTimeFromCivil(2026, 12, 9, 23, 59, 58, 500);
    EXPECT_TRUE(Eventually([&] { return TagTime(tag) == expected; }));
}

TEST_F(SupervisionPlcsimTest, TimeIsSetAtStartUpAndOnTheMinuteGrid) {
    StartSimulator();
    Signal(1);
    device_->params.timeSync = TimeSyncSchedule::kAtStartUpBit | 2;
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 9, 10, 1, 30));
    acquisition_.StartAllDevices();
    ASSERT_TRUE(Eventually([&] { return sim_.ReportValue("timesync.count") == 1; }));
    EXPECT_EQ(sim_.ReportText("timesync.last").substr(0, 19), "2026-12-09 10:01:30");
    EXPECT_EQ(sim_.ReportValue("timesync.channel"), 1);

    // 10:02 is on the two-minute grid: one synchronisation however many cycles it lasts.
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 9, 10, 2, 0));
    ASSERT_TRUE(Eventually([&] { return sim_.ReportValue("timesync.count") == 2; }));
    EXPECT_EQ(sim_.ReportText("timesync.last").substr(0, 19), "2026-12-09 10:02:00");
    ASSERT_TRUE(MoreRequests("requests.fc3", 6));
    // 10:03 is not on it.
    clock_.SetUtc(FileTimeFromCivil(2026, 12, 9, 10, 3, 0));
    ASSERT_TRUE(MoreRequests("requests.fc3", 6));
    EXPECT_EQ(sim_.ReportValue("timesync.count"), 2);
}

TEST_F(SupervisionPlcsimTest, PrimaryFailureSwitchesToTheSecondaryAndBack) {
    StartSimulator();
    Signal(1);
    acquisition_.StartAllDevices();
    ASSERT_TRUE(BothChannelsGood());
    clock_.Advance(CommSupervision::kSwitchSpacingMs);  // the device's start is 10 s ago

    sim_.Command("cut 1");
    ASSERT_TRUE(Eventually([&] { return ActiveChannelOf(*device_) == 1; }));
    EXPECT_TRUE(poster_.Has(kAlarmPort1, 1));
    EXPECT_FALSE(poster_.Has(kAlarmCommunication, 1));
    // The scan goes on over the secondary.
    ASSERT_TRUE(MoreRequests("requests.ch2", 4));

    // The primary answers its probes again: once the switch is 10 s ago the device returns.
    sim_.Command("restore 1");
    clock_.Advance(CommSupervision::kSwitchSpacingMs);
    ASSERT_TRUE(Eventually([&] { return ActiveChannelOf(*device_) == 0; }));
    EXPECT_TRUE(poster_.Has(kAlarmPort1, 0));
    EXPECT_EQ(StatusBits(), 0);
    ASSERT_TRUE(MoreRequests("requests.ch1", 4));

    acquisition_.StopAllDevices();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(TraceLines("ODevice::ChangePort: Dev=Plc1 the port was changed to Secondary ch.!"),
              1);
    EXPECT_EQ(TraceLines("ODevice::ChangePort: Dev=Plc1 the port was changed to Primary ch.!"), 1);
    EXPECT_GE(TraceLines("ODevice::CheckComm: Dev=Plc1; Active ch. - Failure;"), 2);
    EXPECT_EQ(TraceLines("ODevice::EventScanThread: Dev=Plc1 started"), 1);
    EXPECT_EQ(TraceLines("ODevice::EventScanThread: Dev=Plc1 finished"), 1);
    EXPECT_EQ(TraceLines("ODevice::DiagnosticThread: Dev=Plc1 started"), 1);
    EXPECT_EQ(TraceLines("ODevice::DiagnosticThread: Dev=Plc1 finished"), 1);
}

TEST_F(SupervisionPlcsimTest, ResultsJustAfterASwitchAreIgnored) {
    StartSimulator();
    Signal(1);
    acquisition_.StartAllDevices();
    ASSERT_TRUE(BothChannelsGood());
    clock_.Advance(CommSupervision::kSwitchSpacingMs);
    sim_.Command("cut 1");
    ASSERT_TRUE(Eventually([&] { return ActiveChannelOf(*device_) == 1; }));

    // The clock stands still after the switch: failures of the new active channel count
    // on its counters but not in the supervision.
    sim_.Command("cut 2");
    const std::uint32_t errors = Channels().Counts(1).commErrors;
    ASSERT_TRUE(Eventually([&] { return Channels().Counts(1).commErrors >= errors + 4; }));
    EXPECT_EQ(StatusBits() & kSecondaryChannelFailed, 0);
    EXPECT_FALSE(poster_.Has(kAlarmPort2, 1));
}

TEST_F(SupervisionPlcsimTest, BothChannelsFailingRaiseTheCommunicationAlarm) {
    StartSimulator();
    Signal(1);
    acquisition_.StartAllDevices();
    ASSERT_TRUE(BothChannelsGood());
    clock_.Advance(CommSupervision::kSettleMs);  // results count; no switch yet

    sim_.Command("cut 1");
    sim_.Command("cut 2");
    ASSERT_TRUE(Eventually([&] { return poster_.Has(kAlarmCommunication, 1); }));
    EXPECT_TRUE(poster_.Has(kAlarmPort1, 1));
    EXPECT_TRUE(poster_.Has(kAlarmPort2, 1));
    EXPECT_EQ(ActiveChannelOf(*device_), 0);

    sim_.Command("restore 1");
    sim_.Command("restore 2");
    ASSERT_TRUE(Eventually([&] { return poster_.Has(kAlarmCommunication, 0); }));
    ASSERT_TRUE(Eventually([&] { return StatusBits() == 0; }));
    EXPECT_TRUE(poster_.Has(kAlarmPort1, 0));
    EXPECT_TRUE(poster_.Has(kAlarmPort2, 0));
}

TEST_F(SupervisionPlcsimTest, EqualAddressesRunWithoutStandbyProbe) {
    StartSimulator();
    Signal(1);
    device_->params.secondaryIpAddress = "127.0.0.1";
    acquisition_.StartAllDevices();
    ASSERT_TRUE(MoreRequests("requests.fc3", 6));
    acquisition_.StopAllDevices();
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Count("requests.ch2"), 0);
    EXPECT_EQ(Count("requests.fc8"), 0);
    EXPECT_EQ(TraceLines("ODevice::DiagnosticThread: Dev=Plc1 will not be started (the primary "
                         "and the secondary channels are the same!)"),
              1);
    EXPECT_EQ(TraceLines("ODevice::DiagnosticThread: Dev=Plc1 started"), 0);
    EXPECT_EQ(ActiveChannelOf(*device_), 0);
}

TEST_F(SupervisionPlcsimTest, StartsOnceOnThePrimaryAndStartsAgainAfterAStop) {
    StartSimulator();
    Signal(1);
    device_->activeChannel = 1;  // as stored in a configuration file
    acquisition_.StartAllDevices();
    acquisition_.StartAllDevices();
    EXPECT_EQ(ActiveChannelOf(*device_), 0);
    EXPECT_TRUE(acquisition_.DeviceRuns(*device_));
    ASSERT_TRUE(MoreRequests("requests.ch1", 3));
    EXPECT_GT(Count("requests.fc3"), 0);

    acquisition_.StopAllDevices();
    EXPECT_FALSE(acquisition_.DeviceRuns(*device_));
    // The stop does not wait for the threads; they end with the exchange in hand.
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(Channels().ActiveConnected());
    EXPECT_FALSE(Channels().StandbyConnected());
    acquisition_.StartAllDevices();
    ASSERT_TRUE(MoreRequests("requests.ch1", 3));
    // Before a device is destroyed its threads stop and its state is forgotten.
    acquisition_.StopDevice(*device_);
    EXPECT_FALSE(acquisition_.DeviceRuns(*device_));
    EXPECT_EQ(TraceLines("ODevice::EventScanThread: Dev=Plc1 started"), 2);
    EXPECT_EQ(TraceLines("ODevice::EventScanThread: Dev=Plc1 finished"), 2);
    EXPECT_EQ(TraceLines("ODevice::DiagnosticThread: Dev=Plc1 finished"), 2);
}

}  // namespace
}  // namespace velk
