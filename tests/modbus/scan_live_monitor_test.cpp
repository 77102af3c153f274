// The live monitor thread driving the real scan engine: it reads the selected group's tags
// through the engine at the device's tag scan period, counts as a client and holds the
// group's use count.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "modbus/scan_engine.h"
#include "model/c_doc.h"
#include "model/document_services.h"
#include "model/live_monitor_thread.h"
#include "model/locks.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/model/document_test_doubles.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using namespace velk::testing;
using Pdus = std::vector<std::vector<std::uint8_t>>;

class ScanLiveMonitor : public ::testing::Test {
  protected:
    CDocServices Services() {
        CDocServices s;
        s.ui = &ui;
        s.admin = &admin;
        s.clock = &clock;
        s.monitor = &monitor;
        return s;
    }

    // Adds a tag to the current node through the document's own command.
    void AddTag(const char* name, std::int32_t kind, std::uint16_t address, std::uint16_t type) {
        ui.tagSheet = [=](OModbusTag& tag) {
            tag.name = name;
            tag.locationKind = kind;
            tag.address = address;
            tag.SetDataType(type);
            tag.size = 1;
            return true;
        };
        ASSERT_TRUE(doc.AddTag());
    }

    // Waits (bounded) until the engine has sent at least count requests.
    void AwaitRequests(std::size_t count) {
        for (int n = 0; n < 3000 && exchange.RequestCount() < count; ++n)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_GE(exchange.RequestCount(), count);
    }

    FakeClock clock;
    CountingClients clients;
    ScriptedUi ui;
    FakeAdmin admin;
    ScanFakeExchange exchange;
    RecordingPoster poster;
    ScanEngine engine{exchange, poster, clock};
    LiveMonitorThread monitor{clock, clients, engine.ReadTagsCallback()};
    CDoc doc{Services(), ModelSettings{}};
};

TEST_F(ScanLiveMonitor, ReadsTheSelectedGroupThroughTheEngine) {
    doc.OnNewDocument();
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        v.params.tagScan = 250;
        v.params.slaveAddress = 9;
        return true;
    });
    ASSERT_TRUE(doc.AddDevice());
    AddTag("Level", kHoldingRegister, 1, VT_I2);
    AddTag("Pump", kOutputCoil, 9, VT_BOOL);
    AddTag("Flow", kHoldingRegister, 0, VT_UI2);
    exchange.image.holding[0] = 400;
    exchange.image.holding[1] = 0xFFFF;
    exchange.image.coils[9] = 0xFFFF;

    std::atomic<int> useCountDuringRead{-1};
    std::atomic<int> clientsDuringRead{-1};
    std::atomic<int> slaveDuringRead{-1};
    exchange.beforeAnswer = [&](ODevice& device, const OMessage& request) {
        useCountDuringRead = device.useCount;
        clientsDuringRead = clients.count.load();
        slaveDuringRead = request.GetSlave();
    };

    doc.ToggleMonitor();
    ASSERT_TRUE(doc.IsMonitorRunning());
    AwaitRequests(4);
    doc.ToggleMonitor();  // clears the flag and waits for the thread

    const Pdus requests = exchange.Requests();
    ASSERT_GE(requests.size(), 4u);
    for (std::size_t n = 0; n + 1 < requests.size(); n += 2) {
        EXPECT_EQ(requests[n], ReadPdu(1, 9, 1));  // location order: coils first
        EXPECT_EQ(requests[n + 1], ReadPdu(3, 0, 2));
    }
    ODevice* device = doc.Devices().front();
    std::lock_guard<std::recursive_mutex> lock(doc.Locks().tagData);
    EXPECT_EQ(device->FindOwnTag("Level")->value, Variant::Int16(-1));
    EXPECT_EQ(device->FindOwnTag("Flow")->value, Variant::UInt16(400));
    EXPECT_EQ(device->FindOwnTag("Pump")->value, Variant::Bool(true));
    for (const auto& tag : device->tagList) {
        EXPECT_EQ(tag->quality, kQualityGood);
        EXPECT_EQ(tag->timestamp, ScanFakeExchange::kAnswerTime);
    }
    EXPECT_EQ(useCountDuringRead, 1);
    EXPECT_EQ(clientsDuringRead, 1);
    EXPECT_EQ(slaveDuringRead, 9);
    EXPECT_EQ(device->useCount, 0);
    EXPECT_EQ(clients.count, 0);
    EXPECT_GE(clock.SleptMs(), 500u + 250u);  // first wait, then the tag scan period
}

TEST_F(ScanLiveMonitor, AFailingControllerLeavesBadQualityAndTheMonitorGoesOn) {
    doc.OnNewDocument();
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        v.params.tagScan = 100;
        return true;
    });
    ASSERT_TRUE(doc.AddDevice());
    AddTag("Level", kHoldingRegister, 3, VT_I2);
    exchange.FailNext(1000000);

    doc.ToggleMonitor();
    AwaitRequests(3);
    doc.ToggleMonitor();

    ODevice* device = doc.Devices().front();
    std::lock_guard<std::recursive_mutex> lock(doc.Locks().tagData);
    EXPECT_EQ(device->FindOwnTag("Level")->quality, kQualityCommFailure);
    EXPECT_TRUE(device->FindOwnTag("Level")->value.IsEmpty());
    EXPECT_EQ(clients.count, 0);
}

}  // namespace
}  // namespace velk
