// DA group costs that do not depend on a controller: one update cycle over many items
// (reads answered at once, every value changed), the 1.0 data stream of many items, adding
// many groups to one client (with the threads they cost), an asynchronous read's call
// while the update cycle waits for a controller that does not answer, and an asynchronous
// read's completion while other reads wait for such a controller.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/locks.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "opc/device_workers.h"
#include "opc/tag_io.h"
#include "opcda/client_sinks.h"
#include "opcda/opc_server.h"
#include "opcda/opc_stream.h"
#include "platform/clock.h"
#include "platform/linux/process_info.h"

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
    void ReadTags(ODevice& device, const TagList& tags) override {
        std::lock_guard lock(device.Locks().tagData);
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
        {
            std::lock_guard lock(mutex_);
            ++readsCompleted_;
        }
        readCompleted_.notify_all();
        return S_OK;
    }
    HRESULT OnWriteComplete(std::uint32_t, std::uint32_t, HRESULT,
                            const std::vector<std::uint32_t>&,
                            const std::vector<HRESULT>&) override {
        return S_OK;
    }
    HRESULT OnCancelComplete(std::uint32_t, std::uint32_t) override { return S_OK; }
    // Waits until count reads have completed in all.
    void WaitForReads(std::size_t count) {
        std::unique_lock lock(mutex_);
        readCompleted_.wait(lock, [&] { return readsCompleted_ >= count; });
    }
    std::size_t delivered = 0;

  private:
    std::mutex mutex_;
    std::condition_variable readCompleted_;
    std::size_t readsCompleted_ = 0;
};

// One device with the given number of tags T0, T1, ... under the root.
// The benchmarks' trees are guarded by one set of locks, as a document's.
ModelLocks& BenchLocks() {
    static ModelLocks locks;
    return locks;
}

ODevice& MakeDevice(OTagGroup& root, const std::string& name, int tags);

void BM_UpdateCycleAllChanged(benchmark::State& state) {
    const int items = static_cast<int>(state.range(0));
    OTagGroup root;
    MakeDevice(root, "PLC1", items);
    StillClock clock;
    CountingTagIO io;
    DAServerServices services{&clock, &io, nullptr, &root, nullptr};
    DAServerSettings settings;
    settings.runUpdateCycles = false;
    {
        auto server = OPCServer::Create(services, settings);
        std::shared_ptr<OPCGroup> group;
        server->AddGroup(nullptr, true, 100, 1, nullptr, nullptr, 0, &group, nullptr, nullptr);
        std::vector<OPCITEMDEF> defs(items);
        for (int i = 0; i < items; ++i) defs[i].itemID = "PLC1.T" + std::to_string(i);
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        group->AddItems(defs, results, errors);
        auto sink = std::make_shared<CountingSink>();
        std::uint32_t cookie = 0;
        group->AdviseCallback(sink, &cookie);
        for (auto _ : state) group->RunUpdateCycle();
        state.SetItemsProcessed(static_cast<std::int64_t>(sink->delivered));
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

ODevice& MakeDevice(OTagGroup& root, const std::string& name, int tags) {
    std::unique_ptr<OTagGroup> owned = std::make_unique<ODevice>();
    ODevice* device = static_cast<ODevice*>(owned.get());
    device->UseLocks(BenchLocks());
    device->name = name;
    device->parent = &root;
    root.InsertSubgroupByName(owned);
    for (int i = 0; i < tags; ++i) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = "T" + std::to_string(i);
        tag->SetDataType(VT_I2);
        tag->locationKind = kHoldingRegister;
        tag->address = static_cast<std::uint16_t>(i);
        tag->device = device;
        tag->group = device;
        device->InsertTagByName(tag);
    }
    return *device;
}

// The time of one AddGroup when the client already has range(0) groups; with update
// threads, the threads the groups cost.
void BM_AddGroupTo(benchmark::State& state) {
    const int groups = static_cast<int>(state.range(0));
    const bool threads = state.range(1) != 0;
    OTagGroup root;
    MakeDevice(root, "PLC1", 1);
    StillClock clock;
    CountingTagIO io;
    DAServerSettings settings;
    settings.runUpdateCycles = threads;
    settings.limits.maxGroups = 1u << 20;
    auto server = OPCServer::Create(
        DAServerServices{&clock, &io, nullptr, &root, nullptr, nullptr, &BenchLocks()}, settings);
    const std::size_t before = ThreadsOfThisProcess();
    std::vector<std::shared_ptr<OPCGroup>> held;
    for (int i = 0; i < groups; ++i) {
        std::shared_ptr<OPCGroup> group;
        server->AddGroup(nullptr, true, 10, 1, nullptr, nullptr, 0, &group, nullptr, nullptr);
        held.push_back(group);
    }
    state.counters["threads"] = static_cast<double>(ThreadsOfThisProcess() - before);
    std::shared_ptr<OPCGroup> group;
    for (auto _ : state) {
        server->AddGroup(nullptr, true, 10, 1, nullptr, nullptr, 0, &group, nullptr, nullptr);
        state.PauseTiming();
        server->RemoveGroup(group->ServerHandle(), true);
        group.reset();
        state.ResumeTiming();
    }
    for (auto& g : held) server->RemoveGroup(g->ServerHandle(), true);
}
BENCHMARK(BM_AddGroupTo)
    ->Args({100, 0})
    ->Args({1000, 0})
    ->Args({4000, 0})
    ->Args({1000, 1})
    ->Args({5000, 1})
    ->Unit(benchmark::kMicrosecond);

// Reads of the second device never answer until the benchmark ends.
class SilentSecondDevice final : public ITagIO {
  public:
    explicit SilentSecondDevice(ODevice& silent) : silent_(silent), gate_(open_.get_future()) {}
    void Open() { open_.set_value(); }
    void ReadTags(ODevice& device, const TagList&) override {
        if (&device == &silent_) gate_.wait();
    }
    HRESULT WriteTag(ODevice&, OModbusTag&, const Variant&) override { return S_OK; }

  private:
    ODevice& silent_;
    std::promise<void> open_;
    std::shared_future<void> gate_;
};

// IOPCAsyncIO2::Read of a healthy item while the group's update cycle waits for a silent
// controller: the call's own time.
// Two controllers with one tag each, PLC2 silent, and server settings without a request bound.
struct SilentPlant {
    OTagGroup root;
    ODevice& plc1 = MakeDevice(root, "PLC1", 1);
    ODevice& plc2 = MakeDevice(root, "PLC2", 1);
    StillClock clock;
    SilentSecondDevice io{plc2};
    DAServerSettings settings = [] {
        DAServerSettings unbounded;
        unbounded.limits.maxRequests = 1u << 30;
        return unbounded;
    }();
};

void BM_Read2WhileAControllerIsSilent(benchmark::State& state) {
    SilentPlant plant;
    auto& [root, plc1, plc2, clock, io, settings] = plant;
    {
        auto server = OPCServer::Create(
            DAServerServices{&clock, &io, nullptr, &root, nullptr, nullptr, &BenchLocks()},
            settings);
        std::shared_ptr<OPCGroup> group;
        server->AddGroup(nullptr, true, 100, 1, nullptr, nullptr, 0, &group, nullptr, nullptr);
        std::vector<OPCITEMDEF> defs(2);
        defs[0].itemID = "PLC1.T0";
        defs[1].itemID = "PLC2.T0";
        std::vector<OPCITEMRESULT> results;
        std::vector<HRESULT> errors;
        group->AddItems(defs, results, errors);
        const std::vector<std::uint32_t> healthy{results[0].hServer};
        std::uint32_t cancel = 0;
        for (auto _ : state) group->Read2(healthy, 1, &cancel, errors);
        io.Open();
        server->RemoveGroup(group->ServerHandle(), true);
    }
    // The requests still queued hold the group; the tree must outlive it.
    OPCGroup::WaitUntilNoneLive(std::chrono::seconds(600));
}
BENCHMARK(BM_Read2WhileAControllerIsSilent)->Unit(benchmark::kMicrosecond);

// IOPCAsyncIO2::Read of a healthy item from call to OnReadComplete, while another client's
// eight reads (twice the request pool) wait on a controller that does not answer.
void BM_Read2CompletionBesideReadsOnASilentController(benchmark::State& state) {
    SilentPlant plant;
    auto& [root, plc1, plc2, clock, io, settings] = plant;
    auto workers = std::make_shared<DeviceWorkers>();
    DAServerServices services{&clock, &io, nullptr, &root, workers, nullptr, &BenchLocks()};
    {
        auto stuckClient = OPCServer::Create(services, settings);
        auto healthyClient = OPCServer::Create(services, settings);
        auto group = [](OPCServer& server, const std::string& item,
                        const std::shared_ptr<IClientSink>& sink) {
            std::shared_ptr<OPCGroup> g;
            server.AddGroup(nullptr, false, 1000, 1, nullptr, nullptr, 0, &g, nullptr, nullptr);
            std::vector<OPCITEMDEF> defs(1);
            defs[0].itemID = item;
            std::vector<OPCITEMRESULT> results;
            std::vector<HRESULT> errors;
            g->AddItems(defs, results, errors);
            std::uint32_t cookie = 0;
            g->AdviseCallback(sink, &cookie);
            return std::make_pair(g, std::vector<std::uint32_t>{results[0].hServer});
        };
        auto stuckSink = std::make_shared<CountingSink>();
        auto healthySink = std::make_shared<CountingSink>();
        auto [stuck, silentItem] = group(*stuckClient, "PLC2.T0", stuckSink);
        auto [healthy, healthyItem] = group(*healthyClient, "PLC1.T0", healthySink);
        std::uint32_t cancel = 0;
        std::vector<HRESULT> errors;
        for (std::uint32_t i = 0; i < 2 * DeviceWorkers::kDefaultRequestThreads; ++i)
            stuck->Read2(silentItem, i, &cancel, errors);
        std::size_t completed = 0;
        for (auto _ : state) {
            healthy->Read2(healthyItem, 1, &cancel, errors);
            healthySink->WaitForReads(++completed);
        }
        io.Open();
        stuckSink->WaitForReads(2 * DeviceWorkers::kDefaultRequestThreads);
        stuckClient->RemoveGroup(stuck->ServerHandle(), true);
        healthyClient->RemoveGroup(healthy->ServerHandle(), true);
    }
    OPCGroup::WaitUntilNoneLive(std::chrono::seconds(60));
}
BENCHMARK(BM_Read2CompletionBesideReadsOnASilentController)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velk

BENCHMARK_MAIN();
