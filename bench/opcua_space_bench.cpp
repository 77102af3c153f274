// Cost of the address space services over the plant of the benchmarks (100 devices of 500
// tags, a fifth of them scaled), computed from the configuration tree at each call: a Browse
// of one device's 500 tags, a Read of the 500 values of one device, and the browse path of
// one tag from Objects.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "model/c_doc.h"
#include "model/o_analog_data.h"
#include "opcua/space/browse_service.h"
#include "opcua/space/namespace_zero.h"
#include "opcua/space/plant_nodes.h"
#include "opcua/space/read_service.h"
#include "opcua/space/standard_node_ids.h"
#include "opcua/space/stored_tag_values.h"
#include "opcua/space/translate_browse_paths_service.h"
#include "platform/clock.h"

namespace {

using namespace velk;
using namespace velk::ua;

constexpr int kDevices = 100;
constexpr int kTagsPerDevice = 500;

class StillClock final : public IClock {
  public:
    FileTime NowUtc() const override { return 133000000000000000ull; }
    LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return 0; }
    LocalTime ToLocal(FileTime) const override { return {}; }
    bool LocalToUtc(const LocalTime&, FileTime& utc) const override {
        utc = 0;
        return true;
    }
    void Sleep(std::uint32_t) override {}
};

std::string TagName(int i) { return "T" + std::to_string(1000 + i); }

struct BenchPlant {
    BenchPlant()
        : document(CDocServices{}, ModelSettings{}),
          zero(ServerDescription{}, limits, clock),
          plant(document),
          space(zero, &plant),
          values(document, plant),
          session(limits.maxBrowseContinuationPoints),
          context{space, values, clock, limits, session} {
        for (int d = 0; d < kDevices; ++d) {
            auto device = std::make_unique<ODevice>();
            device->name = "PLC" + std::to_string(100 + d);
            device->parent = &document.rootGroup;
            ODevice* added = device.get();
            std::unique_ptr<OTagGroup> entry = std::move(device);
            document.rootGroup.InsertSubgroupByName(entry);
            document.AdoptDevice(*added);
            for (int t = 0; t < kTagsPerDevice; ++t) {
                auto tag = std::make_unique<OModbusTag>();
                tag->name = TagName(t);
                tag->SetDataType(VT_I2);
                if (t % 5 == 0) tag->scaling->conversion = OAnalogData::kLinear;
                OModbusTag* tagAdded = tag.get();
                added->InsertTagByName(tag);
                document.RegisterTag(*added, tagAdded);
            }
        }
    }
    ServiceLimits limits;
    StillClock clock;
    CDoc document;
    NamespaceZero zero;
    PlantNodes plant;
    AddressSpace space;
    StoredTagValues values;
    SessionSpaceState session;
    ServiceContext context;
};

BenchPlant& Plant() {
    static BenchPlant plant;
    return plant;
}

const NodeId kLastDevice = NodeId::String(kPlantNamespaceIndex, "PLC199.");

void BM_BrowseDeviceOf500Tags(benchmark::State& state) {
    BenchPlant& p = Plant();
    BrowseRequest request;
    request.nodesToBrowse.push_back({kLastDevice, BrowseDirection::kForward,
                                     NodeId::Numeric(0, ids::kOrganizes), true, 0, kResultAll});
    for (auto _ : state) {
        const BrowseResponse response = Browse(p.context, request);
        if (response.results.at(0).references.size() != kTagsPerDevice)
            state.SkipWithError("not every tag browsed");
        benchmark::DoNotOptimize(response.results.data());
    }
    state.SetItemsProcessed(state.iterations() * kTagsPerDevice);
}
BENCHMARK(BM_BrowseDeviceOf500Tags)->Unit(benchmark::kMillisecond);

void BM_ReadValuesOfOneDevice(benchmark::State& state) {
    BenchPlant& p = Plant();
    ReadRequest request;
    for (int t = 0; t < kTagsPerDevice; ++t)
        request.nodesToRead.push_back(
            {NodeId::String(kPlantNamespaceIndex, "PLC199." + TagName(t)), 13, "", {}});
    for (auto _ : state) {
        const ReadResponse response = Read(p.context, request);
        benchmark::DoNotOptimize(response.results.data());
    }
    state.SetItemsProcessed(state.iterations() * kTagsPerDevice);
}
BENCHMARK(BM_ReadValuesOfOneDevice)->Unit(benchmark::kMillisecond);

void BM_TranslatePathOfOneTag(benchmark::State& state) {
    BenchPlant& p = Plant();
    TranslateBrowsePathsToNodeIdsRequest request;
    BrowsePath path{NodeId::Numeric(0, ids::kObjectsFolder), {}};
    for (const char* name : {"PLC199", "T1499"})
        path.relativePath.elements.push_back({NodeId::Numeric(0, ids::kOrganizes), false, true,
                                              QualifiedName{kPlantNamespaceIndex, name}});
    request.browsePaths.push_back(path);
    for (auto _ : state) {
        const auto response = TranslateBrowsePathsToNodeIds(p.context, request);
        if (response.results.at(0).statusCode != kGood) state.SkipWithError("path not found");
        benchmark::DoNotOptimize(response.results.data());
    }
}
BENCHMARK(BM_TranslatePathOfOneTag)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
