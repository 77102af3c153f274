// Item values delivered to one DA client over the bus by the real server program: 10 (and
// 20) groups of 1000 items at 100 ms on devices in simulation mode, ChangelessUpdate on, so that
// every cycle sends every item. Reports the values per second that reached the client's callback
// object and the server process's CPU use in cores (from /proc), with the bench process
// itself as the client on a private bus.
#include <benchmark/benchmark.h>
#include <sdbus-c++/sdbus-c++.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_server_figures.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"
#include "tests/support/server_store_text.h"

namespace {

using namespace velk::testing;
using namespace std::chrono_literals;

constexpr const char* kName = "VELK.ModbusOPCServer";
constexpr const char* kFactory = "/VELK/ModbusOPCServer";
constexpr int kItems = 1000;
constexpr std::uint32_t kRate = 100;

using ItemDef = sdbus::Struct<std::string, std::string, bool, std::uint32_t, std::uint16_t>;
using ItemResult = sdbus::Struct<std::uint32_t, std::uint16_t, std::uint32_t>;

void BM_DataChangesToOneClient(benchmark::State& state) {
    const int groupCount = static_cast<int>(state.range(0));
    TempDirectory dir;
    const std::string config = dir.File("bench.vlk");
    if (RunProgram("/usr/bin/python3",
                   {std::string(VELK_DA_BUS_TEST_DIR) + "/make_da_config.py", "bench", config,
                    std::to_string(groupCount)},
                   {}, dir.File("config.out")) != 0) {
        state.SkipWithError("configuration not written");
        return;
    }
    ServerStoreText store;
    store.changelessUpdate = true;
    store.traceFile = dir.File("trace.txt");
    store.recentFile = config;
    if (!store.WriteTo(dir.File("settings.reg"))) std::abort();
    PrivateBus bus;
    if (!bus.Start()) {
        state.SkipWithError("no private bus");
        return;
    }
    ChildProcess server;
    server.Start(VELKOPC_BINARY, {},
                 {"VELKOPC_SETTINGS=" + dir.File("settings.reg"),
                  "VELKOPC_USER_SETTINGS=" + dir.File("user.reg"),
                  "VELKOPC_INSTANCE_NAME=velk-da-bench-" + std::to_string(::getpid()),
                  "DBUS_SESSION_BUS_ADDRESS=" + bus.Address()},
                 dir.File("server.out"));

    BusTestClient client(bus.Address());
    const std::uint32_t pid = velk::bench::WaitForBusOwner(client, kName, 30s);
    const bool up = pid != 0;
    if (!up) {
        state.SkipWithError("server did not come up");
        return;
    }

    std::atomic<std::uint64_t> values{0};
    std::atomic<std::uint64_t> notifications{0};
    auto sink = sdbus::createObject(client.Connection(), "/Bench/Callback");
    const std::string cb = "VELK.OPC.IOPCDataCallback";
    // Only the client handles are read; the values are skipped as a client would that
    // keeps them as they came.
    sink->registerMethod(cb, "OnDataChange", "uuiiaua(qv)aqatai", "", [&](sdbus::MethodCall call) {
        std::uint32_t tid = 0, group = 0;
        std::int32_t quality = 0, error = 0;
        std::vector<std::uint32_t> handles;
        call >> tid >> group >> quality >> error >> handles;
        values += handles.size();
        ++notifications;
        call.createReply().send();
    });
    for (const char* method : {"OnReadComplete", "OnWriteComplete", "OnCancelComplete"}) {
        sink->registerMethod(cb, method,
                             method == std::string("OnReadComplete")    ? "uuiiaua(qv)aqatai"
                             : method == std::string("OnWriteComplete") ? "uuiauai"
                                                                        : "uu",
                             "", [](sdbus::MethodCall call) { call.createReply().send(); });
    }
    sink->finishRegistration();
    client.Connection().enterEventLoopAsync();

    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    std::vector<std::unique_ptr<sdbus::IProxy>> groups;
    for (int g = 0; g < groupCount; ++g) {
        std::int32_t hr = 0;
        sdbus::ObjectPath path;
        std::uint32_t hServer = 0, revised = 0;
        instance->callMethod("AddGroup")
            .onInterface("VELK.OPC.IOPCServer")
            .withArguments(std::string(), true, kRate, static_cast<std::uint32_t>(g), false,
                           std::int32_t{0}, false, 0.0, std::uint32_t{0})
            .storeResultsTo(hr, path, hServer, revised);
        groups.push_back(client.Proxy(kName, path));
        std::uint32_t cookie = 0;
        groups.back()
            ->callMethod("Advise")
            .onInterface("VELK.OPC.IConnectionPointContainer")
            .withArguments(cb, sdbus::ObjectPath("/Bench/Callback"))
            .storeResultsTo(cookie);
        std::vector<ItemDef> defs;
        for (int i = 0; i < kItems; ++i) {
            defs.push_back(ItemDef{"", "Sim" + std::to_string(g + 1) + ".T" + std::to_string(i),
                                   true, static_cast<std::uint32_t>(i), 0});
        }
        std::vector<ItemResult> results;
        std::vector<std::int32_t> errors;
        groups.back()
            ->callMethod("AddItems")
            .onInterface("VELK.OPC.IOPCItemMgt")
            .withArguments(defs)
            .storeResultsTo(hr, results, errors);
    }
    // Settle, then measure.
    std::this_thread::sleep_for(2s);
    double seconds = 0, cpu = 0;
    std::uint64_t delivered = 0, calls = 0;
    for (auto _ : state) {
        const std::uint64_t v0 = values, n0 = notifications;
        const double c0 = velk::bench::CpuSeconds(static_cast<pid_t>(pid));
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(10s);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu = velk::bench::CpuSeconds(static_cast<pid_t>(pid)) - c0;
        delivered = values - v0;
        calls = notifications - n0;
        state.SetIterationTime(seconds);
    }
    state.counters["values_per_s"] = static_cast<double>(delivered) / seconds;
    state.counters["notifications_per_s"] = static_cast<double>(calls) / seconds;
    state.counters["server_cpu_cores"] = cpu / seconds;
    state.counters["nominal_values_per_s"] = groupCount * kItems * (1000.0 / kRate);

    instance->callMethod("Release").onInterface("VELK.Object");
    client.Connection().leaveEventLoop();
    server.Signal(SIGTERM);
    server.Wait(15s);
}
// The groups as asked for, and twice that many to show the headroom.
BENCHMARK(BM_DataChangesToOneClient)
    ->Arg(10)
    ->Arg(20)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
