// The AE path on a private bus. AlarmRecordsToTenSubscriptions: alarm evaluations of a tag
// whose value crosses its limit back and forth, each record posted to the AE event thread,
// distributed to ten subscriptions of ten bus clients and received by their OnEvent sinks;
// items per second are alarm records (every one reaches all ten). ValueChangeToOnEvent: the
// real server with the controller simulator; one iteration is the time from a register
// written into the simulator to the OnEvent of the alarm it raises (event scan period 20 ms,
// buffer time 100 ms).
#include <benchmark/benchmark.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

#include "model/locks.h"
#include "opcae/ae_event_thread.h"
#include "opcae/bus/ae_bus_class.h"
#include "platform/dbus/bus_host.h"
#include "platform/text.h"
#include "tests/opcae/ae_test_support.h"
#include "tests/opcae/bus/bus_ae_client.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/plcsim_process.h"
#include "tests/support/server_store_text.h"

namespace {

using namespace velk;
using namespace velk::testing;
using namespace std::chrono_literals;

constexpr int kSubscriptions = 10;
constexpr int kRecordsPerIteration = 4000;

// A server object per client on a private bus over a small document, with the AE event
// thread in front of it as in the server.
struct ServedAe : AeFixture {
    PrivateBus bus;
    CountingModuleLock lock;
    BusHost host{lock};
    AeBusClass aeClass{kAeName, kAeFactory, [this] {
                           AeServerContext context = Context();
                           context.startDeliveryThreads = true;
                           return std::optional(context);
                       }};
    WorkerThread aeThread{"AeEvent"};
    AeEventPoster poster{aeThread};
    ODevice& plc = AddDevice("PLC1");
    OModbusTag& level = AddAnalogTag(AddGroup(plc, "G"), "Level");

    ServedAe() {
        std::string reason;
        if (!bus.Start() || !host.Connect(BusTarget::At(bus.Address()), reason) ||
            !host.AddClass(aeClass, reason) || !host.Start())
            std::abort();
        aeThread.Start([this](MessageQueue& queue) { return RunAeEventThread(queue, servers); },
                       ThreadPriority::AboveNormal);
    }
    ~ServedAe() {
        aeThread.PostQuit();
        aeThread.Join(5s);
        host.Stop();
    }
};

// A client as a real one decodes its events: typed, with a counter that the benchmark waits
// on. Its connection is served by a thread of its own.
class CountingClient {
  public:
    using Attribute = sdbus::Struct<std::uint16_t, sdbus::Variant>;
    using Event = sdbus::Struct<std::uint16_t, std::uint16_t, std::string, std::uint64_t,
                                std::string, std::uint32_t, std::uint32_t, std::uint32_t,
                                std::string, std::string, std::uint16_t, bool, std::uint64_t,
                                std::uint32_t, std::vector<Attribute>, std::string>;

    explicit CountingClient(const std::string& address) : calls_(address) {
        sink_ = sdbus::createObject(calls_.Connection(), "/Sink");
        sink_->registerMethod("OnEvent")
            .onInterface(kIOPCEventSink)
            .implementedAs([this](std::uint32_t, bool, bool, const std::vector<Event>& events) {
                std::lock_guard lock(mutex_);
                received_ += events.size();
                changed_.notify_all();
            });
        sink_->finishRegistration();
        calls_.Connection().enterEventLoopAsync();
        const std::string instance = calls_.CreateInstance(kAeName, kAeFactory);
        auto server = calls_.Proxy(kAeName, instance);
        std::int32_t result = 0;
        sdbus::ObjectPath path;
        std::uint32_t revisedTime = 0, revisedSize = 0;
        server->callMethod("CreateEventSubscription")
            .onInterface("VELK.OPC.IOPCEventServer")
            .withArguments(true, std::uint32_t{10}, std::uint32_t{1024}, std::uint32_t{1},
                           std::string())
            .storeResultsTo(result, path, revisedTime, revisedSize);
        std::uint32_t cookie = 0;
        calls_.Proxy(kAeName, path)
            ->callMethod("Advise")
            .onInterface("VELK.OPC.IConnectionPointContainer")
            .withArguments(std::string(kIOPCEventSink), sdbus::ObjectPath("/Sink"))
            .storeResultsTo(cookie);
    }
    ~CountingClient() { calls_.Connection().leaveEventLoop(); }

    // Waits until count events have come since the last call; false after the patience.
    bool Take(std::size_t count, std::chrono::seconds patience) {
        std::unique_lock lock(mutex_);
        if (!changed_.wait_for(lock, patience, [&] { return received_ >= count; })) return false;
        received_ -= count;
        return true;
    }

  private:
    BusTestClient calls_;
    std::unique_ptr<sdbus::IObject> sink_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t received_ = 0;
};

void BM_AlarmRecordsToTenSubscriptions(benchmark::State& state) {
    ServedAe served;
    std::vector<std::unique_ptr<CountingClient>> clients;
    for (int i = 0; i < kSubscriptions; ++i)
        clients.push_back(std::make_unique<CountingClient>(served.bus.Address()));
    bool high = false;
    for (auto _ : state) {
        for (int i = 0; i < kRecordsPerIteration; ++i) {
            // Every evaluation is a transition: activation above the HiHi limit, return to
            // normal below the limits, each posting one record.
            std::lock_guard lock(served.document.Locks().tagData);
            high = !high;
            served.level.value = Variant::Float(high ? 95.0f : 50.0f);
            served.level.alarm->Evaluate(served.level, served.poster);
        }
        for (auto& client : clients)
            if (!client->Take(kRecordsPerIteration, 60s)) {
                state.SkipWithError("events were lost");
                return;
            }
    }
    state.SetItemsProcessed(state.iterations() * kRecordsPerIteration);
    state.counters["deliveries_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kRecordsPerIteration * kSubscriptions,
        benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AlarmRecordsToTenSubscriptions)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(3.0);

// The real server with the simulator as its controller, on a private bus.
struct ServedProcess {
    TempDirectory dir;
    velk::test::PlcsimProcess sim;
    PrivateBus bus;
    ChildProcess server;

    ServedProcess() {
        std::string error;
        if (!sim.Start({"--tcp", "127.0.0.2:0", "--tcp", "127.0.0.3:0", "--holding", "0=500"},
                       error))
            std::abort();
        const std::string config = dir.File("plant.vlk");
        if (RunProgram("/usr/bin/python3",
                       {std::string(VELK_AE_BUS_TEST_DIR) + "/bus_ae_make_config.py", config, "20"},
                       {}, dir.File("config.out")) != 0)
            std::abort();
        ServerStoreText store;
        store.recentFile = config;
        store.tcpPorts = {{"127.0.0.2", sim.TcpPort(1)}, {"127.0.0.3", sim.TcpPort(2)}};
        if (!store.WriteTo(dir.File("settings.reg"))) std::abort();
        if (!bus.Start()) std::abort();
        if (!server.Start(VELKOPC_BINARY, {},
                          {"VELKOPC_SETTINGS=" + dir.File("settings.reg"),
                           "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
                           "VELKOPC_INSTANCE_NAME=velk-aebench-" + std::to_string(::getpid()),
                           "DBUS_SESSION_BUS_ADDRESS=" + bus.Address()},
                          dir.File("server.out")))
            std::abort();
    }
    ~ServedProcess() {
        server.Signal(SIGTERM);
        server.Wait(15s);
    }
};

void BM_ValueChangeToOnEvent(benchmark::State& state) {
    ServedProcess served;
    AeBusClient client(served.bus.Address());
    std::string instance;
    // The server needs a moment to take its name.
    for (int i = 0; i < 200 && instance.empty(); ++i) {
        instance = client.CreateInstance();
        if (instance.empty()) std::this_thread::sleep_for(50ms);
    }
    if (instance.empty()) {
        state.SkipWithError("no server");
        return;
    }
    auto created = client.Call(instance, "VELK.OPC.IOPCEventServer", "CreateEventSubscription",
                               {BusValue::Bool(true), BusValue::UInt32(100), BusValue::UInt32(100),
                                BusValue::UInt32(1), BusValue::String("")},
                               "iouu");
    client.ExportEventSink("/Sink");
    client.Call(*created.values[1].Text(), "VELK.OPC.IConnectionPointContainer", "Advise",
                {BusValue::String(kIOPCEventSink), BusValue::ObjectPath("/Sink")}, "u");
    std::this_thread::sleep_for(1s);  // the device threads start with the first client
    bool high = false;
    std::vector<double> delays;
    int round = 0;
    for (auto _ : state) {
        // Changes arrive at every phase of the delivery period, not just after a delivery.
        std::this_thread::sleep_for(std::chrono::milliseconds((++round * 37) % 100));
        const std::size_t before = client.Events().size();
        high = !high;
        const auto t0 = std::chrono::steady_clock::now();
        served.sim.Command(high ? "set holding 0 950" : "set holding 0 500");
        if (!client.WaitForEvents(before + 1, 10s)) {
            state.SkipWithError("no event");
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(seconds);
        delays.push_back(seconds * 1000.0);
    }
    std::sort(delays.begin(), delays.end());
    state.counters["median_ms"] = delays[delays.size() / 2];
    state.counters["max_ms"] = delays.back();
    state.counters["min_ms"] = delays.front();
}
BENCHMARK(BM_ValueChangeToOnEvent)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

}  // namespace

BENCHMARK_MAIN();
