// AE delivery with many subscriptions on the shared delivery threads: the time from one
// record distributed to every subscription of several clients until the last of them has
// its OnEvent, with the process's thread count beside it.
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "opcae/opc_event_server.h"
#include "opcae/opc_event_subscription.h"
#include "platform/linux/process_info.h"
#include "platform/timed_pass_pool.h"
#include "tests/opcae/ae_test_support.h"

namespace velk {
namespace {

using testing::AeFixture;

// Counts the events of every subscription and wakes the benchmark at the expected total.
class CountingEventSink final : public IOPCEventSink {
  public:
    struct Total {
        std::mutex mutex;
        std::condition_variable reached;
        std::size_t events = 0;
    };
    explicit CountingEventSink(std::shared_ptr<Total> total) : total_(std::move(total)) {}
    HRESULT OnEvent(std::uint32_t, bool, bool, const std::vector<OnEventStruct>& events) override {
        {
            std::lock_guard lock(total_->mutex);
            total_->events += events.size();
        }
        total_->reached.notify_all();
        return S_OK;
    }

  private:
    std::shared_ptr<Total> total_;
};

struct Served : AeFixture {
    ODevice& plc = AddDevice("PLC1");
    OModbusTag& level = AddAnalogTag(AddGroup(plc, "G"), "Level");
};

// range(0): subscriptions, over ten clients; buffer time 10 ms.
void BM_OneRecordToManySubscriptions(benchmark::State& state) {
    const int subscriptions = static_cast<int>(state.range(0));
    constexpr int kClients = 10;
    Served served;
    auto pool = std::make_shared<TimedPassPool>("AeDelivery", 4, ThreadPriority::AboveNormal);
    AeServerContext context = served.Context();
    context.startDeliveryThreads = true;
    context.deliveryPool = pool;
    auto total = std::make_shared<CountingEventSink::Total>();
    std::vector<std::unique_ptr<OPCEventServer>> clients;
    std::vector<std::shared_ptr<OPCEventSubscription>> held;
    for (int c = 0; c < kClients; ++c) clients.push_back(std::make_unique<OPCEventServer>(context));
    for (int i = 0; i < subscriptions; ++i) {
        std::shared_ptr<OPCEventSubscription> s;
        clients[static_cast<std::size_t>(i % kClients)]->CreateEventSubscription(
            true, 10, 100, 1, &s, nullptr, nullptr);
        std::uint32_t cookie = 0;
        s->Advise(std::make_shared<CountingEventSink>(total), &cookie);
        held.push_back(std::move(s));
    }
    state.counters["threads"] = static_cast<double>(ThreadsOfThisProcess());
    served.Activate(served.level, 4, 6);
    const BEvent record = served.TagRecord(served.level, 6, true);
    std::size_t expected = 0;
    for (auto _ : state) {
        for (auto& client : clients) client->DistributeEvent(record);
        expected += static_cast<std::size_t>(subscriptions);
        std::unique_lock lock(total->mutex);
        total->reached.wait(lock, [&] { return total->events >= expected; });
    }
    held.clear();
    clients.clear();
}
BENCHMARK(BM_OneRecordToManySubscriptions)
    ->Arg(10)
    ->Arg(300)
    ->Arg(2000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace velk

BENCHMARK_MAIN();
