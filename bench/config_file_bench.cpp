// Load and save of a large configuration: 100,000 tags, in 100 devices or in one.
// Counters: bytes of the file, and the heap growth of one load divided by the tag count.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <string>

#include "model/c_doc.h"
#include "model/config_file_reader.h"
#include "model/config_file_writer.h"
#include "model/o_analog_data.h"
#include "model/o_binary_alarm.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"

namespace velk {
namespace {

constexpr int kDevices = 100;
constexpr int kTags = 100'000;

// A plausible plant: per device three BOOL tags in four, the rest scaled REAL registers,
// one tag in ten with an alarm, tags spread over ten groups.
void BuildPlant(CDoc& doc, int devices, int alarmEvery) {
    doc.AddDefaultPorts();
    const int tagsPerDevice = kTags / devices;
    for (int d = 0; d < devices; ++d) {
        auto device = std::make_unique<ODevice>();
        device->name = "Device" + std::to_string(d + 1);
        device->parent = &doc.rootGroup;
        device->params.supervisorTime = 1000;
        ODevice* dev = device.get();
        doc.rootGroup.subgroupList.push_back(std::move(device));
        for (int g = 0; g < 10; ++g) {
            auto group = std::make_unique<OTagGroup>();
            group->name = "Area" + std::to_string(g + 1);
            group->parent = dev;
            OTagGroup* grp = group.get();
            dev->subgroupList.push_back(std::move(group));
            for (int t = 0; t < tagsPerDevice / 10; ++t) {
                const int n = g * (tagsPerDevice / 10) + t;
                auto tag = std::make_unique<OModbusTag>();
                tag->name = "Tag" + std::to_string(n + 1);
                tag->description = "Measurement point " + std::to_string(n + 1);
                if (n % 4 != 3) {
                    tag->SetDataType(11);
                    tag->locationKind = kOutputCoil;
                    tag->address = static_cast<std::uint16_t>(n);
                } else {
                    tag->SetDataType(4);
                    tag->locationKind = kHoldingRegister;
                    tag->address = static_cast<std::uint16_t>(2 * n);
                    tag->size = 2;
                    auto& scaling = static_cast<OAnalogData&>(*tag->scaling);
                    scaling.conversion = OAnalogData::kLinear;
                    scaling.units = "bar";
                }
                if (n % alarmEvery == 0) {
                    tag->alarm->enableFlags = 1;
                    tag->alarm->normalText = "normal";
                }
                // Only the file is needed: the tags skip the document lists.
                grp->tagList.push_back(std::move(tag));
            }
        }
    }
}

std::string PlantBytes(int devices, int alarmEvery) {
    CDoc doc{CDocServices{}, ModelSettings{}};
    BuildPlant(doc, devices, alarmEvery);
    return ConfigFileWriter::DocumentBytes(doc);
}

const std::string& PlantBytes() {
    static const std::string bytes = PlantBytes(kDevices, 10);
    return bytes;
}

void LoadBenchmark(benchmark::State& state, const std::string& bytes) {
    double bytesPerTag = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto doc = std::make_unique<CDoc>(CDocServices{}, ModelSettings{});
        const std::size_t before = mallinfo2().uordblks;
        state.ResumeTiming();
        if (!ConfigFileReader::ReadDocumentBytes(bytes, *doc)) state.SkipWithError("load failed");
        state.PauseTiming();
        bytesPerTag = static_cast<double>(mallinfo2().uordblks - before) / kTags;
        doc.reset();
        state.ResumeTiming();
    }
    state.counters["file_bytes"] = static_cast<double>(bytes.size());
    state.counters["heap_bytes_per_tag"] = bytesPerTag;
    state.counters["tags"] = kTags;
}

void BM_LoadConfiguration(benchmark::State& state) { LoadBenchmark(state, PlantBytes()); }
BENCHMARK(BM_LoadConfiguration)->Unit(benchmark::kMillisecond)->Iterations(5);

// Every tag alarmed in one device: the scan lists must not grow quadratically.
void BM_LoadAllAlarmedInOneDevice(benchmark::State& state) {
    static const std::string bytes = PlantBytes(1, 1);
    LoadBenchmark(state, bytes);
}
BENCHMARK(BM_LoadAllAlarmedInOneDevice)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveConfiguration(benchmark::State& state) {
    CDoc doc{CDocServices{}, ModelSettings{}};
    ConfigFileReader::ReadDocumentBytes(PlantBytes(), doc);
    std::size_t size = 0;
    for (auto _ : state) {
        const std::string bytes = ConfigFileWriter::DocumentBytes(doc);
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["file_bytes"] = static_cast<double>(size);
}
BENCHMARK(BM_SaveConfiguration)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
}  // namespace velk

BENCHMARK_MAIN();
