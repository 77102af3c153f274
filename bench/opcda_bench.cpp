// DA group costs that do not depend on a controller: one update cycle over many items
// (reads answered at once, every value changed) and the 1.0 data stream of many items.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "model/locks.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opcda/client_sinks.h"
#include "opcda/opc_server.h"
#include "opcda/opc_stream.h"
#include "opcda/tag_io.h"
#include "platform/clock.h"

namespace velk {
namespace {

class StillClock final : public IClock {
  public:
    FileTime NowUtc() const override { return 130702107091230000ull; }
    LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return 0; }
    LocalTime ToLocal(FileTime) const override { return {}; }
    bool LocalToUtc(const LocalTime&, FileTime&) const override { return false; }
    void Sleep(std::uint32_t) override {}
};

// Every read gives each tag a new value, so every item is reported each cycle.
class CountingTagIO final : public ITagIO {
  public:
    void ReadTags(ODevice&, const TagList& tags) override {
        std::lock_guard lock(TagDataLock());
        ++n_;
        for (OModbusTag* tag : tags) {
            tag->value = Variant::Int16(static_cast<std::int16_t>(n_));
            tag->quality = 0xC0;
        }
    }
    HRESULT WriteTag(ODevice&, OModbusTag&, const Variant&) override { return S_OK; }

  private:
    int n_ = 0;
};

class CountingSink final : public IClientSink, public IOPCDataCallbackSink {
  public:
    IOPCDataCallbackSink* QueryDataCallback() override { return this; }
    HRESULT OnDataChange(std::uint32_t, std::uint32_t, HRESULT, HRESULT,
                         const ItemValueList& items) override {
        delivered += items.Count();
        return S_OK;
    }
    HRESULT OnReadComplete(std::uint32_t, std::uint32_t, HRESULT, HRESULT,
                           const ItemValueList&) override {
        return S_OK;
    }
    HRESULT OnWriteComplete(std::uint32_t, std::uint32_t, HRESULT,
                            const std::vector<std::uint32_t>&,
                            const std::vector<HRESULT>&) override {
        return S_OK;
    }
    HRESULT OnCancelComplete(std::uint32_t, std::uint32_t) override { return S_OK; }
    std::size_t delivered = 0;
};

void BM_UpdateCycleAllChanged(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    OTagGroup root;
    std::unique_ptr<OTagGroup> owned = std::make_unique<ODevice>();
    ODevice* device = static_cast<ODevice*>(owned.get());
    device->name = "PLC1";
    device->parent = &root;
    root.InsertSubgroupByName(owned);
    for (int i = 0; i < items; ++i) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = "T" + std::to_string(i);
        tag->SetDataType(VT_I2);
        tag->locationKind = kHoldingRegister;
        tag->address = static_cast<std::uint16_t>(i);
        tag->device = device;
        tag->group = device;
        device->InsertTagByName(tag);
    }
    StillClock clock;
    CountingTagIO io;
    DAServerServices services{&clock, &io, nullptr, &root, nullptr};
    DAServerSettings settings;
    settings.startUpdateThreads = false;
    {
        auto server = OPCServer::Create(services, settings);
        std::shared_ptr<OPCGroup> group;
        server->AddGroup(nullptr, true, 100, 1, nullptr, nullptr, 0, &group, nullptr, nullptr);
        std::vector<OPCITEMDEF> defs(items);
        for (int i = 0; i < items; ++i) defs[i].itemID = "PLC1.T" + std::to_string(i);
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        group->AddItems(defs, results, errors);
        CountingSink sink;
        std::uint32_t cookie = 0;
        group->AdviseCallback(&sink, &cookie);
        for (auto _ : state) group->RunUpdateCycle();
        state.SetItemsProcessed(static_cast<std::int64_t>(sink.delivered));
        group->UnadviseCallback(cookie);
    }
}
BENCHMARK(BM_UpdateCycleAllChanged)->Arg(10)->Arg(100)->Arg(1000);

void BM_DataStream(benchmark::State& state) {
    std::vector<StreamItem> items(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < items.size(); ++i) {
        items[i] = {static_cast<std::uint32_t>(i), 0xC0, 0,
                    i % 4 == 0 ? OpcValue::Of(Variant::Text("a string value"))
                               : OpcValue::Of(Variant::Double(1.5 * i))};
    }
    for (auto _ : state) benchmark::DoNotOptimize(BuildDataStream(true, 1, 0, items));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DataStream)->Arg(10)->Arg(1000);

}  // namespace
}  // namespace velk

BENCHMARK_MAIN();
