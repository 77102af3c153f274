// The window of a client's sink calls over a channel whose sending the test holds: calls
// beyond the window wait in order and go as answers come, a full queue fails new calls at
// once, and a channel that answers at once (its host has gone) completes every call once.
#include "opcda/bus/sink_window.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "platform/dbus/bus_errors.h"

namespace velk::dabus {
namespace {

// Keeps every call it is given until the test answers it.
struct HeldSender {
    std::mutex mutex;
    std::vector<std::pair<BusSinkCall, BusSinkCompletion>> calls;

    std::shared_ptr<BusSinkChannel> Channel() {
        auto sender = std::make_shared<const BusSinkChannel::Sender>(
            [this](const std::string&, BusSinkCall call, BusSinkCompletion done) {
                std::lock_guard lock(mutex);
                calls.emplace_back(std::move(call), std::move(done));
            });
        return std::make_shared<BusSinkChannel>(":1.7", sender);
    }
    std::size_t Count() {
        std::lock_guard lock(mutex);
        return calls.size();
    }
    // Answers the index-th call that was sent.
    void Answer(std::size_t index, HRESULT result = S_OK) {
        BusSinkCompletion done;
        {
            std::lock_guard lock(mutex);
            done = calls.at(index).second;
        }
        done(result, {});
    }
    std::string MethodOf(std::size_t index) {
        std::lock_guard lock(mutex);
        return calls.at(index).first.method;
    }
};

BusSinkCall Named(const std::string& method) {
    BusSinkCall call;
    call.objectPath = "/Sink";
    call.interfaceName = "VELK.OPC.IOPCDataCallback";
    call.method = method;
    return call;
}

TEST(SinkWindow, CallsBeyondTheWindowWaitInOrderAndGoAsAnswersCome) {
    HeldSender sender;
    auto window = SinkWindow::Create(sender.Channel(), 2, 10);
    std::vector<std::pair<std::string, HRESULT>> outcomes;
    for (const char* name : {"A", "B", "C", "D"}) {
        window->Call(Named(name), [&outcomes, name](HRESULT result, const BusValue::Items&) {
            outcomes.emplace_back(name, result);
        });
    }
    ASSERT_EQ(sender.Count(), 2u);
    EXPECT_EQ(window->Queued(), 2u);
    sender.Answer(1, E_ABORT);  // B's own failure reaches B's completion
    ASSERT_EQ(sender.Count(), 3u);
    EXPECT_EQ(sender.MethodOf(2), "C");
    sender.Answer(0);
    ASSERT_EQ(sender.Count(), 4u);
    EXPECT_EQ(sender.MethodOf(3), "D");
    sender.Answer(2);
    sender.Answer(3);
    EXPECT_EQ(window->Outstanding(), 0u);
    EXPECT_EQ(outcomes, (std::vector<std::pair<std::string, HRESULT>>{
                            {"B", E_ABORT}, {"A", S_OK}, {"C", S_OK}, {"D", S_OK}}));
}

TEST(SinkWindow, AFullQueueFailsNewCallsAtOnceAndKeepsTheWaitingOnes) {
    HeldSender sender;
    auto window = SinkWindow::Create(sender.Channel(), 1, 2);
    std::vector<HRESULT> results(4, S_FALSE);
    for (std::size_t i = 0; i < 4; ++i) {
        window->Call(
            Named("Call" + std::to_string(i)),
            [&results, i](HRESULT result, const BusValue::Items&) { results[i] = result; });
    }
    // One sent, two waiting, the fourth refused.
    EXPECT_EQ(sender.Count(), 1u);
    EXPECT_EQ(results[3], RPC_E_TIMEOUT);
    EXPECT_EQ(results[1], S_FALSE);
    sender.Answer(0);
    sender.Answer(1);
    sender.Answer(2);
    EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_OK, S_OK, RPC_E_TIMEOUT}));
}

TEST(SinkWindow, AChannelThatAnswersAtOnceCompletesEveryCallOnce) {
    // A channel without a host answers each call on the calling thread.
    auto sender = std::make_shared<const BusSinkChannel::Sender>(
        [](const std::string&, BusSinkCall, BusSinkCompletion done) {
            done(RPC_E_DISCONNECTED, {});
        });
    auto window = SinkWindow::Create(std::make_shared<BusSinkChannel>(":1.9", sender), 4, 100000);
    std::size_t completed = 0;
    for (int i = 0; i < 50000; ++i) {
        window->Call(Named("OnDataChange"), [&completed](HRESULT result, const BusValue::Items&) {
            EXPECT_EQ(result, RPC_E_DISCONNECTED);
            ++completed;
        });
    }
    EXPECT_EQ(completed, 50000u);
    EXPECT_EQ(window->Outstanding(), 0u);
    EXPECT_EQ(window->Queued(), 0u);
}

TEST(SinkWindow, WhatASlowClientHoldsIsBoundedByBytesAsWellAsByCalls) {
    HeldSender sender;
    // Room for hundreds of calls by count, for about three of these by bytes.
    const BusSinkCall big = [] {
        BusSinkCall call = Named("OnDataChange");
        BusValue::Items values(10000, BusValue::Variant(BusValue::Double(1.5)));
        call.arguments.push_back(BusValue::Array("v", std::move(values)));
        return call;
    }();
    const std::size_t bytes = FootprintOf(big);
    auto window = SinkWindow::Create(sender.Channel(), 1, 1000, 3 * bytes + bytes / 2);
    std::vector<HRESULT> results;
    for (int i = 0; i < 5; ++i) {
        window->Call(
            big, [&results](HRESULT result, const BusValue::Items&) { results.push_back(result); });
    }
    // One on its way, two waiting; the fourth and fifth would pass the bytes.
    EXPECT_EQ(results, (std::vector<HRESULT>{E_OUTOFMEMORY, E_OUTOFMEMORY}));
    EXPECT_LE(window->HeldBytes(), 3 * bytes + bytes / 2);
    // Answers give the bytes back; a call larger than the whole bound still goes alone.
    for (std::size_t i = 0; i < 3; ++i) sender.Answer(i);
    EXPECT_EQ(window->HeldBytes(), 0u);
    auto narrow = SinkWindow::Create(sender.Channel(), 1, 1000, bytes / 2);
    narrow->Call(big,
                 [&results](HRESULT result, const BusValue::Items&) { results.push_back(result); });
    sender.Answer(3);
    EXPECT_EQ(results.back(), S_OK);
}

}  // namespace
}  // namespace velk::dabus
