// Scan engine throughput and cycle times against velkopc-plcsim on loopback TCP:
// - 10,000 INT holding-register tags over 10 simulated controllers (1,000 each), read by the
//   engine one device after another and one thread per device, and the same register reads
//   made directly with libmodbus;
// - a healthy device's cycle time alone, beside a dead controller read by another thread,
//   and (for comparison) beside a dead controller whose reader holds TagDataLock across its
//   exchanges, as a caller that holds the lock does.
// Run by hand: build/bench/velk_bench_scan (the simulator path is compiled in).
#include <benchmark/benchmark.h>
#include <modbus.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "modbus/channel_settings.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/device_channels.h"
#include "modbus/scan_engine.h"
#include "model/b_event.h"
#include "model/locks.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "platform/linux/system_clock.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/plcsim_process.h"

namespace velk {
namespace {

constexpr int kControllers = 10;
constexpr int kTagsPerController = 1000;

class DropEvents final : public IEventPoster {
  public:
    void PostEvent(std::unique_ptr<BEvent>) override {}
};

class QuietObserver final : public IExchangeObserver {
  public:
    void CheckComm(ODevice&, bool, int) override {}
};

// One simulated controller on its own loopback address with a device of INT tags.
struct Controller {
    Controller(int number, int tagCount, IClock& clock, IExchangeObserver& observer,
               ITcpSockets& sockets)
        : address("127.0.0." + std::to_string(number + 10)),
          channels(device,
                   ChannelServices{clock, observer, nullptr, &sockets, nullptr, &settings}) {
        std::string error;
        started = plc.Start({"--tcp", address + ":0"}, error);
        if (!started) return;
        settings.CreateKey(kTcpPortsKey);
        settings.WriteValue(kTcpPortsKey, address,
                            RegValue::Dword(static_cast<std::uint32_t>(plc.TcpPort(1))));
        device.params.modbusTcp = 1;
        device.params.primaryIpAddress = address;
        device.params.secondaryIpAddress = address;
        channels.SetRunning(true);
        for (int n = 0; n < tagCount; ++n) {
            auto tag = std::make_unique<OModbusTag>();
            tag->locationKind = kHoldingRegister;
            tag->address = static_cast<std::uint16_t>(n);
            tag->SetDataType(VT_I2);
            tag->size = 1;
            InsertSorted(tag.get(), list);
            tags.push_back(std::move(tag));
        }
    }

    std::string address;
    test::PlcsimProcess plc;
    bool started = false;
    testing::MemorySettingsStore settings;
    ODevice device;
    DeviceChannels channels;
    std::vector<std::unique_ptr<OModbusTag>> tags;
    TagList list;
};

// The controllers, channels and the engine shared by the benchmarks of one run.
struct Plant {
    Plant()
        : exchange([this](ODevice& d) -> DeviceChannels* {
              auto it = byDevice.find(&d);
              return it == byDevice.end() ? nullptr : it->second;
          }),
          engine(exchange, events, clock) {}

    Controller& Add(int number, int tagCount, ITcpSockets& with) {
        controllers.push_back(
            std::make_unique<Controller>(number, tagCount, clock, observer, with));
        Controller& c = *controllers.back();
        byDevice[&c.device] = &c.channels;
        return c;
    }

    SystemClock clock;
    QuietObserver observer;
    DropEvents events;
    PosixTcpSockets sockets;
    std::map<ODevice*, DeviceChannels*> byDevice;
    DeviceChannelExchange exchange;
    ScanEngine engine;
    std::vector<std::unique_ptr<Controller>> controllers;
};

Plant& TenControllers() {
    static Plant plant;
    if (plant.controllers.empty())
        for (int n = 0; n < kControllers; ++n) plant.Add(n, kTagsPerController, plant.sockets);
    return plant;
}

bool AllStarted(Plant& plant, benchmark::State& state) {
    for (auto& c : plant.controllers) {
        if (!c->started) {
            state.SkipWithError("velkopc-plcsim did not start");
            return false;
        }
    }
    return true;
}

void BM_ScanEngineSequential(benchmark::State& state) {
    Plant& plant = TenControllers();
    if (!AllStarted(plant, state)) return;
    for (auto _ : state) {
        for (auto& c : plant.controllers) plant.engine.ReadTags(c->device, c->list);
    }
    state.SetItemsProcessed(state.iterations() * kControllers * kTagsPerController);
    std::lock_guard<std::recursive_mutex> lock(plant.controllers.back()->device.Locks().tagData);
    if (plant.controllers.back()->tags.back()->quality != kQualityGood)
        state.SkipWithError("reads failed");
}
BENCHMARK(BM_ScanEngineSequential)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ScanEngineThreadPerDevice(benchmark::State& state) {
    Plant& plant = TenControllers();
    if (!AllStarted(plant, state)) return;
    for (auto _ : state) {
        std::vector<std::thread> readers;
        for (auto& c : plant.controllers)
            readers.emplace_back([&plant, &c] { plant.engine.ReadTags(c->device, c->list); });
        for (auto& r : readers) r.join();
    }
    state.SetItemsProcessed(state.iterations() * kControllers * kTagsPerController);
}
BENCHMARK(BM_ScanEngineThreadPerDevice)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LibmodbusDirect(benchmark::State& state) {
    Plant& plant = TenControllers();
    if (!AllStarted(plant, state)) return;
    std::vector<modbus_t*> contexts;
    for (auto& c : plant.controllers) {
        modbus_t* ctx = modbus_new_tcp(c->address.c_str(), c->plc.TcpPort(1));
        if (!ctx || modbus_connect(ctx) != 0) {
            state.SkipWithError("libmodbus could not connect");
            return;
        }
        contexts.push_back(ctx);
    }
    std::uint16_t registers[123];
    for (auto _ : state) {
        for (modbus_t* ctx : contexts) {
            for (int start = 0; start < kTagsPerController; start += 123) {
                const int count = std::min(123, kTagsPerController - start);
                if (modbus_read_registers(ctx, start, count, registers) != count)
                    state.SkipWithError("libmodbus read failed");
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kControllers * kTagsPerController);
    for (modbus_t* ctx : contexts) {
        modbus_close(ctx);
        modbus_free(ctx);
    }
}
BENCHMARK(BM_LibmodbusDirect)->Unit(benchmark::kMillisecond)->UseRealTime();

// A healthy device of 1,000 tags; argument 0 alone, 1 beside a dead controller read by
// another thread every 100 ms, 2 the same with that reader holding TagDataLock across its
// read (so its exchanges run under the lock).
void BM_HealthyCycle(benchmark::State& state) {
    static PosixTcpSockets deadSockets(1000, 1000);  // a dead read costs about 2 s
    static Plant plant;
    static Controller& healthy = plant.Add(20, kTagsPerController, plant.sockets);
    static Controller& dead = plant.Add(21, 1, deadSockets);
    if (!healthy.started || !dead.started) {
        state.SkipWithError("velkopc-plcsim did not start");
        return;
    }
    const int mode = static_cast<int>(state.range(0));
    dead.plc.Command("silent on");
    std::atomic<bool> stop{false};
    std::thread deadReader;
    if (mode > 0) {
        deadReader = std::thread([&] {
            while (!stop) {
                if (mode == 2) {
                    std::lock_guard<std::recursive_mutex> lock(dead.device.Locks().tagData);
                    plant.engine.ReadTags(dead.device, dead.list);
                } else {
                    plant.engine.ReadTags(dead.device, dead.list);
                }
                // The dead device's own reader polls with a period, as the scan threads do.
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (auto _ : state) plant.engine.ReadTags(healthy.device, healthy.list);
    stop = true;
    if (deadReader.joinable()) deadReader.join();
    state.SetItemsProcessed(state.iterations() * kTagsPerController);
}
BENCHMARK(BM_HealthyCycle)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HealthyCycle)->Arg(2)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace velk

BENCHMARK_MAIN();
