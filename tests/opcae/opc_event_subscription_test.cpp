#include "opcae/opc_event_subscription.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "opc/opc_result.h"
#include "platform/linux/process_info.h"
#include "platform/timed_pass_pool.h"
#include "tests/opcae/ae_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/refusing_thread_factory.h"

namespace velk {
namespace {

using testing::RecordingEventSink;
using testing::SinkCall;

class SubscriptionTest : public ::testing::Test, public testing::AeFixture {
  protected:
    SubscriptionTest()
        : plc1(AddDevice("PLC1")),
          plc2(AddDevice("PLC2")),
          g1(AddGroup(plc1, "G")),
          g2(AddGroup(plc2, "H")),
          pump(AddBinaryTag(g1, "Pump")),
          level(AddAnalogTag(g1, "Level")),
          other(AddAnalogTag(g2, "Other")) {}

    // A subscription of a server object of this fixture, with one recording sink.
    std::shared_ptr<OPCEventSubscription> Make(std::uint32_t bufferTime = 1000,
                                               std::uint32_t maxSize = 1024, bool active = true) {
        if (!server) server = std::make_unique<OPCEventServer>(Context());
        std::shared_ptr<OPCEventSubscription> s;
        server->CreateEventSubscription(active, bufferTime, maxSize, 42, &s, nullptr, nullptr);
        s->Advise(sink, &cookie);
        return s;
    }
    // Server objects whose subscriptions deliver on a shared pool of this many threads.
    AeServerContext PooledContext(std::size_t threads) {
        AeServerContext context = Context();
        context.startDeliveryThreads = true;
        context.deliveryPool =
            std::make_shared<TimedPassPool>("AeDelivery", threads, ThreadPriority::AboveNormal);
        return context;
    }
    void Raise(OModbusTag& tag, std::uint16_t state, std::uint16_t sub) {
        Activate(tag, state, sub);
        server->DistributeEvent(TagRecord(tag, sub, true));
    }
    static HRESULT Filter(OPCEventSubscription& s, std::vector<std::uint32_t> categories,
                          std::uint32_t low, std::uint32_t high, std::vector<std::string> areas,
                          std::uint32_t types = kAllEventTypes) {
        // Empty lists still travel as non-null arrays, as a client sends them.
        static const std::uint32_t noCategories[1] = {0};
        static const std::string noTexts[1];
        return s.SetFilter(types, static_cast<std::uint32_t>(categories.size()),
                           categories.empty() ? noCategories : categories.data(), low, high,
                           static_cast<std::uint32_t>(areas.size()),
                           areas.empty() ? noTexts : areas.data(), 0, noTexts);
    }
    std::vector<std::string> SourcesDelivered() {
        std::vector<std::string> sources;
        for (const SinkCall& call : sink->Calls())
            for (const auto& e : call.events) sources.push_back(e.source);
        return sources;
    }

    ODevice& plc1;
    ODevice& plc2;
    OTagGroup& g1;
    OTagGroup& g2;
    OModbusTag& pump;
    OModbusTag& level;
    OModbusTag& other;
    std::unique_ptr<OPCEventServer> server;
    std::shared_ptr<RecordingEventSink> sink = std::make_shared<RecordingEventSink>();
    std::uint32_t cookie = 0;
};

// --- filter and attribute settings ----------------------------------------------------

TEST_F(SubscriptionTest, DefaultFilterSelectsEverything) {
    auto s = Make();
    std::uint32_t types = 0, low = 0, high = 0;
    std::vector<std::uint32_t> categories;
    std::vector<std::string> areas{"x"}, sources{"y"};
    ASSERT_EQ(s->GetFilter(&types, &categories, &low, &high, &areas, &sources), S_OK);
    EXPECT_EQ(types, 7u);
    EXPECT_EQ(categories, (std::vector<std::uint32_t>{1, 2, 4, 8, 256, 65536}));
    EXPECT_EQ(low, 1u);
    EXPECT_EQ(high, 1000u);
    EXPECT_TRUE(areas.empty());
    EXPECT_TRUE(sources.empty());
    EXPECT_EQ(s->GetFilter(&types, nullptr, &low, &high, &areas, &sources), E_INVALIDARG);
}

TEST_F(SubscriptionTest, SetFilterArgumentRulesChangeNothing) {
    auto s = Make();
    const std::uint32_t cats[] = {2};
    const std::string areas[] = {"PLC1*"};
    const std::string sources[1];
    EXPECT_EQ(s->SetFilter(0, 1, cats, 1, 1000, 1, areas, 0, sources), E_INVALIDARG);
    EXPECT_EQ(s->SetFilter(8, 1, cats, 1, 1000, 1, areas, 0, sources), E_INVALIDARG);
    EXPECT_EQ(s->SetFilter(4, 1, nullptr, 1, 1000, 1, areas, 0, sources), E_INVALIDARG);
    EXPECT_EQ(s->SetFilter(4, 1, cats, 1, 1000, 0, nullptr, 0, sources), E_INVALIDARG);
    EXPECT_EQ(s->SetFilter(4, 1, cats, 1, 1000, 1, areas, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(s->SetFilter(4, 1, cats, 0, 1000, 1, areas, 0, sources), E_INVALIDARG);
    EXPECT_EQ(s->SetFilter(4, 1, cats, 1, 1001, 1, areas, 0, sources), E_INVALIDARG);
    EXPECT_EQ(s->SetFilter(4, 1, cats, 600, 500, 1, areas, 0, sources), E_INVALIDARG);
    std::uint32_t types = 0, low = 0, high = 0;
    std::vector<std::uint32_t> categories;
    std::vector<std::string> got, none;
    s->GetFilter(&types, &categories, &low, &high, &got, &none);
    EXPECT_EQ(types, 7u);
    EXPECT_EQ(categories.size(), 6u);
    EXPECT_TRUE(got.empty());
}

TEST_F(SubscriptionTest, SetFilterStoresAndTracesTheRequest) {
    auto s = Make();
    const std::uint32_t cats[] = {2, 4};
    const std::string areas[] = {"PLC1*", "PLC2.H"};
    const std::string sources[1];
    trace.Clear();
    ASSERT_EQ(s->SetFilter(4, 2, cats, 100, 900, 2, areas, 0, sources), S_OK);
    EXPECT_TRUE(
        trace.Has("     Event type filter: 4\r\n     Category filters: 2  4  "
                  "\r\n     Area filters: PLC1*  PLC2.H  \r\n     Severity filters: 100  900"));
    EXPECT_TRUE(trace.Has("Called IOPCEventSubscriptionMgt::SetFilter, return code: 0"));
    std::uint32_t types = 0, low = 0, high = 0;
    std::vector<std::uint32_t> categories;
    std::vector<std::string> got, none;
    s->GetFilter(&types, &categories, &low, &high, &got, &none);
    EXPECT_EQ(types, 4u);
    EXPECT_EQ(categories, (std::vector<std::uint32_t>{2, 4}));
    EXPECT_EQ(low, 100u);
    EXPECT_EQ(high, 900u);
    EXPECT_EQ(got, (std::vector<std::string>{"PLC1*", "PLC2.H"}));

    // No categories: the category filter becomes 0, reported as none.
    ASSERT_EQ(s->SetFilter(4, 0, cats, 1, 1000, 0, areas, 0, sources), S_OK);
    s->GetFilter(&types, &categories, &low, &high, &got, &none);
    EXPECT_TRUE(categories.empty());
    EXPECT_TRUE(got.empty());
}

TEST_F(SubscriptionTest, SetFilterWithSourcesKeepsTheOtherFiltersButTakesTheAreas) {
    auto s = Make();
    const std::uint32_t cats[] = {2};
    const std::string areas[] = {"PLC2*"};
    const std::string sources[] = {"PLC1.G.Pump"};
    trace.Clear();
    EXPECT_EQ(s->SetFilter(4, 1, cats, 300, 400, 1, areas, 1, sources), S_FALSE);
    EXPECT_TRUE(
        trace.Has("     Event type filter: 4\r\n     Category filters: 2  "
                  "\r\n     Area filters: PLC2*  \r\n     Source filters: PLC1.G.Pump  "
                  "\r\n     Severity filters: 300  400"));
    std::uint32_t types = 0, low = 0, high = 0;
    std::vector<std::uint32_t> categories;
    std::vector<std::string> got, none;
    s->GetFilter(&types, &categories, &low, &high, &got, &none);
    EXPECT_EQ(types, 7u);
    EXPECT_EQ(low, 1u);
    EXPECT_EQ(high, 1000u);
    EXPECT_EQ(categories.size(), 6u);
    EXPECT_EQ(got, std::vector<std::string>{"PLC2*"});

    // An unknown category: E_INVALIDARG, the areas are replaced all the same.
    const std::uint32_t bad[] = {2, 3};
    const std::string areas2[] = {"PLC1"};
    EXPECT_EQ(s->SetFilter(4, 2, bad, 300, 400, 1, areas2, 0, sources), E_INVALIDARG);
    s->GetFilter(&types, &categories, &low, &high, &got, &none);
    EXPECT_EQ(types, 7u);
    EXPECT_EQ(low, 1u);
    EXPECT_EQ(got, std::vector<std::string>{"PLC1"});
}

TEST_F(SubscriptionTest, ReturnedAttributesPerCategory) {
    auto s = Make();
    const std::uint32_t ids[] = {114, 111};
    EXPECT_EQ(s->SelectReturnedAttributes(4, 2, ids), S_OK);
    std::vector<std::uint32_t> got;
    ASSERT_EQ(s->GetReturnedAttributes(4, &got), S_OK);
    EXPECT_EQ(got, (std::vector<std::uint32_t>{111, 114}));  // table order
    ASSERT_EQ(s->GetReturnedAttributes(2, &got), S_OK);
    EXPECT_TRUE(got.empty());

    const std::uint32_t withSimple[] = {110, 112};  // 110 is not an Analog attribute
    EXPECT_EQ(s->SelectReturnedAttributes(4, 2, withSimple), E_INVALIDARG);
    s->GetReturnedAttributes(4, &got);
    EXPECT_EQ(got, std::vector<std::uint32_t>{112});

    const std::uint32_t five[] = {110, 111, 112, 113, 114};
    EXPECT_EQ(s->SelectReturnedAttributes(4, 5, five), E_INVALIDARG);  // more than it has
    EXPECT_EQ(s->SelectReturnedAttributes(8, 5, five), S_OK);
    EXPECT_EQ(s->SelectReturnedAttributes(3, 1, five), E_INVALIDARG);
    EXPECT_EQ(s->SelectReturnedAttributes(4, 0, nullptr), E_INVALIDARG);
    EXPECT_EQ(s->SelectReturnedAttributes(4, 0, five), S_OK);  // clears
    s->GetReturnedAttributes(4, &got);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(s->GetReturnedAttributes(3, &got), E_INVALIDARG);
    EXPECT_EQ(s->GetReturnedAttributes(4, nullptr), E_INVALIDARG);
}

TEST_F(SubscriptionTest, SetStateRevisesTheMaximumSizeAndTracesRevisedValues) {
    auto s = Make(1000, 100);
    const bool inactive = false;
    const std::uint32_t zero = 0;
    const std::uint32_t big = 2000;
    std::uint32_t time = 1, size = 1;
    trace.Clear();
    EXPECT_EQ(s->SetState(&inactive, &zero, &big, 9, &time, &size), OPC_S_INVALIDMAXSIZE);
    EXPECT_EQ(time, 0u);  // a buffer time of 0 is kept here
    EXPECT_EQ(size, 1024u);
    EXPECT_TRUE(
        trace.Has("OPCEventSubscription::SetState(...) -> [out] pdwRevisedBufferTime as 0"));
    EXPECT_TRUE(
        trace.Has("OPCEventSubscription::SetState(...) -> [out] pdwRevisedMaxSize as 1024"));
    const std::uint32_t exact = 1024;
    EXPECT_EQ(s->SetState(nullptr, nullptr, &exact, 10, nullptr, nullptr), S_OK);
    const std::uint32_t small = 5;
    EXPECT_EQ(s->SetState(nullptr, nullptr, &small, 11, nullptr, nullptr), S_OK);
    bool active = true;
    std::uint32_t handle = 0;
    EXPECT_EQ(s->GetState(&active, &time, &size, &handle), S_OK);
    EXPECT_FALSE(active);
    EXPECT_EQ(time, 0u);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(handle, 11u);
    EXPECT_EQ(s->GetState(nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(SubscriptionTest, KeepAliveIsAtLeastTheBufferTime) {
    auto s = Make(1000);
    std::uint32_t revised = 0;
    EXPECT_EQ(s->SetKeepAlive(0, &revised), OPC_S_INVALIDKEEPALIVETIME);
    EXPECT_EQ(revised, 1000u);
    EXPECT_EQ(s->SetKeepAlive(3000, &revised), S_OK);
    EXPECT_EQ(revised, 3000u);
    EXPECT_EQ(s->SetKeepAlive(5000, nullptr), E_INVALIDARG);
    std::uint32_t stored = 0;
    EXPECT_EQ(s->GetKeepAlive(&stored), S_OK);
    EXPECT_EQ(stored, 5000u);  // stored although the output was missing
    EXPECT_EQ(s->GetKeepAlive(nullptr), E_INVALIDARG);
    EXPECT_TRUE(trace.Has("Called IOPCEventSubscriptionMgt2::SetKeepAlive, return code: 0"));
}

// --- delivery -------------------------------------------------------------------------

// Advances the clock inside each OnEvent, as a slow client would.
class SlowSink final : public IOPCEventSink {
  public:
    SlowSink(testing::FakeClock& clock, std::uint32_t ms) : clock_(clock), ms_(ms) {}
    HRESULT OnEvent(std::uint32_t, bool, bool, const std::vector<OnEventStruct>& events) override {
        sizes.push_back(events.size());
        clock_.Advance(ms_);
        return S_OK;
    }
    std::vector<std::size_t> sizes;

  private:
    testing::FakeClock& clock_;
    std::uint32_t ms_;
};

TEST_F(SubscriptionTest, DeliveryWaitsTheRestOfTheBufferTime) {
    auto s = Make(1000, 100);
    auto slow = std::make_shared<SlowSink>(clock, 300);
    std::uint32_t c = 0;
    s->Unadvise(cookie);
    s->Advise(slow, &c);
    Raise(pump, 2, 2);
    EXPECT_EQ(s->DeliverOnce(), 700u);
    EXPECT_EQ(slow->sizes, std::vector<std::size_t>{1});
    EXPECT_EQ(server->LastUpdateTime(), clock.NowUtc());
    // Nothing queued, no keep-alive: no call, the full buffer time.
    EXPECT_EQ(s->DeliverOnce(), 1000u);
    EXPECT_EQ(slow->sizes.size(), 1u);
    // A call that takes longer than the buffer time counts as no time at all.
    auto slower = std::make_shared<SlowSink>(clock, 1500);
    s->Advise(slower, &c);
    Raise(pump, 2, 2);
    EXPECT_EQ(s->DeliverOnce(), 1000u);
    // The tick count going backwards counts as no time either.
    clock.SetTick(50);
    EXPECT_EQ(s->DeliverOnce(), 1000u);
}

TEST_F(SubscriptionTest, BurstLargerThanTheMaximumSizeGoesOutBackToBack) {
    auto s = Make(1000, 0);  // 1024
    for (int i = 0; i < 3000; ++i) Raise(level, 4, 6);
    ASSERT_EQ(s->QueueLength(), 3000u);
    std::vector<std::uint32_t> waits;
    for (int i = 0; i < 3; ++i) waits.push_back(s->DeliverOnce());
    const auto calls = sink->Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].events.size(), 1024u);
    EXPECT_EQ(calls[1].events.size(), 1024u);
    EXPECT_EQ(calls[2].events.size(), 952u);
    EXPECT_EQ(waits, (std::vector<std::uint32_t>{10, 10, 1000}));
    for (const auto& call : calls) {
        EXPECT_EQ(call.clientHandle, 42u);
        EXPECT_FALSE(call.refresh);
        EXPECT_FALSE(call.lastRefresh);
    }
    EXPECT_EQ(s->QueueLength(), 0u);
}

TEST_F(SubscriptionTest, SmallBacklogMeansNoWaitUntilItIsWorkedOff) {
    auto s = Make(1000, 100);
    for (int i = 0; i < 250; ++i) Raise(level, 4, 6);
    EXPECT_EQ(s->DeliverOnce(), 0u);
    EXPECT_EQ(s->DeliverOnce(), 0u);
    EXPECT_EQ(s->DeliverOnce(), 1000u);
    EXPECT_EQ(sink->EventCount(), 250u);
    // Exactly the maximum size is no backlog.
    for (int i = 0; i < 100; ++i) Raise(level, 4, 6);
    EXPECT_EQ(s->DeliverOnce(), 1000u);
    EXPECT_EQ(sink->EventCount(), 350u);
}

TEST_F(SubscriptionTest, ZeroBufferTimeWaitsTenMillisecondsActiveAndASecondInactive) {
    auto s = Make(1000, 10);
    const std::uint32_t zero = 0;
    s->SetState(nullptr, &zero, nullptr, 42, nullptr, nullptr);
    EXPECT_EQ(s->DeliverOnce(), 10u);
    const bool off = false;
    s->SetState(&off, nullptr, nullptr, 42, nullptr, nullptr);
    EXPECT_EQ(s->DeliverOnce(), 1000u);
}

TEST_F(SubscriptionTest, InactiveSubscriptionKeepsItsQueueUntilReactivated) {
    auto s = Make(500, 10);
    Raise(pump, 2, 2);
    const bool off = false;
    const bool on = true;
    s->SetState(&off, nullptr, nullptr, 42, nullptr, nullptr);
    EXPECT_EQ(s->DeliverOnce(), 500u);
    EXPECT_EQ(s->QueueLength(), 1u);
    Raise(pump, 2, 2);  // not queued while inactive
    EXPECT_EQ(s->QueueLength(), 1u);
    s->SetState(&on, nullptr, nullptr, 42, nullptr, nullptr);
    s->DeliverOnce();
    EXPECT_EQ(sink->EventCount(), 1u);
}

TEST_F(SubscriptionTest, KeepAliveSendsEmptyCallsWhenNothingPasses) {
    auto s = Make(1000, 10);
    std::uint32_t revised = 0;
    s->SetKeepAlive(0, &revised);
    s->DeliverOnce();
    s->DeliverOnce();
    ASSERT_EQ(sink->Calls().size(), 2u);
    EXPECT_TRUE(sink->Calls()[0].events.empty());
    EXPECT_EQ(sink->Calls()[0].clientHandle, 42u);
    // A record the filter drops still leaves an empty call.
    Filter(*s, {1}, 1, 1000, {});
    Raise(pump, 2, 2);
    s->DeliverOnce();
    ASSERT_EQ(sink->Calls().size(), 3u);
    EXPECT_TRUE(sink->Calls()[2].events.empty());
    EXPECT_EQ(s->QueueLength(), 0u);
}

TEST_F(SubscriptionTest, EveryConnectionGetsEachBatchAndFailuresAreNotRepeated) {
    auto s = Make(1000, 10);
    auto failing = std::make_shared<RecordingEventSink>();
    failing->result = E_FAIL;
    std::uint32_t c2 = 0;
    s->Advise(failing, &c2);
    Raise(pump, 2, 2);
    s->DeliverOnce();
    s->DeliverOnce();
    EXPECT_EQ(sink->Calls().size(), 1u);
    EXPECT_EQ(failing->Calls().size(), 1u);
    EXPECT_EQ(s->Unadvise(c2), S_OK);
    EXPECT_EQ(s->Unadvise(c2), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(s->Advise(failing, nullptr), E_INVALIDARG);
}

TEST_F(SubscriptionTest, FilterByCategorySeverityAndEventType) {
    auto s = Make(1000, 100);
    Filter(*s, {4}, 1, 1000, {});
    Raise(pump, 2, 2);
    Raise(level, 4, 6);  // 650
    s->DeliverOnce();
    EXPECT_EQ(SourcesDelivered(), std::vector<std::string>{"PLC1.G.Level"});
    sink->Clear();

    Filter(*s, {}, 600, 649, {});
    Raise(pump, 2, 2);   // 500
    Raise(level, 4, 6);  // 650
    Raise(other, 2, 5);  // 600
    s->DeliverOnce();
    EXPECT_EQ(SourcesDelivered(), std::vector<std::string>{"PLC2.H.Other"});
    sink->Clear();

    Filter(*s, {}, 1, 1000, {}, OPC_SIMPLE_EVENT | OPC_TRACKING_EVENT);
    Raise(level, 4, 6);
    s->DeliverOnce();
    EXPECT_EQ(sink->EventCount(), 0u);
}

TEST_F(SubscriptionTest, SeverityOutsideOneToThousandPassesNoFilter) {
    auto s = Make(1000, 100);
    Binary(pump).alarmPriority = 0;
    Analog(level).levelPriority[2] = 1200;
    Raise(pump, 2, 2);
    Raise(level, 4, 6);
    s->DeliverOnce();
    EXPECT_EQ(sink->EventCount(), 0u);
}

TEST_F(SubscriptionTest, AreaFilterPassesTheGroupsAndDeviceAlarmsOfADevice) {
    auto s = Make(1000, 100);
    const std::uint32_t ids[] = {111};
    s->SelectReturnedAttributes(4, 1, ids);
    Filter(*s, {}, 1, 1000, {"PLC9", "plc1*"});
    Raise(level, 4, 6);
    Raise(other, 4, 6);
    plc1.AlarmOfCode(kAlarmCommunication)->failurePriority = 1000;
    plc2.AlarmOfCode(kAlarmCommunication)->failurePriority = 1000;
    server->DistributeEvent(DeviceRecord(plc1, kAlarmCommunication, true));
    server->DistributeEvent(DeviceRecord(plc2, kAlarmCommunication, true));
    s->DeliverOnce();
    EXPECT_EQ(SourcesDelivered(), (std::vector<std::string>{"PLC1.G.Level", "PLC1.__CF"}));
    const auto calls = sink->Calls();
    const OnEventStruct& e = calls[0].events[0];
    EXPECT_EQ(e.attributes, std::vector<Variant>{Variant::Text("plc1*")});
    EXPECT_TRUE(e.changeMask & OPC_CHANGE_ATTRIBUTE);
    EXPECT_TRUE(calls[0].events[1].attributes.empty());  // Device has none
}

TEST_F(SubscriptionTest, FullQueueDropsTheOldestAndTracesOncePerEpisode) {
    AeServerContext context = Context();
    context.subscriptionQueueCapacity = 5;
    OPCEventServer small(context);
    std::shared_ptr<OPCEventSubscription> s;
    small.CreateEventSubscription(true, 1000, 100, 1, &s, nullptr, nullptr);
    s->Advise(sink, &cookie);
    for (std::uint16_t i = 0; i < 8; ++i) {
        BEvent record = TagRecord(level, 6, true);
        record.eventTime = i;
        small.DistributeEvent(record);
    }
    EXPECT_EQ(s->QueueLength(), 5u);
    EXPECT_EQ(s->DroppedRecords(), 3u);
    const std::string line = "OPC AE subscription queue full: the oldest events are dropped";
    EXPECT_EQ(trace.Count(line), 1u);
    s->DeliverOnce();
    const auto calls = sink->Calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].events.size(), 5u);
    EXPECT_EQ(calls[0].events.front().time, 3u);
    EXPECT_EQ(calls[0].events.back().time, 7u);
    for (int i = 0; i < 7; ++i) small.DistributeEvent(TagRecord(level, 6, true));
    EXPECT_EQ(s->DroppedRecords(), 5u);
    EXPECT_EQ(trace.Count(line), 2u);
}

// --- refresh --------------------------------------------------------------------------

TEST_F(SubscriptionTest, RefreshWithMaximumSizeOneSendsOneEventPerCall) {
    auto s = Make(1000, 1);
    Activate(level, 4, 6);
    Activate(other, 1, 4);
    ASSERT_EQ(s->Refresh(cookie), S_OK);
    const auto calls = sink->Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].events.size(), 1u);
    EXPECT_TRUE(calls[0].refresh);
    EXPECT_FALSE(calls[0].lastRefresh);
    EXPECT_EQ(calls[0].events[0].source, "PLC1.G.Level");
    EXPECT_EQ(calls[0].events[0].changeMask, 0x47);
    EXPECT_EQ(calls[1].events.size(), 1u);
    EXPECT_EQ(calls[1].events[0].subconditionName, "LoLo");
    EXPECT_TRUE(calls[2].events.empty());
    EXPECT_TRUE(calls[2].refresh);
    EXPECT_TRUE(calls[2].lastRefresh);
    EXPECT_EQ(server->LastUpdateTime(), clock.NowUtc());
}

TEST_F(SubscriptionTest, RefreshAppliesTheFilterAndReturnsAttributes) {
    auto s = Make(1000, 100);
    Activate(level, 4, 6);
    level.value = Variant::Float(85.5f);
    Activate(pump, 2, 2);
    Filter(*s, {2, 1}, 1, 1000, {});
    ASSERT_EQ(s->Refresh(cookie), S_OK);
    auto calls = sink->Calls();
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_EQ(calls[0].events.size(), 1u);
    EXPECT_EQ(calls[0].events[0].source, "PLC1.G.Pump");
    sink->Clear();

    Filter(*s, {4}, 1, 1000, {});
    const std::uint32_t ids[] = {112};
    s->SelectReturnedAttributes(4, 1, ids);
    ASSERT_EQ(s->Refresh(cookie), S_OK);
    calls = sink->Calls();
    ASSERT_EQ(calls.size(), 2u);
    ASSERT_EQ(calls[0].events.size(), 1u);
    EXPECT_EQ(calls[0].events[0].changeMask, 0x47 | OPC_CHANGE_ATTRIBUTE);
    EXPECT_EQ(calls[0].events[0].attributes, std::vector<Variant>{Variant::Text("85.5")});
    sink->Clear();

    Filter(*s, {2}, 1, 1000, {});
    Activate(pump, 0, 2);
    ASSERT_EQ(s->Refresh(cookie), S_OK);
    calls = sink->Calls();
    ASSERT_EQ(calls.size(), 1u);  // only the closing call
    EXPECT_TRUE(calls[0].lastRefresh);
}

TEST_F(SubscriptionTest, RefreshOfAnUnknownConnectionFails) {
    auto s = Make();
    EXPECT_EQ(s->Refresh(cookie + 100), E_INVALIDARG);
    EXPECT_TRUE(sink->Calls().empty());
    EXPECT_TRUE(
        trace.Contains("Called IOPCEventSubscriptionMgt::Refresh, return code: 0x80070057"));
}

TEST_F(SubscriptionTest, RefreshQueuesPresentDeviceConditionsForDelivery) {
    auto s = Make(1000, 100);
    plc1.statusBits = kPrimaryChannelFailed | kSecondaryChannelFailed;
    plc2.overrunState = kOverrunActive;
    ODeviceAlarm& comm = *plc1.AlarmOfCode(kAlarmCommunication);
    comm.activeTime = 111;
    comm.acknowledgeTime = 222;
    comm.acknowledgeState = 0;
    plc1.AlarmOfCode(kAlarmPort1)->activeTime = 333;
    plc1.AlarmOfCode(kAlarmPort1)->acknowledgeState = 1;
    for (ODevice* device : {&plc1, &plc2})
        for (auto& alarm : device->communicationAlarms) alarm.failurePriority = 900;
    ASSERT_EQ(s->Refresh(cookie), S_OK);
    EXPECT_EQ(sink->Calls().size(), 1u);  // the device conditions come later
    EXPECT_EQ(s->QueueLength(), 4u);      // P1, P2, CF of PLC1; BO of PLC2
    sink->Clear();
    s->DeliverOnce();
    const auto calls = sink->Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].refresh);
    std::vector<std::string> sources;
    for (const auto& e : calls[0].events) sources.push_back(e.source);
    EXPECT_EQ(sources,
              (std::vector<std::string>{"PLC1.__P1", "PLC1.__P2", "PLC1.__CF", "PLC2.__BO"}));
    EXPECT_EQ(calls[0].events[0].time, 333u);
    EXPECT_EQ(calls[0].events[2].time, 222u);
    EXPECT_EQ(calls[0].events[2].activeTime, 111u);
}

// Cancels the refresh from inside the first callback, as another client thread could.
class CancellingSink final : public IOPCEventSink {
  public:
    HRESULT OnEvent(std::uint32_t, bool refresh, bool lastRefresh,
                    const std::vector<OnEventStruct>& events) override {
        calls.push_back({0, refresh, lastRefresh, events});
        if (subscription && calls.size() == 1) subscription->CancelRefresh(0);
        return S_OK;
    }
    OPCEventSubscription* subscription = nullptr;
    std::vector<SinkCall> calls;
};

TEST_F(SubscriptionTest, CancelRefreshStopsBetweenTwoTags) {
    auto s = Make(1000, 1);
    auto cancelling = std::make_shared<CancellingSink>();
    cancelling->subscription = s.get();
    std::uint32_t c = 0;
    s->Advise(cancelling, &c);
    Activate(pump, 2, 2);
    Activate(level, 4, 6);
    Activate(other, 4, 6);
    ASSERT_EQ(s->Refresh(c), S_OK);
    ASSERT_EQ(cancelling->calls.size(), 2u);
    EXPECT_EQ(cancelling->calls[0].events.size(), 1u);
    EXPECT_TRUE(cancelling->calls[1].lastRefresh);
    // The flag is cleared afterwards: the next refresh runs through.
    cancelling->subscription = nullptr;
    cancelling->calls.clear();
    ASSERT_EQ(s->Refresh(c), S_OK);
    EXPECT_EQ(cancelling->calls.size(), 4u);
}

// --- thread and lifecycle -------------------------------------------------------------

TEST_F(SubscriptionTest, DeliveryThreadSendsQueuedEventsAndStopsWithItsSubscription) {
    AeServerContext context = Context();
    context.startDeliveryThreads = true;
    auto threaded = std::make_unique<OPCEventServer>(context);
    std::shared_ptr<OPCEventSubscription> s;
    threaded->CreateEventSubscription(true, 20, 10, 5, &s, nullptr, nullptr);
    std::uint32_t c = 0;
    s->Advise(sink, &c);
    Activate(pump, 2, 2);
    threaded->DistributeEvent(TagRecord(pump, 2, true));
    for (int i = 0; i < 1000 && sink->EventCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(sink->EventCount(), 1u);
    EXPECT_EQ(sink->Calls()[0].clientHandle, 5u);
    threaded->ReleaseSubscription(s.get());
    s.reset();
    EXPECT_TRUE(trace.Has("OPC AE subscription object destroyed"));
    threaded.reset();
}

// A delivery pool that cannot have a thread refuses the subscription (it would never
// deliver); once threads can be had, the next subscription delivers.
TEST_F(SubscriptionTest, ASubscriptionThatCouldNotDeliverIsRefusedAndTheNextOneIsNot) {
    auto refused = std::make_unique<testing::ThreadsRefused>();
    auto pooled = std::make_unique<OPCEventServer>(PooledContext(2));
    std::shared_ptr<OPCEventSubscription> s;
    EXPECT_EQ(pooled->CreateEventSubscription(true, 20, 10, 5, &s, nullptr, nullptr), E_FAIL);
    EXPECT_EQ(s, nullptr);
    refused.reset();
    ASSERT_EQ(pooled->CreateEventSubscription(true, 20, 10, 5, &s, nullptr, nullptr), S_OK);
    std::uint32_t c = 0;
    s->Advise(sink, &c);
    Activate(pump, 2, 2);
    pooled->DistributeEvent(TagRecord(pump, 2, true));
    for (int i = 0; i < 1000 && sink->EventCount() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(sink->EventCount(), 1u);
    pooled->ReleaseSubscription(s.get());
}

TEST_F(SubscriptionTest, ConcurrentProducersAcknowledgementsAndDeliveryLoseNothing) {
    AeServerContext context = Context();
    context.startDeliveryThreads = true;
    auto threaded = std::make_unique<OPCEventServer>(context);
    ASSERT_EQ(servers.servers.size(), 1u);  // acknowledgements go to this object only
    std::shared_ptr<OPCEventSubscription> s;
    threaded->CreateEventSubscription(true, 5, 50, 5, &s, nullptr, nullptr);
    std::uint32_t c = 0;
    s->Advise(sink, &c);
    Activate(pump, 2, 2);
    Activate(level, 4, 6);
    const BEvent pumpRecord = TagRecord(pump, 2, true);
    const BEvent levelRecord = TagRecord(level, 6, true);
    constexpr int kPerProducer = 400;
    constexpr int kAcks = 50;
    std::thread a([&] {
        for (int i = 0; i < kPerProducer; ++i) threaded->DistributeEvent(pumpRecord);
    });
    std::thread b([&] {
        for (int i = 0; i < kPerProducer; ++i) threaded->DistributeEvent(levelRecord);
    });
    std::thread acks([&] {
        std::vector<HRESULT> errors;
        for (int i = 0; i < kAcks; ++i)
            threaded->AckCondition({{"", "Discrete On", 0, pump.id}}, "op", nullptr, &errors);
    });
    std::thread refresh([&] {
        for (int i = 0; i < 20; ++i) s->Refresh(c);
    });
    a.join();
    b.join();
    acks.join();
    refresh.join();
    const std::size_t expected = 2 * kPerProducer + kAcks;
    auto delivered = [&] {
        std::size_t n = 0;
        for (const auto& call : sink->Calls())
            if (!call.refresh) n += call.events.size();
        return n;
    };
    for (int i = 0; i < 2000 && delivered() < expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(delivered(), expected);
    EXPECT_EQ(s->DroppedRecords(), 0u);
    for (const auto& call : sink->Calls()) EXPECT_LE(call.events.size(), 50u);
    threaded->ReleaseSubscription(s.get());
    s.reset();
}

TEST_F(SubscriptionTest, OwnerDestructionStopsSubscriptionsTheClientStillHolds) {
    AeServerContext context = Context();
    context.startDeliveryThreads = true;
    auto owner = std::make_unique<OPCEventServer>(context);
    std::shared_ptr<OPCEventSubscription> s;
    owner->CreateEventSubscription(true, 20, 10, 5, &s, nullptr, nullptr);
    owner.reset();
    EXPECT_TRUE(trace.Has("OPC AE server object destroyed"));
    EXPECT_FALSE(trace.Has("OPC AE subscription object destroyed"));
    s.reset();
    EXPECT_TRUE(trace.Has("OPC AE subscription object destroyed"));
}

// --- shared delivery threads ----------------------------------------------------------

// Holds every call until opened; the test opens it before it ends.
class SilentEventSink final : public IOPCEventSink {
  public:
    ~SilentEventSink() override { Open(); }
    HRESULT OnEvent(std::uint32_t, bool, bool, const std::vector<OnEventStruct>& events) override {
        {
            std::lock_guard lock(mutex_);
            for (const auto& event : events) times_.push_back(event.time);
        }
        if (!reached_.exchange(true)) reachedOnce_.set_value();
        gate_.wait();
        return S_OK;
    }
    bool WaitReached() {
        return reached_future_.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    }
    void Open() {
        if (!opened_.exchange(true)) open_.set_value();
    }
    std::vector<FileTime> Times() const {
        std::lock_guard lock(mutex_);
        return times_;
    }

  private:
    std::promise<void> open_;
    std::shared_future<void> gate_ = open_.get_future().share();
    std::promise<void> reachedOnce_;
    std::future<void> reached_future_ = reachedOnce_.get_future();
    std::atomic<bool> reached_{false};
    std::atomic<bool> opened_{false};
    mutable std::mutex mutex_;
    std::vector<FileTime> times_;
};

std::vector<FileTime> TimesOf(const RecordingEventSink& sink) {
    std::vector<FileTime> times;
    for (const SinkCall& call : sink.Calls())
        for (const auto& event : call.events) times.push_back(event.time);
    return times;
}

bool Eventually(const std::function<bool()>& condition) {
    return testing::WaitUntil(condition, std::chrono::seconds(20));
}

TEST_F(SubscriptionTest, ManySubscriptionsOfSeveralClientsShareBoundedThreadsAndKeepTheirOrder) {
    const std::size_t before = ThreadsOfThisProcess();
    const AeServerContext context = PooledContext(4);
    constexpr int kClients = 6;
    constexpr int kPerClient = 50;
    constexpr FileTime kEvents = 20;
    std::vector<std::unique_ptr<OPCEventServer>> clients;
    std::vector<std::shared_ptr<OPCEventSubscription>> subscriptions;
    std::vector<std::shared_ptr<RecordingEventSink>> sinks;
    for (int c = 0; c < kClients; ++c) {
        clients.push_back(std::make_unique<OPCEventServer>(context));
        for (int k = 0; k < kPerClient; ++k) {
            std::shared_ptr<OPCEventSubscription> s;
            ASSERT_EQ(clients.back()->CreateEventSubscription(true, 10, 7, 1, &s, nullptr, nullptr),
                      S_OK);
            sinks.push_back(std::make_shared<RecordingEventSink>());
            std::uint32_t cookie = 0;
            s->Advise(sinks.back(), &cookie);
            subscriptions.push_back(std::move(s));
        }
    }
    // Three hundred subscriptions run on the pool's threads, not one thread each (a little
    // room for threads a sanitizer's runtime starts on its own).
    EXPECT_LE(ThreadsOfThisProcess(), before + context.deliveryPool->ThreadCount() + 4);
    Activate(level, 4, 6);
    for (FileTime i = 1; i <= kEvents; ++i) {
        BEvent record = TagRecord(level, 6, true);
        record.eventTime = i;
        for (auto& client : clients) client->DistributeEvent(record);
    }
    std::vector<FileTime> expected;
    for (FileTime i = 1; i <= kEvents; ++i) expected.push_back(i);
    EXPECT_TRUE(Eventually([&] {
        return std::all_of(sinks.begin(), sinks.end(), [](const auto& sink) {
            return sink->EventCount() == static_cast<std::size_t>(kEvents);
        });
    }));
    for (const auto& sink : sinks) {
        EXPECT_EQ(TimesOf(*sink), expected);
        for (const SinkCall& call : sink->Calls()) EXPECT_LE(call.events.size(), 7u);
    }
    subscriptions.clear();
    clients.clear();
    EXPECT_EQ(context.deliveryPool->Registered(), 0u);
}

TEST_F(SubscriptionTest, ASilentSinkDoesNotHoldUpAnotherClientsDelivery) {
    const AeServerContext context = PooledContext(2);
    OPCEventServer silentClient(context);
    OPCEventServer liveClient(context);
    auto silent = std::make_shared<SilentEventSink>();
    std::shared_ptr<OPCEventSubscription> held;
    std::shared_ptr<OPCEventSubscription> live;
    silentClient.CreateEventSubscription(true, 10, 10, 1, &held, nullptr, nullptr);
    liveClient.CreateEventSubscription(true, 10, 10, 2, &live, nullptr, nullptr);
    // Declared after the subscription: a failing test still lets its pass end.
    struct OpenAtEnd {
        SilentEventSink& sink;
        ~OpenAtEnd() { sink.Open(); }
    } openAtEnd{*silent};
    std::uint32_t cookie = 0;
    held->Advise(silent, &cookie);
    live->Advise(sink, &cookie);
    Activate(level, 4, 6);
    BEvent record = TagRecord(level, 6, true);
    record.eventTime = 1;
    silentClient.DistributeEvent(record);
    ASSERT_TRUE(silent->WaitReached());
    // The silent client holds its delivery inside its sink; the other's events go on.
    for (FileTime i = 2; i <= 4; ++i) {
        record.eventTime = i;
        silentClient.DistributeEvent(record);
        liveClient.DistributeEvent(record);
    }
    EXPECT_TRUE(Eventually([&] { return sink->EventCount() == 3; }));
    EXPECT_EQ(silent->Times(), (std::vector<FileTime>{1}));
    // Once it answers, the silent client gets what waited, in order.
    silent->Open();
    EXPECT_TRUE(Eventually([&] { return silent->Times().size() == 4; }));
    EXPECT_EQ(silent->Times(), (std::vector<FileTime>{1, 2, 3, 4}));
    liveClient.ReleaseSubscription(live.get());
    silentClient.ReleaseSubscription(held.get());
}
}  // namespace
}  // namespace velk
