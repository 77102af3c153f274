// The AE server class on a private bus: a client's instance, its subscriptions with their
// sinks, area browsers and acknowledgements, as a bus client sees them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

#include "model/locks.h"
#include "opc/bus/argument_limits.h"
#include "opc/opc_result.h"
#include "opcae/bus/ae_bus_class.h"
#include "opcae/opc_event_subscription.h"
#include "platform/dbus/bus_host.h"
#include "tests/opcae/ae_test_support.h"
#include "tests/opcae/bus/bus_ae_client.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"

namespace velk {
namespace {

using namespace aebus;

using testing::AeBusClient;
using testing::BusCallResult;
using testing::BusSinkCallRecord;
using testing::BusTestClient;

constexpr const char* kServer = "VELK.OPC.IOPCEventServer";
constexpr const char* kMgt = "VELK.OPC.IOPCEventSubscriptionMgt";
constexpr const char* kMgt2 = "VELK.OPC.IOPCEventSubscriptionMgt2";
constexpr const char* kPoints = "VELK.OPC.IConnectionPointContainer";
constexpr const char* kBrowser = "VELK.OPC.IOPCEventAreaBrowser";

BusValue U(std::uint32_t v) { return BusValue::UInt32(v); }
BusValue S(std::string v) { return BusValue::String(std::move(v)); }
BusValue Us(std::vector<std::uint32_t> v) { return BusValue::UInt32Array(v); }
BusValue Ss(std::vector<std::string> v) { return BusValue::StringArray(v); }
std::uint32_t AsU(const BusValue& v) { return *v.Get<std::uint32_t>(); }
std::int32_t AsI(const BusValue& v) { return *v.Get<std::int32_t>(); }

class AeBusTest : public ::testing::Test, public testing::AeFixture {
  protected:
    AeBusTest()
        : plc1(AddDevice("PLC1")),
          plc2(AddDevice("PLC2")),
          g1(AddGroup(plc1, "G")),
          g2(AddGroup(plc2, "H")),
          pump(AddBinaryTag(g1, "Pump")),
          level(AddAnalogTag(g1, "Level")),
          other(AddAnalogTag(g2, "Other")) {}

    void SetUp() override {
        ASSERT_TRUE(bus.Start()) << bus.Problem();
        std::string reason;
        ASSERT_TRUE(host.Connect(BusTarget::At(bus.Address()), reason)) << reason;
        ASSERT_TRUE(host.AddClass(aeClass, reason)) << reason;
        ASSERT_TRUE(host.Start());
    }
    void TearDown() override { host.Stop(); }

    AeServerContext LiveContext() {
        AeServerContext context = Context();
        context.startDeliveryThreads = true;
        return context;
    }

    // An instance, a subscription of it and an advised sink; the subscription path and the
    // connection cookie.
    struct Subscribed {
        std::string instance;
        std::string subscription;
        std::uint32_t cookie = 0;
    };
    Subscribed Subscribe(AeBusClient& client, std::uint32_t bufferTime, std::uint32_t maxSize,
                         std::uint32_t handle = 9, std::string instance = {}) {
        Subscribed s;
        s.instance = instance.empty() ? client.CreateInstance() : instance;
        EXPECT_FALSE(s.instance.empty());
        auto created = client.Call(
            s.instance, kServer, "CreateEventSubscription",
            {BusValue::Bool(true), U(bufferTime), U(maxSize), U(handle), S("")}, "iouu");
        EXPECT_TRUE(created.Ok()) << created.errorName;
        if (!created.Ok()) return s;
        s.subscription = *created.values[1].Text();
        const std::string sinkPath = "/Sink" + std::to_string(++sinks);
        client.ExportEventSink(sinkPath);
        auto advised = client.Call(s.subscription, kPoints, "Advise",
                                   {S(kIOPCEventSink), BusValue::ObjectPath(sinkPath)}, "u");
        EXPECT_TRUE(advised.Ok()) << advised.errorName;
        if (advised.Ok()) s.cookie = AsU(advised.values[0]);
        return s;
    }
    // Active analog conditions PLC2.Many.T1000, T1001, ... in document order.
    void AddActiveConditions(int count) {
        OTagGroup& many = AddGroup(plc2, "Many");
        for (int i = 0; i < count; ++i)
            Activate(AddAnalogTag(many, "T" + std::to_string(1000 + i)), 4, 6);
    }
    void Raise(OModbusTag& tag, std::uint16_t state, std::uint16_t sub) {
        Activate(tag, state, sub);
        servers.DistributeToAeServers(TagRecord(tag, sub, true));
    }
    static BusCallResult SetFilter(AeBusClient& client, const std::string& path,
                                   std::vector<std::uint32_t> categories, std::uint32_t low,
                                   std::uint32_t high, std::vector<std::string> areas,
                                   std::vector<std::string> sources = {}) {
        return client.Call(path, kMgt, "SetFilter",
                           {U(7), Us(std::move(categories)), U(low), U(high), Ss(std::move(areas)),
                            Ss(std::move(sources))},
                           "i");
    }
    static std::vector<std::string> Sources(const std::vector<OnEventStruct>& events) {
        std::vector<std::string> out;
        for (const auto& e : events) out.push_back(e.source);
        return out;
    }

    testing::PrivateBus bus;
    testing::CountingModuleLock lock;
    BusHost host{lock};
    static constexpr std::size_t kQuota = 8;  // subscriptions per client in these tests
    AeBusClass aeClass{testing::kAeName, testing::kAeFactory,
                       [this] { return std::optional(LiveContext()); }, kQuota};
    ODevice& plc1;
    ODevice& plc2;
    OTagGroup& g1;
    OTagGroup& g2;
    OModbusTag& pump;
    OModbusTag& level;
    OModbusTag& other;
    int sinks = 0;
};

TEST_F(AeBusTest, TheInstanceAnswersTheEventSpaceAndItsArgumentRules) {
    AeBusClient client(bus.Address());
    const std::string instance = client.CreateInstance();
    ASSERT_FALSE(instance.empty());
    EXPECT_EQ(servers.servers.size(), 1u);  // joined the server list, counting as a client

    auto interfaces = client.Call(instance, "VELK.Object", "GetInterfaces", {}, "as");
    ASSERT_TRUE(interfaces.Ok());
    EXPECT_EQ(StringList(interfaces.values[0]),
              (std::vector<std::string>{"VELK.Object", "VELK.OPC.IOPCCommon", kServer, kPoints}));

    // IOPCEventServer2 exists behind IOPCEventServer but is not offered.
    EXPECT_EQ(
        client.Call(instance, "VELK.Object", "QueryInterface", {S("VELK.OPC.IOPCEventServer2")}, "")
            .code,
        E_NOINTERFACE);
    EXPECT_TRUE(client.Call(instance, "VELK.Object", "QueryInterface", {S(kServer)}, "").Ok());

    auto categories = client.Call(instance, kServer, "QueryEventCategories", {U(4)}, "auas");
    ASSERT_TRUE(categories.Ok());
    EXPECT_EQ(UInt32List(categories.values[0]), (std::vector<std::uint32_t>{1, 2, 4, 8}));
    EXPECT_EQ(StringList(categories.values[1]),
              (std::vector<std::string>{"Device", "Discrete", "Analog", "User-defined"}));
    EXPECT_EQ(client.Call(instance, kServer, "QueryEventCategories", {U(8)}, "auas").code,
              E_INVALIDARG);

    auto conditions = client.Call(instance, kServer, "QueryConditionNames", {U(2)}, "as");
    ASSERT_TRUE(conditions.Ok());
    EXPECT_EQ(StringList(conditions.values[0]),
              (std::vector<std::string>{"Discrete Trip", "Discrete On"}));
    EXPECT_EQ(client.Call(instance, kServer, "QueryConditionNames", {U(8)}, "as").code,
              E_INVALIDARG);
    auto subconditions =
        client.Call(instance, kServer, "QuerySubConditionNames", {S("Analog Level")}, "as");
    EXPECT_EQ(StringList(subconditions.values[0]),
              (std::vector<std::string>{"LoLo", "Low", "High", "HiHi"}));
    EXPECT_EQ(
        client.Call(instance, kServer, "QuerySubConditionNames", {S("analog level")}, "as").code,
        E_INVALIDARG);
    auto source = client.Call(instance, kServer, "QuerySourceConditions", {S("PLC1.G.Pump")}, "as");
    ASSERT_TRUE(source.Ok());
    EXPECT_EQ(StringList(source.values[0]), (std::vector<std::string>{"Discrete Trip"}));
    EXPECT_EQ(client.Call(instance, kServer, "QuerySourceConditions", {S("PLC1")}, "as").code,
              E_INVALIDARG);

    auto attributes = client.Call(instance, kServer, "QueryEventAttributes", {U(8)}, "auasaq");
    ASSERT_TRUE(attributes.Ok());
    EXPECT_EQ(UInt32List(attributes.values[0]),
              (std::vector<std::uint32_t>{110, 111, 112, 113, 114}));
    EXPECT_EQ(*attributes.values[2].Children()[0].Get<std::uint16_t>(), VT_BOOL);
    EXPECT_EQ(client.Call(instance, kServer, "QueryEventAttributes", {U(3)}, "auasaq").code,
              E_INVALIDARG);

    auto filters = client.Call(instance, kServer, "QueryAvailableFilters", {}, "u");
    EXPECT_EQ(AsU(filters.values[0]), 15u);
    EXPECT_EQ(client
                  .Call(instance, kServer, "TranslateToItemIDs",
                        {S("x"), U(1), S("c"), S(""), Us({})}, "")
                  .code,
              E_NOTIMPL);
    EXPECT_EQ(
        client.Call(instance, kServer, "GetConditionState", {S("x"), S("c"), Us({})}, "").code,
        E_NOTIMPL);
    EXPECT_EQ(client.Call(instance, kServer, "EnableConditionByArea", {Ss({})}, "").code,
              E_INVALIDARG);
    EXPECT_EQ(
        client.Call(instance, kServer, "DisableConditionBySource", {Ss({"PLC1.G.Pump"})}, "").code,
        E_NOTIMPL);

    auto status = client.Call(instance, kServer, "GetStatus", {}, "tttuqqqs");
    ASSERT_TRUE(status.Ok());
    EXPECT_EQ(*status.values[0].Get<std::uint64_t>(), clock.NowUtc());
    EXPECT_EQ(AsU(status.values[3]), OPC_STATUS_RUNNING);
    EXPECT_EQ(*status.values[7].Text(), "VELK");

    const char* common = "VELK.OPC.IOPCCommon";
    EXPECT_EQ(client.Call(instance, common, "SetLocaleID", {U(0x0409)}, "").code, E_INVALIDARG);
    EXPECT_EQ(AsU(client.Call(instance, common, "GetLocaleID", {}, "u").values[0]), 0x0800u);
    auto text = client.Call(instance, common, "GetErrorString",
                            {BusValue::Int32(OPC_E_INVALIDBRANCHNAME)}, "s");
    EXPECT_EQ(*text.values[0].Text(), "The string was not recognized as an area name");

    EXPECT_EQ(
        client
            .Call(instance, kPoints, "Advise", {S(kIOPCEventSink), BusValue::ObjectPath("/x")}, "u")
            .code,
        CONNECT_E_NOCONNECTION);
    EXPECT_TRUE(
        trace.Contains("Called IConnectionPoint<IOPCShutdown>::Advise, return code: 0x80040200"));
    auto points = client.Call(instance, kPoints, "EnumConnectionPoints", {}, "as");
    EXPECT_EQ(StringList(points.values[0]), std::vector<std::string>{kShutdownSinkInterface});
}

TEST_F(AeBusTest, WithoutAConfigurationDocumentTheClassRefusesInstances) {
    AeBusClass early{"VELK.AlarmEventServerEarly", "/VELK/AlarmEventServerEarly",
                     [] { return std::optional<AeServerContext>(); }};
    std::string reason;
    ASSERT_TRUE(host.AddClass(early, reason)) << reason;
    BusTestClient client(bus.Address());
    testing::BusFailure failure;
    EXPECT_TRUE(
        client.CreateInstance("VELK.AlarmEventServerEarly", "/VELK/AlarmEventServerEarly", &failure)
            .empty());
    EXPECT_EQ(ParseHresultMessage(failure.message), CLASS_E_CLASSNOTAVAILABLE) << failure.message;
    EXPECT_TRUE(servers.servers.empty());
}

TEST_F(AeBusTest, SubscriptionParametersAreRevisedAndReported) {
    AeBusClient client(bus.Address());
    const std::string instance = client.CreateInstance();
    auto create = [&](std::uint32_t time, std::uint32_t size, const std::string& interface = "") {
        return client.Call(instance, kServer, "CreateEventSubscription",
                           {BusValue::Bool(true), U(time), U(size), U(5), S(interface)}, "iouu");
    };
    auto zero = create(0, 0);
    ASSERT_TRUE(zero.Ok());
    EXPECT_EQ(AsI(zero.values[0]), OPC_S_INVALIDMAXSIZE);
    EXPECT_EQ(AsU(zero.values[2]), 1000u);
    EXPECT_EQ(AsU(zero.values[3]), 1024u);
    auto large = create(500, 5000);
    EXPECT_EQ(AsI(large.values[0]), OPC_S_INVALIDMAXSIZE);
    EXPECT_EQ(AsU(large.values[2]), 500u);
    auto time = create(0, 100);
    EXPECT_EQ(AsI(time.values[0]), OPC_S_INVALIDBUFFERTIME);
    auto exact = create(200, 100, kMgt2);
    EXPECT_EQ(AsI(exact.values[0]), S_OK);
    EXPECT_NE(*exact.values[1].Text(), *time.values[1].Text());
    EXPECT_EQ(create(200, 100, "VELK.OPC.IOPCServer").code, E_NOINTERFACE);
    EXPECT_TRUE(
        trace.Contains("Called IOPCEventServer::CreateEventSubscription, return code: 0x80004002"));
    auto* server = dynamic_cast<OPCEventServer*>(servers.servers.at(0));
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->SubscriptionCount(), 4u);  // the refused one did not stay

    const std::string path = *exact.values[1].Text();
    auto state = client.Call(path, kMgt, "GetState", {}, "buuu");
    ASSERT_TRUE(state.Ok());
    EXPECT_TRUE(*state.values[0].Get<bool>());
    EXPECT_EQ(AsU(state.values[1]), 200u);
    EXPECT_EQ(AsU(state.values[2]), 100u);
    EXPECT_EQ(AsU(state.values[3]), 5u);

    // Empty lists leave a value as it is; a maximum size of 0 is revised to 1024.
    auto set = client.Call(path, kMgt, "SetState",
                           {BusValue::Array("b", {}), Us({0}), Us({0}), U(77)}, "iuu");
    ASSERT_TRUE(set.Ok());
    EXPECT_EQ(AsI(set.values[0]), OPC_S_INVALIDMAXSIZE);
    EXPECT_EQ(AsU(set.values[1]), 0u);  // a buffer time of 0 is kept here
    EXPECT_EQ(AsU(set.values[2]), 1024u);
    state = client.Call(path, kMgt, "GetState", {}, "buuu");
    EXPECT_TRUE(*state.values[0].Get<bool>());
    EXPECT_EQ(AsU(state.values[3]), 77u);
    set = client.Call(path, kMgt, "SetState",
                      {BusValue::Array("b", {BusValue::Bool(false)}), Us({1000}), Us({}), U(77)},
                      "iuu");
    EXPECT_EQ(AsI(set.values[0]), S_OK);
    EXPECT_EQ(AsU(set.values[2]), 1024u);
    EXPECT_FALSE(*client.Call(path, kMgt, "GetState", {}, "buuu").values[0].Get<bool>());

    auto keep = client.Call(path, kMgt2, "SetKeepAlive", {U(0)}, "iu");
    ASSERT_TRUE(keep.Ok());
    EXPECT_EQ(AsI(keep.values[0]), OPC_S_INVALIDKEEPALIVETIME);
    EXPECT_EQ(AsU(keep.values[1]), 1000u);
    EXPECT_EQ(AsU(client.Call(path, kMgt2, "GetKeepAlive", {}, "u").values[0]), 1000u);

    // Release ends the subscription and it leaves its owner's list.
    ASSERT_TRUE(client.Call(path, "VELK.Object", "Release", {}, "").Ok());
    // The host destroys a released object once the call has ended, which may be just after
    // its answer.
    EXPECT_TRUE(testing::WaitUntil([&] { return server->SubscriptionCount() == 3u; },
                                   std::chrono::seconds(20)));
    EXPECT_FALSE(client.Call(path, kMgt, "GetState", {}, "buuu").Ok());
}

TEST_F(AeBusTest, AnActivationReachesTheSinkWithEveryField) {
    AeBusClient client(bus.Address());
    auto s = Subscribe(client, 50, 100, 31);
    ASSERT_TRUE(
        client.Call(s.subscription, kMgt, "SelectReturnedAttributes", {U(4), Us({112, 113})}, "")
            .Ok());
    auto selected = client.Call(s.subscription, kMgt, "GetReturnedAttributes", {U(4)}, "au");
    EXPECT_EQ(UInt32List(selected.values[0]), (std::vector<std::uint32_t>{112, 113}));
    level.description = "Tank level";
    level.value = Variant::Float(95.25f);
    AeFixture::Analog(level).area = "North";
    Raise(level, 8, 7);  // HiHi

    ASSERT_TRUE(client.WaitForEvents(1));
    const auto calls = client.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].clientHandle, 31u);
    EXPECT_FALSE(calls[0].refresh);
    EXPECT_FALSE(calls[0].lastRefresh);
    ASSERT_EQ(calls[0].events.size(), 1u);
    const OnEventStruct& e = calls[0].events[0];
    EXPECT_EQ(e.changeMask, OPC_CHANGE_ACTIVE_STATE | OPC_CHANGE_MESSAGE | OPC_CHANGE_ATTRIBUTE);
    EXPECT_EQ(e.newState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE);
    EXPECT_EQ(e.source, "PLC1.G.Level");
    EXPECT_EQ(e.time, clock.NowUtc());
    EXPECT_EQ(e.message, "Tank level very high");
    EXPECT_EQ(e.eventType, 4u);
    EXPECT_EQ(e.eventCategory, 4u);
    EXPECT_EQ(e.severity, 750u);
    EXPECT_EQ(e.conditionName, "Analog Level");
    EXPECT_EQ(e.subconditionName, "HiHi");
    EXPECT_EQ(e.quality, level.quality);
    EXPECT_TRUE(e.ackRequired);
    EXPECT_EQ(e.activeTime, level.activeTime);
    EXPECT_EQ(e.cookie, level.id);
    EXPECT_EQ(e.attributes, (std::vector<Variant>{Variant::Text("95.25"), Variant::Text("North")}));
    EXPECT_EQ(e.actorId, "");
}

TEST_F(AeBusTest, AnAcknowledgementReachesEverySubscriptionOfEveryClient) {
    AeBusClient first(bus.Address());
    AeBusClient second(bus.Address());
    auto a = Subscribe(first, 50, 100);
    auto b = Subscribe(first, 50, 100, 10, a.instance);
    auto c = Subscribe(second, 50, 100);
    Raise(level, 4, 6);
    ASSERT_TRUE(first.WaitForEvents(2));
    ASSERT_TRUE(second.WaitForEvents(1));
    const std::uint32_t cookie = first.Events().at(0).cookie;
    first.ClearCalls();
    second.ClearCalls();

    const BusValue entry = BusValue::Struct(
        {S("PLC1.G.Level"), S("Analog Level"), BusValue::UInt64(level.activeTime), U(cookie)});
    auto ack = first.Call(a.instance, kServer, "AckCondition",
                          {S("operator 7"), S("seen"), BusValue::Array("(sstu)", {entry})}, "ai");
    ASSERT_TRUE(ack.Ok()) << ack.errorName;
    ASSERT_EQ(ack.values[0].Children().size(), 1u);
    EXPECT_EQ(AsI(ack.values[0].Children()[0]), S_OK);
    EXPECT_EQ(level.acknowledgeState, 0u);

    ASSERT_TRUE(first.WaitForEvents(2));
    ASSERT_TRUE(second.WaitForEvents(1));
    std::vector<OnEventStruct> all = first.Events();
    const auto more = second.Events();
    all.insert(all.end(), more.begin(), more.end());
    ASSERT_EQ(all.size(), 3u);
    for (const auto& e : all) {
        EXPECT_EQ(e.changeMask, OPC_CHANGE_ACK_STATE);
        EXPECT_EQ(e.newState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACTIVE | OPC_CONDITION_ACKED);
        EXPECT_EQ(e.actorId, "operator 7");
        EXPECT_EQ(e.cookie, cookie);
        EXPECT_FALSE(e.ackRequired);
    }
    // Each subscription got its own copy: two sinks on the first client, one on the second.
    EXPECT_EQ(first.Calls().size(), 2u);

    // An unknown condition name fails its entry; an unknown cookie the whole call.
    const BusValue wrongName =
        BusValue::Struct({S("PLC1.G.Level"), S("Level"), BusValue::UInt64(0), U(cookie)});
    auto partly = first.Call(a.instance, kServer, "AckCondition",
                             {S(""), S(""), BusValue::Array("(sstu)", {wrongName})}, "ai");
    ASSERT_TRUE(partly.Ok());
    EXPECT_EQ(AsI(partly.values[0].Children()[0]), E_INVALIDARG);
    const BusValue noTag =
        BusValue::Struct({S("x"), S("Analog Level"), BusValue::UInt64(0), U(0xFFFFFF)});
    EXPECT_EQ(first
                  .Call(a.instance, kServer, "AckCondition",
                        {S(""), S(""), BusValue::Array("(sstu)", {noTag})}, "ai")
                  .code,
              E_INVALIDARG);
    EXPECT_EQ(first
                  .Call(a.instance, kServer, "AckCondition",
                        {S(""), S(""), BusValue::Array("(sstu)", {})}, "ai")
                  .code,
              E_INVALIDARG);
    (void)b;
    (void)c;
}

TEST_F(AeBusTest, RefreshSendsTheCurrentConditionsThenTheLastRefreshMarker) {
    AeBusClient client(bus.Address());
    // A long buffer time: the refresh answers at once, not with the delivery.
    auto s = Subscribe(client, 60000, 1);
    Activate(level, 4, 6);
    Activate(other, 1, 4);
    ASSERT_TRUE(client.Call(s.subscription, kMgt, "Refresh", {U(s.cookie)}, "").Ok());
    ASSERT_TRUE(client.WaitForCalls(
        [](const auto& calls) { return !calls.empty() && calls.back().lastRefresh; }));
    const auto calls = client.Calls();
    ASSERT_EQ(calls.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(calls[i].refresh);
        EXPECT_FALSE(calls[i].lastRefresh);
        ASSERT_EQ(calls[i].events.size(), 1u);
        EXPECT_EQ(calls[i].events[0].changeMask, 0x47);
    }
    EXPECT_EQ(calls[0].events[0].source, "PLC1.G.Level");
    EXPECT_EQ(calls[1].events[0].source, "PLC2.H.Other");
    EXPECT_EQ(calls[1].events[0].subconditionName, "LoLo");
    EXPECT_TRUE(calls[2].refresh);
    EXPECT_TRUE(calls[2].events.empty());

    EXPECT_EQ(client.Call(s.subscription, kMgt, "Refresh", {U(s.cookie + 1)}, "").code,
              E_INVALIDARG);
    // After Unadvise the cookie is no connection any more.
    ASSERT_TRUE(
        client.Call(s.subscription, kPoints, "Unadvise", {S(kIOPCEventSink), U(s.cookie)}, "")
            .Ok());
    EXPECT_EQ(client.Call(s.subscription, kMgt, "Refresh", {U(s.cookie)}, "").code, E_INVALIDARG);
    EXPECT_EQ(
        client.Call(s.subscription, kPoints, "Unadvise", {S(kIOPCEventSink), U(s.cookie)}, "").code,
        CONNECT_E_NOCONNECTION);
}

TEST_F(AeBusTest, ARefreshOfMoreConditionsThanABusClientMayHaveUnansweredLosesNone) {
    // One event per call: far more calls than the bus lets a client leave unanswered.
    constexpr int kConditions = 150;
    AddActiveConditions(kConditions);
    AeBusClient client(bus.Address());
    auto s = Subscribe(client, 60000, 1);
    ASSERT_TRUE(client.Call(s.subscription, kMgt, "Refresh", {U(s.cookie)}, "").Ok());
    ASSERT_TRUE(client.WaitForCalls(
        [](const auto& calls) { return !calls.empty() && calls.back().lastRefresh; }));
    const auto calls = client.Calls();
    ASSERT_EQ(calls.size(), kConditions + 1u);
    std::vector<std::string> sources;
    for (std::size_t i = 0; i < kConditions; ++i) {
        ASSERT_EQ(calls[i].events.size(), 1u);
        EXPECT_FALSE(calls[i].lastRefresh);
        sources.push_back(calls[i].events[0].source);
    }
    // In the document's tag order, each once.
    EXPECT_EQ(sources.front(), "PLC2.Many.T1000");
    EXPECT_EQ(sources.back(), "PLC2.Many.T1149");
    EXPECT_EQ(std::set<std::string>(sources.begin(), sources.end()).size(),
              std::size_t{kConditions});
}

TEST_F(AeBusTest, CancelRefreshReachesTheRefreshThatIsRunning) {
    AddActiveConditions(100);
    AeBusClient client(bus.Address());
    auto s = Subscribe(client, 60000, 1);
    auto refreshed = std::make_shared<std::atomic<bool>>(false);
    BusCallResult cancelled;
    {
        // The refresh waits for the tag data at its first condition while the test holds it.
        std::lock_guard tagData(document.Locks().tagData);
        client.Send(s.subscription, kMgt, "Refresh", {U(s.cookie)}, refreshed);
        std::this_thread::sleep_for(std::chrono::seconds(1));  // the refresh is running
        cancelled = client.Call(s.subscription, kMgt, "CancelRefresh", {U(s.cookie)}, "");
        EXPECT_FALSE(*refreshed);
    }
    EXPECT_TRUE(cancelled.Ok()) << cancelled.errorName;
    ASSERT_TRUE(testing::WaitUntil([&] { return refreshed->load(); }, std::chrono::seconds(30)));
    ASSERT_TRUE(client.WaitForCalls(
        [](const auto& calls) { return !calls.empty() && calls.back().lastRefresh; }));
    // It stopped after the condition it was at, and still ended with the last-refresh call.
    EXPECT_LE(client.Calls().size(), 2u);
}

TEST_F(AeBusTest, AClientHoldsNoMoreSubscriptionsThanItsQuota) {
    AeBusClient client(bus.Address());
    const std::string first = client.CreateInstance();
    const std::string second = client.CreateInstance();
    const auto create = [&](const std::string& instance) {
        return client.Call(instance, kServer, "CreateEventSubscription",
                           {BusValue::Bool(true), U(1000), U(10), U(1), S("")}, "iouu");
    };
    std::vector<std::string> held;
    for (std::size_t i = 0; i < kQuota; ++i) {
        auto created = create(i % 2 == 0 ? first : second);
        ASSERT_TRUE(created.Ok()) << i << " " << created.errorName;
        held.push_back(*created.values[1].Text());
    }
    // The quota counts the connection's subscriptions over all its instances.
    EXPECT_EQ(create(first).code, E_OUTOFMEMORY);
    EXPECT_EQ(create(second).code, E_OUTOFMEMORY);
    // Another client has a quota of its own; a released subscription gives its slot back.
    AeBusClient other(bus.Address());
    EXPECT_TRUE(other
                    .Call(other.CreateInstance(), kServer, "CreateEventSubscription",
                          {BusValue::Bool(true), U(1000), U(10), U(1), S("")}, "iouu")
                    .Ok());
    ASSERT_TRUE(client.Call(held.back(), "VELK.Object", "Release", {}, "").Ok());
    EXPECT_TRUE(create(first).Ok());
}

TEST_F(AeBusTest, FiltersSelectByCategorySeverityAndArea) {
    AeBusClient client(bus.Address());
    auto s = Subscribe(client, 50, 1024);
    auto get = [&] { return client.Call(s.subscription, kMgt, "GetFilter", {}, "uauuuasas"); };

    // Analog only, severity 640 to 1000, areas of PLC1.
    auto set = SetFilter(client, s.subscription, {4}, 640, 1000, {"plc1*"});
    ASSERT_TRUE(set.Ok());
    EXPECT_EQ(AsI(set.values[0]), S_OK);
    auto filter = get();
    EXPECT_EQ(UInt32List(filter.values[1]), std::vector<std::uint32_t>{4});
    EXPECT_EQ(AsU(filter.values[2]), 640u);
    EXPECT_EQ(StringList(filter.values[4]), std::vector<std::string>{"plc1*"});
    // A filter beyond the limits of one call is refused whole; the one in force stays.
    EXPECT_EQ(SetFilter(client, s.subscription, {4}, 640, 1000, {"plc1*"},
                        std::vector<std::string>(ArgumentLimits::kMaxElements + 1, "PLC1*"))
                  .code,
              E_INVALIDARG);
    EXPECT_EQ(SetFilter(client, s.subscription, {4}, 640, 1000,
                        {std::string(ArgumentLimits::kMaxTextBytes + 1, 'a')})
                  .code,
              E_INVALIDARG);
    EXPECT_EQ(StringList(get().values[4]), std::vector<std::string>{"plc1*"});

    Raise(pump, 2, 2);   // discrete: wrong category
    Raise(level, 2, 5);  // Low, 600: below the severity range
    Raise(other, 8, 7);  // PLC2: wrong area
    Raise(level, 8, 7);  // HiHi, 750: passes
    ASSERT_TRUE(client.WaitForEvents(1));
    // The records are delivered in order, so once the passing one is there nothing before
    // it can still come.
    EXPECT_EQ(Sources(client.Events()), std::vector<std::string>{"PLC1.G.Level"});
    EXPECT_EQ(client.Events()[0].subconditionName, "HiHi");

    // Bad arguments change nothing; sources give S_FALSE and keep the severity filter.
    EXPECT_EQ(SetFilter(client, s.subscription, {4}, 0, 1000, {}).code, E_INVALIDARG);
    EXPECT_EQ(SetFilter(client, s.subscription, {4}, 500, 400, {}).code, E_INVALIDARG);
    EXPECT_EQ(SetFilter(client, s.subscription, {3}, 1, 1000, {"PLC2*"}).code, E_INVALIDARG);
    EXPECT_EQ(AsU(get().values[2]), 640u);
    auto sources = SetFilter(client, s.subscription, {}, 1, 1000, {"PLC2*"}, {"PLC2.H.Other"});
    ASSERT_TRUE(sources.Ok());
    EXPECT_EQ(AsI(sources.values[0]), S_FALSE);
    filter = get();
    EXPECT_EQ(AsU(filter.values[2]), 640u);
    EXPECT_EQ(StringList(filter.values[4]), std::vector<std::string>{"PLC2*"});
    EXPECT_TRUE(filter.values[5].Children().empty());

    // No category filter at all: every category, now of PLC2's groups only (a tag's area is
    // its group's path, so "PLC2" alone would select the device's own events only).
    ASSERT_TRUE(SetFilter(client, s.subscription, {}, 1, 1000, {"PLC2.*"}).Ok());
    EXPECT_TRUE(get().values[1].Children().empty());
    client.ClearCalls();
    Raise(level, 8, 7);
    Raise(other, 1, 4);
    ASSERT_TRUE(client.WaitForEvents(1));
    EXPECT_EQ(Sources(client.Events()), std::vector<std::string>{"PLC2.H.Other"});
}

TEST_F(AeBusTest, ABurstLargerThanTheMaximumSizeComesInBackToBackCallsOfThatSize) {
    AeBusClient client(bus.Address());
    // A maximum size of 0 is revised to 1024; the long buffer time keeps the delivery thread
    // waiting while the burst is queued, as a rule, but the test holds either way.
    auto s = Subscribe(client, 2000, 0);
    Activate(level, 4, 6);
    const BEvent record = TagRecord(level, 6, true);
    for (int i = 0; i < 3000; ++i) servers.DistributeToAeServers(record);
    ASSERT_TRUE(client.WaitForEvents(3000));
    std::vector<std::size_t> sizes;
    for (const auto& call : client.Calls()) sizes.push_back(call.events.size());
    // Whatever the delivery thread's phase when the burst arrived, no call carries more
    // than 1024 events and none is lost.
    std::size_t total = 0;
    for (std::size_t n : sizes) {
        EXPECT_LE(n, 1024u);
        total += n;
    }
    EXPECT_EQ(total, 3000u);
    EXPECT_GE(sizes.size(), 3u);
}

TEST_F(AeBusTest, TheAreaBrowserWalksDevicesGroupsAndSources) {
    AeBusClient client(bus.Address());
    const std::string instance = client.CreateInstance();
    auto created = client.Call(instance, kServer, "CreateAreaBrowser", {}, "o");
    ASSERT_TRUE(created.Ok());
    const std::string browser = *created.values[0].Text();
    EXPECT_EQ(browser.rfind(instance + "/AreaBrowser", 0), 0u);

    auto areas = client.Call(browser, kBrowser, "BrowseOPCAreas", {U(OPC_AREA), S("")}, "ias");
    ASSERT_TRUE(areas.Ok());
    EXPECT_EQ(AsI(areas.values[0]), S_OK);
    EXPECT_EQ(StringList(areas.values[1]), (std::vector<std::string>{"PLC1", "PLC2"}));
    auto none = client.Call(browser, kBrowser, "BrowseOPCAreas", {U(OPC_SOURCE), S("")}, "ias");
    EXPECT_EQ(AsI(none.values[0]), S_FALSE);
    EXPECT_TRUE(none.values[1].Children().empty());
    EXPECT_EQ(AsI(client.Call(browser, kBrowser, "BrowseOPCAreas", {U(OPC_AREA), S("PLC*")}, "ias")
                      .values[0]),
              S_FALSE);

    EXPECT_EQ(
        client.Call(browser, kBrowser, "ChangeBrowsePosition", {U(OPCAE_BROWSE_UP), S("")}, "")
            .code,
        E_FAIL);
    EXPECT_EQ(
        client.Call(browser, kBrowser, "ChangeBrowsePosition", {U(OPCAE_BROWSE_TO), S("PLC1.")}, "")
            .code,
        OPC_E_INVALIDBRANCHNAME);
    ASSERT_TRUE(
        client
            .Call(browser, kBrowser, "ChangeBrowsePosition", {U(OPCAE_BROWSE_DOWN), S("plc1")}, "")
            .Ok());
    auto qualified = client.Call(browser, kBrowser, "GetQualifiedAreaName", {S("")}, "s");
    EXPECT_EQ(*qualified.values[0].Text(), "PLC1");
    ASSERT_TRUE(
        client
            .Call(browser, kBrowser, "ChangeBrowsePosition", {U(OPCAE_BROWSE_TO), S("PLC1.G")}, "")
            .Ok());
    auto sources = client.Call(browser, kBrowser, "BrowseOPCAreas", {U(OPC_SOURCE), S("*")}, "ias");
    auto names = StringList(sources.values[1]);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Level", "Pump"}));
    auto source = client.Call(browser, kBrowser, "GetQualifiedSourceName", {S("Level")}, "s");
    EXPECT_EQ(*source.values[0].Text(), "PLC1.G.Level");
    EXPECT_EQ(client.Call(browser, kBrowser, "GetQualifiedSourceName", {S("Nothing")}, "s").code,
              E_INVALIDARG);
    EXPECT_EQ(client.Call(browser, kBrowser, "GetQualifiedAreaName", {S("Nothing")}, "s").code,
              E_INVALIDARG);
}

TEST_F(AeBusTest, AClientThatStopsAnsweringHoldsUpNoOtherClient) {
    AeBusClient stuck(bus.Address());
    AeBusClient healthy(bus.Address());
    Subscribe(stuck, 20, 1);
    Subscribe(healthy, 20, 1);
    stuck.HoldSinks(true);
    Activate(level, 4, 6);
    const BEvent record = TagRecord(level, 6, true);
    // More calls than the stuck client may have outstanding.
    for (int i = 0; i < 100; ++i) servers.DistributeToAeServers(record);
    ASSERT_TRUE(healthy.WaitForEvents(100));
    // The stuck client got its first call and answers none.
    EXPECT_LE(stuck.Calls().size(), 1u);
    stuck.HoldSinks(false);
}

TEST_F(AeBusTest, TheShutdownSinksAnswerIsTheResultOfTheRequest) {
    AeBusClient client(bus.Address());
    const std::string instance = client.CreateInstance();
    client.ExportShutdownSink("/Shutdown", E_ABORT);
    auto advised = client.Call(instance, kPoints, "Advise",
                               {S(kShutdownSinkInterface), BusValue::ObjectPath("/Shutdown")}, "u");
    ASSERT_TRUE(advised.Ok());
    ASSERT_EQ(servers.servers.size(), 1u);
    EXPECT_EQ(servers.servers[0]->RequestClientShutdown(""), E_ABORT);
    EXPECT_EQ(client.ShutdownReasons(), std::vector<std::string>{""});

    ASSERT_TRUE(
        client
            .Call(instance, kPoints, "Unadvise", {S(kShutdownSinkInterface), advised.values[0]}, "")
            .Ok());
    EXPECT_EQ(servers.servers[0]->RequestClientShutdown(""), S_FALSE);
}

TEST_F(AeBusTest, AClientLeavingTheBusEndsItsServerObject) {
    {
        AeBusClient client(bus.Address());
        Subscribe(client, 50, 10);
        EXPECT_EQ(servers.servers.size(), 1u);
    }
    // The server object leaves the list before it traces its end (the list is read only
    // after that, so that the test does not read it while the bus thread changes it).
    ASSERT_TRUE(testing::WaitUntil(
        [&] {
            return trace.Has("OPC AE subscription object destroyed") &&
                   trace.Has("OPC AE server object destroyed");
        },
        std::chrono::seconds(20)));
    EXPECT_TRUE(servers.servers.empty());
    EXPECT_TRUE(testing::WaitUntil([&] { return lock.Count() == 0; }, std::chrono::seconds(20)));
}

}  // namespace
}  // namespace velk
