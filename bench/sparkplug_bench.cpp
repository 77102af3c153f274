// The Sparkplug edge node's work on the plant of 100 controllers with 500 tags each,
// without a broker: one publish period of data by exception (sampling, the deadband
// comparison and the DDATA payloads) with a tenth of the tags changed, the births of every
// controller, and a period's changes into the store and back out as historical DDATA.
// A period's time over the publish period (1 s) is the publisher's share of one core.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "model/o_analog_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "sparkplug/edge_node_payloads.h"
#include "sparkplug/historical_record.h"
#include "sparkplug/report_by_exception.h"
#include "sparkplug/spool.h"
#include "tests/sparkplug/sparkplug_test_support.h"

namespace velk::sparkplug {
namespace {

constexpr int kDevices = 100;
constexpr int kTagsPerDevice = 500;

struct Plant {
    Plant() {
        for (int d = 0; d < kDevices; ++d) {
            ODevice& device = testing::InsertDevice(root, "PLC" + std::to_string(d));
            for (int g = 0; g < 10; ++g) {
                OTagGroup& group = testing::InsertGroup(device, "Group" + std::to_string(g));
                for (int t = 0; t < kTagsPerDevice / 10; ++t) {
                    const std::uint16_t type = t % 3 == 0 ? VT_BOOL : t % 3 == 1 ? VT_I2 : VT_R4;
                    OModbusTag& tag = testing::AddTag(group, "Tag" + std::to_string(t), type);
                    if (type == VT_I2) testing::ScaleLinear(tag, 0.0, 100.0, "%");
                    tag.SetValue(Variant::Int16(static_cast<std::int16_t>(t)));
                    tag.quality = kQualityGood;
                    tags.push_back(&tag);
                }
            }
        }
        layout = MetricLayout::Build(root);
    }
    // Every tenth tag moves by more than a 1 % deadband.
    void Change(int round) {
        for (std::size_t i = round % 10; i < tags.size(); i += 10) {
            OModbusTag& tag = *tags[i];
            tag.SetValue(Variant::Int16(static_cast<std::int16_t>((round * 997 + i) % 10000)));
            tag.timestamp += kFileTimeTicksPerSecond;
        }
    }
    OTagGroup root;
    std::vector<OModbusTag*> tags;
    MetricLayout layout;
};

Plant& ThePlant() {
    static Plant plant;
    return plant;
}

void BM_DataByExceptionPeriod(benchmark::State& state) {
    Plant& plant = ThePlant();
    EdgeNodePayloads node(0);
    std::vector<DeviceReport> reports(kDevices);
    for (std::size_t d = 0; d < kDevices; ++d) {
        reports[d].Reset(SampleDevice(plant.layout.Devices()[d]));
    }
    int round = 0;
    std::size_t metrics = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        plant.Change(++round);
        state.ResumeTiming();
        for (std::size_t d = 0; d < kDevices; ++d) {
            const DeviceMetrics& device = plant.layout.Devices()[d];
            const auto samples = SampleDevice(device);
            const auto changed = reports[d].TakeChanges(device, samples, 1.0);
            if (changed.empty()) continue;
            bytes += node.DData(device, changed, samples, 0).size();
            metrics += changed.size();
        }
    }
    state.counters["metrics/period"] =
        benchmark::Counter(static_cast<double>(metrics) / state.iterations());
    state.counters["bytes/period"] =
        benchmark::Counter(static_cast<double>(bytes) / state.iterations());
}
BENCHMARK(BM_DataByExceptionPeriod)->Unit(benchmark::kMillisecond);

void BM_BirthOfEveryController(benchmark::State& state) {
    Plant& plant = ThePlant();
    EdgeNodePayloads node(0);
    std::size_t bytes = 0;
    for (auto _ : state) {
        bytes += node.NBirth(0).size();
        for (const auto& device : plant.layout.Devices()) {
            bytes += node.DBirth(device, SampleDevice(device), 0).size();
        }
    }
    state.counters["bytes"] = benchmark::Counter(static_cast<double>(bytes) / state.iterations());
}
BENCHMARK(BM_BirthOfEveryController)->Unit(benchmark::kMillisecond);

void BM_StoreAndReplayAPeriod(benchmark::State& state) {
    Plant& plant = ThePlant();
    testing::MemoryFileSystem files;
    testing::MemoryReader reader(files);
    Spool spool(files, reader, "/store", 100u << 20);
    spool.Open();
    EdgeNodePayloads node(0);
    std::vector<DeviceReport> reports(kDevices);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        plant.Change(++round);
        state.ResumeTiming();
        for (std::size_t d = 0; d < kDevices; ++d) {
            const DeviceMetrics& device = plant.layout.Devices()[d];
            const auto samples = SampleDevice(device);
            spool.Append(MakeHistoricalRecord(device, reports[d].TakeChanges(device, samples, 1.0),
                                              samples));
        }
        spool.Sync();
        spool.Replay([&](std::string_view record) {
            benchmark::DoNotOptimize(ReplayHistoricalRecord(node, plant.layout, record, 0));
            return true;
        });
    }
}
BENCHMARK(BM_StoreAndReplayAPeriod)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace velk::sparkplug

BENCHMARK_MAIN();
