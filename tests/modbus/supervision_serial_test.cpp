// The device threads of a serial device whose primary and secondary channels are two RTU
// lines (socat pseudo-terminal pairs) to the controller simulator: the standby probe on the
// serial line, the switch after the primary line is cut and the return after it is back,
// and the time synchronisation at start-up sent as a broadcast. Skipped without socat.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "modbus/acquisition_stack.h"
#include "modbus/active_channel.h"
#include "modbus/channel_settings.h"
#include "modbus/comm_supervision.h"
#include "modbus/device_acquisition.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/device_channels.h"
#include "modbus/device_channels_set.h"
#include "modbus/scan_engine.h"
#include "modbus/serial_channel_set.h"
#include "modbus/time_sync_schedule.h"
#include "model/b_event.h"
#include "model/c_doc.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_port.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/termios_serial_port.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/plcsim_process.h"

namespace velk {
namespace {

// The machine's clock with a wall time that the test moves ahead (the supervision's 5 s and
// 10 s rules), while pauses and time-outs on the lines stay real.
class ShiftedClock final : public IClock {
  public:
    FileTime NowUtc() const override { return system_.NowUtc() + shift_.load(); }
    LocalTime NowLocal() const override { return system_.ToLocal(NowUtc()); }
    std::uint32_t TickCount() const override { return system_.TickCount(); }
    LocalTime ToLocal(FileTime utc) const override { return system_.ToLocal(utc); }
    bool LocalToUtc(const LocalTime& local, FileTime& utc) const override {
        return system_.LocalToUtc(local, utc);
    }
    void Sleep(std::uint32_t milliseconds) override { system_.Sleep(milliseconds); }
    void Advance(std::uint32_t milliseconds) { shift_ += milliseconds * kFileTimeTicksPerMs; }

  private:
    SystemClock system_;
    std::atomic<FileTime> shift_{0};
};

class RecordingPosterLocked final : public IEventPoster {
  public:
    void PostEvent(std::unique_ptr<BEvent> event) override {
        std::lock_guard lock(lock_);
        events_.emplace_back(event->code, event->active);
    }
    bool Has(int code, int active) const {
        std::lock_guard lock(lock_);
        return std::find(events_.begin(), events_.end(), std::pair{code, active}) != events_.end();
    }

  private:
    mutable std::mutex lock_;
    std::vector<std::pair<int, int>> events_;
};

bool Eventually(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

class SupervisionSerialTest : public ::testing::Test {
  protected:
    SupervisionSerialTest()
        : serial_(lines_, &settings_, clock_, nullptr,
                  [this] { return acquisition_.AcquisitionRuns(); }),
          stack_(AcquisitionStackServices{clock_,
                                          poster_,
                                          &serial_,
                                          nullptr,
                                          nullptr,
                                          nullptr,
                                          {},
                                          [this] { return &document_; },
                                          {}}) {
        auto device = std::make_unique<ODevice>();
        device_ = device.get();
        document_.rootGroup.subgroupList.push_back(std::move(device));
        device_->name = "Plc1";
        for (OPort* port : {&primary_, &secondary_}) {
            port->baudRate = 19200;
            port->parity = 0;  // pseudo terminals of some kernels refuse parity
            port->dataBits = 8;
        }
        primary_.name = "COM1";
        secondary_.name = "COM2";
        auto& p = device_->params;
        p.primaryPortName = "COM1";
        p.secondaryPortName = "COM2";
        p.primaryPort = &primary_;
        p.secondaryPort = &secondary_;
        p.deviceType = 1;
        p.eventScan = 50;
        p.supervisorTime = 50;
        p.supervisorRetries = 2;
        p.timeout = 150;
        p.initiallyReadEventStatus = 0;
        device_->AlarmOfCode(kAlarmPort1)->enableFlags =
            ODeviceAlarm::kCommFailureBit | kNormalEventBit;
        auto tag = std::make_unique<OModbusTag>();
        tag->locationKind = kEventSignal;
        tag->address = 1;
        tag->device = device_;
        signal_ = std::move(tag);
        device_->UpdateScanLists(signal_.get());
    }
    ~SupervisionSerialTest() override {
        acquisition_.StopAllDevices();
        acquisition_.StopDevice(*device_);
        sim_.Stop();
        first_.Stop();
        second_.Stop();
    }

    // The two lines and the simulator on them; false without socat.
    bool StartLines() {
        if (!test::HaveProgram("socat")) return false;
        const std::string dir = sim_.Directory();
        EXPECT_TRUE(first_.Start(dir + "/plc1", dir + "/master1"));
        EXPECT_TRUE(second_.Start(dir + "/plc2", dir + "/master2"));
        EXPECT_TRUE(settings_.CreateKey(kSerialPortsKey));
        EXPECT_TRUE(
            settings_.WriteValue(kSerialPortsKey, "COM1", RegValue::String(dir + "/master1")));
        EXPECT_TRUE(
            settings_.WriteValue(kSerialPortsKey, "COM2", RegValue::String(dir + "/master2")));
        std::string error;
        EXPECT_TRUE(sim_.Start({"--rtu", dir + "/plc1", "--rtu", dir + "/plc2", "--baud", "19200",
                                "--parity", "none", "--unit", "1"},
                               error))
            << error;
        return true;
    }
    long Count(const std::string& key) { return std::max(0L, sim_.ReportValue(key)); }

    ShiftedClock clock_;
    TermiosSerialPortFactory lines_;
    testing::MemorySettingsStore settings_;
    test::PlcsimProcess sim_;
    test::PtyPair first_;
    test::PtyPair second_;
    RecordingPosterLocked poster_;
    CDoc document_{CDocServices{}, ModelSettings{}};
    SerialChannelSet serial_;
    AcquisitionStack stack_;
    CommSupervision& supervision_ = stack_.Supervision();
    DeviceChannelsSet& channelsSet_ = stack_.Channels();
    ScanEngine& scan_ = stack_.Scan();
    DeviceAcquisition& acquisition_ = stack_.Acquisition();
    OPort primary_;
    OPort secondary_;
    ODevice* device_ = nullptr;
    std::unique_ptr<OModbusTag> signal_;
};

TEST_F(SupervisionSerialTest, ProbeOnTheSecondaryLineSwitchAndReturn) {
    if (!StartLines()) GTEST_SKIP() << "socat is not installed";
    acquisition_.StartAllDevices();
    DeviceChannels& channels = channelsSet_.ChannelsOf(*device_);
    // Scan requests on line 1, diagnostic probes on line 2.
    ASSERT_TRUE(Eventually([&] { return Count("requests.ch1") > 2 && Count("requests.ch2") > 2; }));
    ASSERT_TRUE(Eventually([&] { return channels.ActiveOk() && channels.StandbyOk(); }));
    clock_.Advance(11000);

    sim_.Command("cut 1");
    ASSERT_TRUE(Eventually([&] { return ActiveChannelOf(*device_) == 1; }));
    EXPECT_TRUE(poster_.Has(kAlarmPort1, 1));
    const long scanOnTwo = Count("requests.fc3");
    ASSERT_TRUE(Eventually([&] { return Count("requests.fc3") > scanOnTwo + 2; }));

    sim_.Command("restore 1");
    clock_.Advance(11000);
    ASSERT_TRUE(Eventually([&] { return ActiveChannelOf(*device_) == 0; }));
    EXPECT_TRUE(poster_.Has(kAlarmPort1, 0));
}

TEST_F(SupervisionSerialTest, TimeSyncIsABroadcastAtStartUp) {
    if (!StartLines()) GTEST_SKIP() << "socat is not installed";
    device_->params.timeSync = TimeSyncSchedule::kAtStartUpBit;
    acquisition_.StartAllDevices();
    ASSERT_TRUE(Eventually([&] { return Count("timesync.count") == 1; }));
    EXPECT_EQ(sim_.ReportValue("timesync.channel"), 1);
    // Not answered on the line, and the scan goes on after it.
    const long reads = Count("requests.fc3");
    EXPECT_TRUE(Eventually([&] { return Count("requests.fc3") > reads + 2; }));
    EXPECT_EQ(Count("timesync.count"), 1);
}

}  // namespace
}  // namespace velk
