// The bus host on a private bus: the round trip of one method call of a client's instance
// (through the client's worker), the creation and release of an instance, and one sink
// callback answered by the client.
#include <benchmark/benchmark.h>
#include <sdbus-c++/sdbus-c++.h>

#include <atomic>
#include <cstdlib>

#include "platform/dbus/bus_host.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/platform/dbus/test_counter_class.h"

namespace {

using namespace velk;
using namespace velk::testing;

constexpr const char* kName = "VELK.BenchServer";
constexpr const char* kFactory = "/VELK/BenchServer";

struct Served {
    PrivateBus bus;
    CountingModuleLock lock;
    BusHost host{lock};
    TestCounterClass counter{kName, kFactory};

    Served() {
        std::string reason;
        if (!bus.Start() || !host.Connect(BusTarget::At(bus.Address()), reason) ||
            !host.AddClass(counter, reason) || !host.Start()) {
            std::abort();
        }
    }
};

void BM_MethodRoundTrip(benchmark::State& state) {
    Served served;
    BusTestClient client(served.bus.Address());
    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    std::int32_t total = 0;
    for (auto _ : state) {
        instance->callMethod("Add")
            .onInterface(kCounterInterface)
            .withArguments(1)
            .storeResultsTo(total);
    }
    benchmark::DoNotOptimize(total);
}
BENCHMARK(BM_MethodRoundTrip);

void BM_CreateAndRelease(benchmark::State& state) {
    Served served;
    BusTestClient client(served.bus.Address());
    for (auto _ : state) {
        const std::string path = client.CreateInstance(kName, kFactory);
        client.Proxy(kName, path)->callMethod("Release").onInterface("VELK.Object");
    }
}
BENCHMARK(BM_CreateAndRelease);

void BM_SinkCallback(benchmark::State& state) {
    Served served;
    BusTestClient client(served.bus.Address());
    std::atomic<int> received{0};
    auto sink = sdbus::createObject(client.Connection(), "/Sink");
    sink->registerMethod("OnNotify").onInterface(kSinkInterface).implementedAs([&](std::int32_t) {
        ++received;
    });
    sink->finishRegistration();
    client.Connection().enterEventLoopAsync();
    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    instance->callMethod("Advise")
        .onInterface(kCounterInterface)
        .withArguments(sdbus::ObjectPath("/Sink"));
    std::size_t expected = 0;
    for (auto _ : state) {
        instance->callMethod("Notify")
            .onInterface(kCounterInterface)
            .withArguments(std::uint32_t{5000});
        served.counter.Record()->WaitForCompletions(++expected, std::chrono::seconds(10));
    }
    client.Connection().leaveEventLoop();
}
BENCHMARK(BM_SinkCallback);

}  // namespace

BENCHMARK_MAIN();
