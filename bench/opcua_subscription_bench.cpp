// Cost of the subscription machinery at the plant's scale: 4 sessions monitoring the same
// 50,000 tags (200,000 monitored items). One iteration changes every tag once, runs a
// publishing cycle and answers Publish requests until every notification went out, each
// response encoded as it would be sent. Reported per notification; the figure to compare
// with the DA path's cost per 1,000 notifications is items_per_second.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "opcua/subscription/subscription_services.h"

namespace {

using namespace velk;
using namespace velk::ua;

constexpr std::size_t kTags = 50'000;
constexpr std::size_t kSessions = 4;

class StepClock final : public IClock {
  public:
    FileTime NowUtc() const override { return now; }
    LocalTime NowLocal() const override { return {}; }
    std::uint32_t TickCount() const override { return static_cast<std::uint32_t>(now / 10000); }
    LocalTime ToLocal(FileTime) const override { return {}; }
    bool LocalToUtc(const LocalTime&, FileTime&) const override { return false; }
    void Sleep(std::uint32_t ms) override { now += FileTime{ms} * kFileTimeTicksPerMs; }
    FileTime now = 130702107091230000ull;
};

class PlantSource final : public ISamplingSource {
  public:
    SampledNodeInfo Describe(const NodeId&, std::uint32_t) const override {
        return {kGood, true, EuRange{0, 1000}};
    }
    double ReviseSamplingInterval(double ms) const override { return ms < 250 ? 250 : ms; }
    std::vector<SamplingHandle> StartSampling(const std::vector<SampleSpec>& specs,
                                              ISampleSink&) override {
        std::vector<SamplingHandle> handles;
        for (std::size_t i = 0; i < specs.size(); ++i) handles.push_back(++next);
        return handles;
    }
    void StopSampling(const std::vector<SamplingHandle>&) override {}
    SamplingHandle next = 0;
};

void BM_PublishPlantChanges(benchmark::State& state) {
    SubscriptionLimits limits;
    limits.maxMonitoredItems = 500'000;
    SubscriptionServerState server(limits);
    StepClock clock;
    PlantSource source;
    std::vector<std::unique_ptr<SessionSubscriptions>> sessions;
    for (std::size_t s = 0; s < kSessions; ++s) {
        auto session = std::make_unique<SessionSubscriptions>(server, source, clock);
        CreateSubscriptionRequest sub;
        sub.requestedPublishingInterval = 250;
        sub.publishingEnabled = true;
        const std::uint32_t id = CreateSubscription(sub, *session).subscriptionId;
        for (std::size_t first = 0; first < kTags; first += limits.maxMonitoredItemsPerCall) {
            CreateMonitoredItemsRequest items;
            items.subscriptionId = id;
            for (std::size_t t = first; t < first + limits.maxMonitoredItemsPerCall && t < kTags;
                 ++t) {
                MonitoredItemCreateRequest item;
                item.itemToMonitor.nodeId =
                    NodeId::String(2, "Device.Group.Tag" + std::to_string(t));
                item.requestedParameters.clientHandle = static_cast<std::uint32_t>(t);
                items.itemsToCreate.push_back(std::move(item));
            }
            CreateMonitoredItems(items, *session);
        }
        sessions.push_back(std::move(session));
    }
    const SamplingHandle handles = source.next;
    double value = 0;
    std::size_t bytes = 0;
    std::vector<PublishOutcome> out;
    std::uint64_t requestId = 0;
    for (auto _ : state) {
        value += 1;
        DataValue sample;
        sample.value = Variant::Scalar(value);
        sample.sourceTimestamp = DateTime{static_cast<std::int64_t>(clock.now)};
        // Handles were given out session by session, kTags each.
        for (SamplingHandle h = 1; h <= handles; ++h) {
            sessions[(h - 1) / kTags]->OnSample(h, sample);
        }
        clock.Sleep(250);
        for (auto& session : sessions) {
            PublishRequest publish;
            do {
                out.clear();
                session->Tick(out);
                Publish(++requestId, publish, *session, out);
                for (const PublishOutcome& o : out)
                    bytes += EncodeServiceMessage(o.response).size();
            } while (!out.empty() && out.back().response.moreNotifications);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(handles));
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["monitored_items"] = static_cast<double>(server.MonitoredItemCount());
}
BENCHMARK(BM_PublishPlantChanges)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
