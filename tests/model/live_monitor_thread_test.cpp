#include "model/live_monitor_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

#include "model/c_doc.h"
#include "model/document_services.h"
#include "tests/model/document_test_doubles.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using namespace velk::testing;

TEST(LiveMonitorThread, ReadsTheSelectedGroupAsAClientAndHoldsItsUseCount) {
    FakeClock clock;
    CountingClients clients;
    ScriptedUi ui;
    FakeAdmin admin;

    std::promise<void> sawTwoReads;
    std::atomic<int> reads{0};
    std::vector<std::string> firstReadOrder;
    int clientsDuringRead = 0;
    std::int32_t useCountDuringRead = 0;
    OTagGroup* shown = nullptr;

    LiveMonitorThread thread(clock, clients, [&](ODevice& device, TagList& tags) {
        if (reads == 0) {
            for (OModbusTag* t : tags) firstReadOrder.push_back(t->name);
            clientsDuringRead = clients.count;
            useCountDuringRead = device.useCount;
            shown = &device;
        }
        if (++reads == 2) sawTwoReads.set_value();
    });

    CDocServices services;
    services.ui = &ui;
    services.admin = &admin;
    services.clock = &clock;
    services.monitor = &thread;
    CDoc doc(services, ModelSettings{});
    doc.OnNewDocument();
    ui.deviceAnswers.push_back([](DeviceDialogValues& v) {
        v.params.tagScan = 250;
        return true;
    });
    ASSERT_TRUE(doc.AddDevice());
    for (auto [name, kind, address] :
         {std::tuple{"C", kHoldingRegister, 1}, std::tuple{"A", kOutputCoil, 9},
          std::tuple{"B", kHoldingRegister, 0}}) {
        ui.tagSheet = [=](OModbusTag& tag) {
            tag.name = name;
            tag.locationKind = kind;
            tag.address = static_cast<std::uint16_t>(address);
            return true;
        };
        ASSERT_TRUE(doc.AddTag());
    }

    doc.ToggleMonitor();
    ASSERT_TRUE(doc.IsMonitorRunning());
    ASSERT_EQ(sawTwoReads.get_future().wait_for(std::chrono::seconds(30)),
              std::future_status::ready);
    doc.ToggleMonitor();  // clears the flag and waits for the thread

    EXPECT_EQ(firstReadOrder, (std::vector<std::string>{"A", "B", "C"}));  // location order
    EXPECT_EQ(clientsDuringRead, 1);
    EXPECT_EQ(useCountDuringRead, 1);
    EXPECT_EQ(shown, doc.Devices().front());
    EXPECT_EQ(clients.count, 0);
    EXPECT_EQ(doc.Devices().front()->useCount, 0);
    // The first wait is 500 ms, then the device's tag scan period.
    EXPECT_GE(clock.SleptMs(), 500u + 250u);
}

}  // namespace
}  // namespace velk
