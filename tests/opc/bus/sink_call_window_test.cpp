// The per-client queue of sink calls (DA and AE): in order, never more outstanding than its window,
// the rest held until answers come, and a bounded number held.
#include "opc/bus/sink_call_window.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>

#include "platform/dbus/bus_errors.h"

namespace velk {
namespace {

using velk::SinkCallWindow;

// A bus that keeps every call until the test answers it, or answers at once when told.
struct HeldBus {
    std::mutex mutex;
    std::deque<std::pair<BusSinkCall, BusSinkCompletion>> calls;
    bool answerAtOnce = false;

    std::shared_ptr<BusSinkChannel> Channel() {
        auto sender = std::make_shared<const BusSinkChannel::Sender>(
            [this](const std::string&, BusSinkCall call, BusSinkCompletion done) {
                if (answerAtOnce) {
                    done(RPC_E_DISCONNECTED, {});
                    return;
                }
                std::lock_guard lock(mutex);
                calls.emplace_back(std::move(call), std::move(done));
            });
        return std::make_shared<BusSinkChannel>(":1.7", sender);
    }
    // Answers the oldest call; its completion may send the next one.
    std::string AnswerOldest() {
        std::pair<BusSinkCall, BusSinkCompletion> oldest;
        {
            std::lock_guard lock(mutex);
            oldest = std::move(calls.front());
            calls.pop_front();
        }
        oldest.second(S_OK, {});
        return oldest.first.method;
    }
    std::size_t Sent() {
        std::lock_guard lock(mutex);
        return calls.size();
    }
};

BusSinkCall Named(int n) {
    BusSinkCall call;
    call.method = "M" + std::to_string(n);
    return call;
}

TEST(SinkCallWindow, SendsInOrderWithAtMostTheWindowOutstanding) {
    HeldBus bus;
    auto queue = SinkCallWindow::Create(bus.Channel(), 3, 100);
    std::vector<std::string> completed;
    for (int i = 0; i < 10; ++i)
        queue->Call(Named(i), [&completed, i](HRESULT r, const BusValue::Items&) {
            completed.push_back(std::to_string(i) + (r == S_OK ? "" : "!"));
        });
    EXPECT_EQ(bus.Sent(), 3u);
    EXPECT_EQ(queue->Outstanding(), 3u);
    EXPECT_EQ(queue->Queued(), 7u);
    std::vector<std::string> order;
    while (bus.Sent() != 0) {
        order.push_back(bus.AnswerOldest());
        EXPECT_LE(bus.Sent(), 3u);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"M0", "M1", "M2", "M3", "M4", "M5", "M6", "M7", "M8",
                                               "M9"}));
    EXPECT_EQ(completed,
              (std::vector<std::string>{"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    EXPECT_EQ(queue->Outstanding(), 0u);
}

TEST(SinkCallWindow, CallsBeyondTheHeldOnesFailAtOnce) {
    HeldBus bus;
    auto queue = SinkCallWindow::Create(bus.Channel(), 1, 2);
    std::vector<HRESULT> results;
    for (int i = 0; i < 5; ++i)
        queue->Call(Named(i),
                    [&results](HRESULT r, const BusValue::Items&) { results.push_back(r); });
    // One outstanding, two held, two refused.
    EXPECT_EQ(results, (std::vector<HRESULT>{RPC_E_TIMEOUT, RPC_E_TIMEOUT}));
    while (bus.Sent() != 0) bus.AnswerOldest();
    EXPECT_EQ(results, (std::vector<HRESULT>{RPC_E_TIMEOUT, RPC_E_TIMEOUT, S_OK, S_OK, S_OK}));
}

TEST(SinkCallWindow, AnswersOnTheSendingThreadDrainEverythingWithoutDeepCalls) {
    HeldBus bus;
    bus.answerAtOnce = true;  // a host that has gone answers every call at once
    auto queue = SinkCallWindow::Create(bus.Channel(), 2, 200000);
    std::size_t done = 0;
    for (int i = 0; i < 100000; ++i)
        queue->Call(Named(i), [&done](HRESULT, const BusValue::Items&) { ++done; });
    EXPECT_EQ(done, 100000u);
    EXPECT_EQ(queue->Outstanding(), 0u);
    EXPECT_EQ(queue->Queued(), 0u);
}

}  // namespace
}  // namespace velk
