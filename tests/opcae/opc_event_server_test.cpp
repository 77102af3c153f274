#include "opcae/opc_event_server.h"

#include <gtest/gtest.h>

#include "opc/opc_result.h"
#include "opcae/opc_event_area_browser.h"
#include "tests/opcae/ae_test_support.h"

namespace velk {
namespace {

using testing::AeFixture;
using testing::RecordingEventSink;
using testing::RecordingShutdownSink;

class EventServerTest : public ::testing::Test, public AeFixture {
  protected:
    std::unique_ptr<OPCEventServer> NewServer() {
        return std::make_unique<OPCEventServer>(Context());
    }
    // An active subscription with a recording sink.
    std::shared_ptr<OPCEventSubscription> Subscribe(OPCEventServer& server,
                                                    std::shared_ptr<RecordingEventSink> sink,
                                                    bool active = true) {
        std::shared_ptr<OPCEventSubscription> subscription;
        std::uint32_t cookie = 0;
        server.CreateEventSubscription(active, 1000, 100, 7, &subscription, nullptr, nullptr);
        subscription->Advise(sink, &cookie);
        return subscription;
    }
};

TEST_F(EventServerTest, CommonInterfaceLocalesNamesAndErrorTexts) {
    auto server = NewServer();
    EXPECT_EQ(server->SetLocaleID(0x0800), S_OK);
    EXPECT_EQ(server->SetLocaleID(0x0409), E_INVALIDARG);
    std::uint32_t locale = 0;
    EXPECT_EQ(server->GetLocaleID(&locale), S_OK);
    EXPECT_EQ(locale, 0x0800u);
    std::vector<std::uint32_t> locales;
    EXPECT_EQ(server->QueryAvailableLocaleIDs(&locales), S_OK);
    EXPECT_EQ(locales, std::vector<std::uint32_t>{0x0800});
    EXPECT_EQ(server->SetClientName(nullptr), E_INVALIDARG);
    EXPECT_EQ(server->SetClientName("Scada"), S_OK);
    EXPECT_EQ(server->ClientName(), "Scada");

    std::string text;
    EXPECT_EQ(server->GetErrorString(E_INVALIDARG, &text), S_OK);
    EXPECT_EQ(text, "Invalid inlet argument value");
    server->GetErrorString(OPC_E_INVALIDBRANCHNAME, &text);
    EXPECT_EQ(text, "The string was not recognized as an area name");
    server->GetErrorString(OPC_E_INVALIDTIME, &text);
    EXPECT_EQ(text, "The time does not match the latest active time");
    server->GetErrorString(E_FAIL, &text);
    EXPECT_EQ(text, "Untranslated DCOM error message!");
    EXPECT_EQ(server->GetErrorString(E_FAIL, nullptr), E_INVALIDARG);
    EXPECT_TRUE(trace.Has("Called IOPCCommon::GetErrorString, return code: 0"));
}

TEST_F(EventServerTest, LifecycleJoinsTheServerListAndTraces) {
    auto server = NewServer();
    ASSERT_EQ(servers.servers.size(), 1u);
    EXPECT_EQ(servers.servers[0], server.get());
    EXPECT_TRUE(trace.Has("OPC AE server object created"));
    server.reset();
    EXPECT_TRUE(servers.servers.empty());
    EXPECT_TRUE(trace.Has("OPC AE server object destroyed"));
}

TEST_F(EventServerTest, StatusReportsTimesStateVersionAndVendor) {
    AeServerContext context = Context();
    context.versionMajor = 3;
    context.versionMinor = 1;
    context.versionBuild = 42;
    const FileTime created = clock.NowUtc();
    OPCEventServer server(context);
    clock.Advance(5000);
    OPCEventServerStatus status;
    EXPECT_EQ(server.GetStatus(nullptr), E_INVALIDARG);
    ASSERT_EQ(server.GetStatus(&status), S_OK);
    EXPECT_EQ(status.startTime, created);
    EXPECT_EQ(status.currentTime, clock.NowUtc());
    EXPECT_EQ(status.lastUpdateTime, created);
    EXPECT_EQ(status.serverState, OPC_STATUS_RUNNING);
    EXPECT_EQ(status.majorVersion, 3);
    EXPECT_EQ(status.minorVersion, 1);
    EXPECT_EQ(status.buildNumber, 42);
    EXPECT_EQ(status.vendorInfo, "VELK");
}

TEST_F(EventServerTest, CreateSubscriptionRevisesBufferTimeAndMaximumSize) {
    auto server = NewServer();
    std::shared_ptr<OPCEventSubscription> s;
    std::uint32_t time = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(server->CreateEventSubscription(true, 0, 0, 1, &s, &time, &size),
              OPC_S_INVALIDMAXSIZE);
    EXPECT_EQ(time, 1000u);
    EXPECT_EQ(size, 1024u);
    EXPECT_EQ(server->CreateEventSubscription(true, 500, 5000, 1, &s, &time, &size),
              OPC_S_INVALIDMAXSIZE);
    EXPECT_EQ(time, 500u);
    EXPECT_EQ(size, 1024u);
    EXPECT_EQ(server->CreateEventSubscription(true, 0, 100, 1, &s, &time, &size),
              OPC_S_INVALIDBUFFERTIME);
    EXPECT_EQ(time, 1000u);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(server->CreateEventSubscription(true, 250, 1023, 1, &s, nullptr, nullptr), S_OK);
    EXPECT_EQ(server->CreateEventSubscription(true, 250, 1024, 1, &s, nullptr, nullptr), S_OK);
    EXPECT_EQ(server->CreateEventSubscription(true, 250, 10, 1, nullptr, nullptr, nullptr),
              E_INVALIDARG);
    // The client holds the subscriptions: the ones it let go have ended.
    EXPECT_EQ(server->SubscriptionCount(), 1u);
    bool active = false;
    std::uint32_t handle = 0;
    s->GetState(&active, &time, &size, &handle);
    EXPECT_TRUE(active);
    EXPECT_EQ(time, 250u);
    EXPECT_EQ(size, 1024u);
    EXPECT_EQ(handle, 1u);
    EXPECT_TRUE(trace.Has("OPC AE subscription object created"));
    server->ReleaseSubscription(s.get());
    EXPECT_EQ(server->SubscriptionCount(), 0u);
}

TEST_F(EventServerTest, SubscriptionEndsWithTheClientsLastReference) {
    ODevice& plc = AddDevice("PLC1");
    OModbusTag& tag = AddBinaryTag(plc, "Pump");
    auto server = NewServer();
    auto sink = std::make_shared<RecordingEventSink>();
    auto kept = Subscribe(*server, sink);
    auto dropped = Subscribe(*server, std::make_shared<RecordingEventSink>());
    EXPECT_EQ(server->SubscriptionCount(), 2u);
    std::weak_ptr<OPCEventSubscription> watch = dropped;
    dropped.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(trace.Count("OPC AE subscription object destroyed"), 1u);
    EXPECT_EQ(server->SubscriptionCount(), 1u);
    Activate(tag, 2, 2);
    server->DistributeEvent(TagRecord(tag, 2, true));
    EXPECT_EQ(kept->QueueLength(), 1u);
}

TEST_F(EventServerTest, QueryFiltersAndEventCategories) {
    auto server = NewServer();
    std::uint32_t mask = 0;
    EXPECT_EQ(server->QueryAvailableFilters(&mask), S_OK);
    EXPECT_EQ(mask, 15u);

    std::vector<std::uint32_t> ids;
    std::vector<std::string> descriptions;
    EXPECT_EQ(server->QueryEventCategories(OPC_CONDITION_EVENT, &ids, &descriptions), S_OK);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 2, 4, 8}));
    EXPECT_EQ(descriptions,
              (std::vector<std::string>{"Device", "Discrete", "Analog", "User-defined"}));
    EXPECT_EQ(server->QueryEventCategories(7, &ids, &descriptions), S_OK);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{1, 2, 4, 8, 256, 65536}));
    EXPECT_EQ(server->QueryEventCategories(OPC_SIMPLE_EVENT, &ids, &descriptions), S_OK);
    EXPECT_EQ(ids, std::vector<std::uint32_t>{256});
    EXPECT_EQ(server->QueryEventCategories(8, &ids, &descriptions), E_INVALIDARG);
    EXPECT_EQ(server->QueryEventCategories(0, &ids, &descriptions), E_INVALIDARG);
    EXPECT_TRUE(trace.Has("Called IOPCEventServer::QueryEventCategories, return code: 0"));
}

TEST_F(EventServerTest, QueryConditionAndSubconditionNames) {
    auto server = NewServer();
    std::vector<std::string> names;
    EXPECT_EQ(server->QueryConditionNames(2, &names), S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"Discrete Trip", "Discrete On"}));
    EXPECT_EQ(server->QueryConditionNames(1, &names), S_OK);
    EXPECT_EQ(names, std::vector<std::string>{"Device Comm"});
    EXPECT_EQ(server->QueryConditionNames(8, &names), E_INVALIDARG);  // no user conditions
    EXPECT_EQ(server->QueryConditionNames(256, &names), E_INVALIDARG);
    EXPECT_EQ(server->QueryConditionNames(3, &names), E_INVALIDARG);

    EXPECT_EQ(server->QuerySubConditionNames("Analog Level", &names), S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"LoLo", "Low", "High", "HiHi"}));
    EXPECT_EQ(server->QuerySubConditionNames("analog level", &names), E_INVALIDARG);
    EXPECT_EQ(server->QuerySubConditionNames("", &names), E_INVALIDARG);
    EXPECT_EQ(server->QuerySubConditionNames(nullptr, &names), E_INVALIDARG);

    space.AddUserConditions("[Door]\nOpen\nForced\n");
    EXPECT_EQ(server->QueryConditionNames(8, &names), S_OK);
    EXPECT_EQ(names, std::vector<std::string>{"Door"});
    EXPECT_EQ(server->QuerySubConditionNames("Door", &names), S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"Open", "Forced"}));
}

TEST_F(EventServerTest, QuerySourceConditionsByTagPath) {
    ODevice& plc = AddDevice("PLC1");
    OTagGroup& group = AddGroup(plc, "G");
    OModbusTag& flag = AddTag(group, "Flag", VT_BOOL);  // alarm off
    AddAnalogTag(group, "Level");
    ASSERT_FALSE(flag.HasEnabledAlarm());
    auto server = NewServer();
    std::vector<std::string> names;
    EXPECT_EQ(server->QuerySourceConditions("PLC1.G.Flag", &names), S_OK);
    EXPECT_EQ(names, std::vector<std::string>{"Discrete Trip"});
    EXPECT_EQ(server->QuerySourceConditions("plc1.g.level", &names), S_OK);
    EXPECT_EQ(names, std::vector<std::string>{"Analog Level"});
    EXPECT_EQ(server->QuerySourceConditions("PLC1", &names), E_INVALIDARG);
    EXPECT_EQ(server->QuerySourceConditions("PLC1.__CF", &names), E_INVALIDARG);
    EXPECT_EQ(server->QuerySourceConditions("PLC1.G.None", &names), E_INVALIDARG);
    EXPECT_EQ(server->QuerySourceConditions(nullptr, &names), E_INVALIDARG);

    ModelSettings settings;
    settings.areaDelimiter = "/";
    document.SetSettings(settings);
    EXPECT_EQ(server->QuerySourceConditions("PLC1/G/Flag", &names), S_OK);
    EXPECT_EQ(server->QuerySourceConditions("PLC1.G.Flag", &names), E_INVALIDARG);
}

TEST_F(EventServerTest, QueryEventAttributesOfEachCategory) {
    auto server = NewServer();
    std::vector<std::uint32_t> ids;
    std::vector<std::string> descriptions;
    std::vector<std::uint16_t> types;
    EXPECT_EQ(server->QueryEventAttributes(8, &ids, &descriptions, &types), S_OK);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{110, 111, 112, 113, 114}));
    EXPECT_EQ(descriptions,
              (std::vector<std::string>{"SimpleCondition", "AREAS", "NEW VALUE", "Area", "Class"}));
    EXPECT_EQ(types, (std::vector<std::uint16_t>{11, 8, 12, 8, 3}));
    EXPECT_EQ(server->QueryEventAttributes(4, &ids, &descriptions, &types), S_OK);
    EXPECT_EQ(ids, (std::vector<std::uint32_t>{111, 112, 113, 114}));
    EXPECT_EQ(server->QueryEventAttributes(1, &ids, &descriptions, &types), S_OK);
    EXPECT_TRUE(ids.empty());
    EXPECT_EQ(server->QueryEventAttributes(3, &ids, &descriptions, &types), E_INVALIDARG);
}

TEST_F(EventServerTest, UnsupportedMethodsCheckArgumentsThenAnswerNotImplemented) {
    auto server = NewServer();
    EXPECT_EQ(server->TranslateToItemIDs(), E_NOTIMPL);
    OPCConditionState* state = reinterpret_cast<OPCConditionState*>(this);
    EXPECT_EQ(server->GetConditionState(nullptr, "Analog Level", 0, nullptr, &state), E_INVALIDARG);
    EXPECT_EQ(server->GetConditionState("PLC1.T", "Analog Level", 2, nullptr, &state),
              E_INVALIDARG);
    EXPECT_EQ(server->GetConditionState("PLC1.T", "Analog Level", 0, nullptr, &state), E_NOTIMPL);
    EXPECT_EQ(state, nullptr);

    const std::string areas[] = {"PLC1"};
    EXPECT_EQ(server->EnableConditionByArea(0, areas), E_INVALIDARG);
    EXPECT_EQ(server->EnableConditionByArea(1, nullptr), E_INVALIDARG);
    EXPECT_EQ(server->EnableConditionByArea(1, areas), E_NOTIMPL);
    EXPECT_EQ(server->DisableConditionByArea(1, areas), E_NOTIMPL);
    EXPECT_EQ(server->EnableConditionBySource(1, areas), E_NOTIMPL);
    EXPECT_EQ(server->DisableConditionBySource(0, areas), E_INVALIDARG);

    std::vector<HRESULT> errors{S_OK};
    std::vector<bool> enabled{true};
    std::vector<bool> effective{true};
    EXPECT_EQ(server->EnableConditionByArea2(1, areas, nullptr), E_INVALIDARG);
    EXPECT_EQ(server->EnableConditionByArea2(1, areas, &errors), E_NOTIMPL);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(server->DisableConditionByArea2(0, areas, &errors), E_INVALIDARG);
    EXPECT_EQ(server->GetEnableStateByArea(1, areas, &enabled, nullptr, &errors), E_INVALIDARG);
    EXPECT_EQ(server->GetEnableStateBySource(1, areas, &enabled, &effective, &errors), E_NOTIMPL);
    EXPECT_TRUE(enabled.empty());

    trace.Clear();
    EXPECT_EQ(server->EnableConditionBySource2(1, areas, &errors), E_NOTIMPL);
    EXPECT_EQ(server->DisableConditionBySource2(1, areas, &errors), E_NOTIMPL);
    EXPECT_EQ(server->EnableConditionBySource2(0, areas, &errors), E_INVALIDARG);
    EXPECT_EQ(server->DisableConditionBySource2(1, nullptr, &errors), E_INVALIDARG);
    const auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("> Called IOPCEventServer2::EnableConditionSource2, return code: "
                            "0x80004001"),
              std::string::npos);
    EXPECT_NE(lines[1].find("> Called IOPCEventServer2::DisableConditionSource2, return code"),
              std::string::npos);
    EXPECT_NE(lines[2].find("> Called IOPCEventServer2::EnableConditionBySource2, return code: "
                            "0x80070057"),
              std::string::npos);
    EXPECT_NE(lines[3].find("> Called IOPCEventServer2::DisableConditionBySource2, return"),
              std::string::npos);
}

TEST_F(EventServerTest, DistributeEventReachesOnlyActiveSubscriptions) {
    ODevice& plc = AddDevice("PLC1");
    OModbusTag& tag = AddBinaryTag(plc, "Pump");
    auto server = NewServer();
    auto sinkA = std::make_shared<RecordingEventSink>();
    auto sinkB = std::make_shared<RecordingEventSink>();
    auto active = Subscribe(*server, sinkA, true);
    auto inactive = Subscribe(*server, sinkB, false);
    Activate(tag, 2, 2);
    clock.Advance(1500);
    server->DistributeEvent(TagRecord(tag, 2, true));
    EXPECT_EQ(active->QueueLength(), 1u);
    EXPECT_EQ(inactive->QueueLength(), 0u);
    EXPECT_EQ(server->LastUpdateTime(), clock.NowUtc());

    // Records that arrived while inactive are never seen after reactivation.
    bool on = true;
    inactive->SetState(&on, nullptr, nullptr, 7, nullptr, nullptr);
    inactive->DeliverOnce();
    EXPECT_TRUE(sinkB->Calls().empty());
    active->DeliverOnce();
    ASSERT_EQ(sinkA->EventCount(), 1u);
}

TEST_F(EventServerTest, AckConditionOfAnAnalogConditionReachesEveryClient) {
    ODevice& plc = AddDevice("PLC1");
    OTagGroup& group = AddGroup(plc, "G");
    OModbusTag& level = AddAnalogTag(group, "Level");
    Activate(level, OAnalogAlarm::kHighBit, 6);
    const FileTime activeTime = level.activeTime;
    redundancy = true;

    auto first = NewServer();
    auto second = NewServer();
    auto sink1 = std::make_shared<RecordingEventSink>();
    auto sink2 = std::make_shared<RecordingEventSink>();
    auto sink3 = std::make_shared<RecordingEventSink>();
    auto s1 = Subscribe(*first, sink1);
    auto s2 = Subscribe(*second, sink2);
    auto idle = Subscribe(*second, sink3, false);

    clock.Advance(60000);
    std::vector<HRESULT> errors;
    const std::vector<AckConditionEntry> entries{{"PLC1.G.Level", "Analog Level", 12345, level.id}};
    ASSERT_EQ(first->AckCondition(entries, "operator", "seen", &errors), S_OK);
    EXPECT_EQ(errors, std::vector<HRESULT>{S_OK});
    EXPECT_EQ(level.acknowledgeState, 0);
    EXPECT_EQ(level.acknowledgeTime, clock.NowUtc());
    EXPECT_EQ(level.activeTime, activeTime);
    EXPECT_EQ(level.alarmState, OAnalogAlarm::kHighBit);

    s1->DeliverOnce();
    s2->DeliverOnce();
    idle->DeliverOnce();
    for (auto* sink : {sink1.get(), sink2.get()}) {
        const auto calls = sink->Calls();
        ASSERT_EQ(calls.size(), 1u);
        ASSERT_EQ(calls[0].events.size(), 1u);
        const OnEventStruct& e = calls[0].events[0];
        EXPECT_EQ(e.changeMask, OPC_CHANGE_ACK_STATE);
        EXPECT_EQ(e.newState, 7);
        EXPECT_EQ(e.actorId, "operator");
        EXPECT_FALSE(e.ackRequired);
        EXPECT_EQ(e.time, clock.NowUtc());
        EXPECT_EQ(e.activeTime, 12345u);  // as the client supplied it
        EXPECT_EQ(e.cookie, level.id);
        EXPECT_EQ(e.subconditionName, "High");
    }
    EXPECT_TRUE(sink3->Calls().empty());

    ASSERT_EQ(ackQueue.messages.size(), 1u);
    EXPECT_EQ(ackQueue.messages[0]->tagPath, "PLC1.G.Level");
    EXPECT_EQ(ackQueue.messages[0]->AcknowledgementTime(), clock.NowUtc());
    EXPECT_EQ(ackQueue.messages[0]->acknowledgeFlag, 1);
    EXPECT_TRUE(trace.Has("Called IOPCEventServer::AckCondition, return code: 0"));
}

TEST_F(EventServerTest, AckConditionWithoutRedundancyQueuesNoPeerMessage) {
    ODevice& plc = AddDevice("PLC1");
    OModbusTag& pump = AddBinaryTag(plc, "Pump");
    Activate(pump, 2, 2);
    auto server = NewServer();
    std::vector<HRESULT> errors;
    ASSERT_EQ(server->AckCondition({{"", "Discrete On", 0, pump.id}}, "op", nullptr, &errors),
              S_OK);
    EXPECT_EQ(pump.acknowledgeState, 0);
    EXPECT_TRUE(ackQueue.messages.empty());
}

TEST_F(EventServerTest, AckConditionArgumentRulesAndUnknownCookies) {
    ODevice& plc = AddDevice("PLC1");
    OModbusTag& a = AddBinaryTag(plc, "A");
    OModbusTag& b = AddBinaryTag(plc, "B");
    Activate(a, 2, 2);
    Activate(b, 2, 2);
    auto server = NewServer();
    std::vector<HRESULT> errors;
    EXPECT_EQ(server->AckCondition({{"", "Discrete On", 0, a.id}}, "op", nullptr, nullptr),
              E_INVALIDARG);
    EXPECT_EQ(server->AckCondition({{"", "Discrete On", 0, a.id}}, nullptr, nullptr, &errors),
              E_INVALIDARG);
    EXPECT_EQ(server->AckCondition({}, "op", nullptr, &errors), E_INVALIDARG);
    EXPECT_EQ(a.acknowledgeState, 2);

    // A cookie of no tag ends the call before anything is acknowledged.
    const std::uint32_t unknown = 0x7FFFFFF0;
    EXPECT_EQ(server->AckCondition({{"", "Discrete On", 0, unknown}, {"", "Discrete On", 0, a.id}},
                                   "op", nullptr, &errors),
              E_INVALIDARG);
    EXPECT_EQ(a.acknowledgeState, 2);

    // An unknown condition name fails only its entry.
    EXPECT_EQ(server->AckCondition({{"", "No Such", 0, a.id}, {"", "Discrete On", 0, b.id}}, "op",
                                   nullptr, &errors),
              S_OK);
    EXPECT_EQ(errors, (std::vector<HRESULT>{E_INVALIDARG, S_OK}));
    EXPECT_EQ(a.acknowledgeState, 2);
    EXPECT_EQ(b.acknowledgeState, 0);

    // A device cookie under a tag condition name is not found among the tags.
    EXPECT_EQ(server->AckCondition({{"", "Analog Level", 0, plc.AlarmOfCode(3)->id}}, "op", nullptr,
                                   &errors),
              E_INVALIDARG);
}

TEST_F(EventServerTest, AcknowledgerIsReplacedWhenEmptyAndCut) {
    ODevice& plc = AddDevice("PLC1");
    OModbusTag& pump = AddBinaryTag(plc, "Pump");
    Activate(pump, 2, 2);
    auto server = NewServer();
    auto sink = std::make_shared<RecordingEventSink>();
    auto s = Subscribe(*server, sink);
    std::vector<HRESULT> errors;
    server->AckCondition({{"", "Discrete On", 0, pump.id}}, "", nullptr, &errors);
    // Twice is accepted: no check for an already acknowledged condition.
    const std::string longId(1030, 'x');
    server->AckCondition({{"", "Discrete On", 0, pump.id}}, longId.c_str(), nullptr, &errors);
    s->DeliverOnce();
    const auto calls = sink->Calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].events.size(), 2u);
    EXPECT_EQ(calls[0].events[0].actorId, "????");
    EXPECT_EQ(calls[0].events[1].actorId, std::string(1024, 'x'));
}

TEST_F(EventServerTest, AckConditionOfADeviceAlarm) {
    ODevice& plc = AddDevice("PLC1");
    ODeviceAlarm& comm = *plc.AlarmOfCode(kAlarmCommunication);
    comm.enableFlags = ODeviceAlarm::kCommFailureBit;
    comm.acknowledgeFlags = ODeviceAlarm::kCommFailureBit;
    comm.failurePriority = 1000;
    comm.failureText = "communication failure";
    comm.lastStatus = 3;
    comm.acknowledgeState = 1;
    redundancy = true;
    auto server = NewServer();
    auto sink = std::make_shared<RecordingEventSink>();
    auto s = Subscribe(*server, sink);
    clock.Advance(10);
    std::vector<HRESULT> errors;
    ASSERT_EQ(
        server->AckCondition({{"PLC1.__CF", "Device Comm", 99, comm.id}}, "op", nullptr, &errors),
        S_OK);
    EXPECT_EQ(comm.acknowledgeState, 0);
    EXPECT_EQ(comm.acknowledgeTime, clock.NowUtc());
    EXPECT_TRUE(ackQueue.messages.empty());  // device conditions are not forwarded
    s->DeliverOnce();
    const auto calls = sink->Calls();
    ASSERT_EQ(calls.size(), 1u);
    ASSERT_EQ(calls[0].events.size(), 1u);
    const OnEventStruct& e = calls[0].events[0];
    EXPECT_EQ(e.eventCategory, 1u);
    EXPECT_EQ(e.conditionName, "Device Comm");
    EXPECT_EQ(e.subconditionName, "CommFail");
    EXPECT_EQ(e.source, "PLC1.__CF");
    EXPECT_EQ(e.newState, OPC_CONDITION_ENABLED | OPC_CONDITION_ACKED | OPC_CONDITION_ACTIVE);
    EXPECT_EQ(e.cookie, comm.id);
    EXPECT_EQ(e.quality, 0xC0);
}

TEST_F(EventServerTest, ShutdownRequestGoesToTheFirstConnectionOnly) {
    auto server = NewServer();
    EXPECT_EQ(server->RequestClientShutdown(""), S_FALSE);
    EXPECT_TRUE(trace.Contains("Called AE client(s) to shutdown server, return code: 0x00000001"));
    auto first = std::make_shared<RecordingShutdownSink>(S_OK);
    auto second = std::make_shared<RecordingShutdownSink>(S_OK);
    std::uint32_t c1 = 0;
    std::uint32_t c2 = 0;
    EXPECT_EQ(server->AdviseShutdown(first, nullptr), E_INVALIDARG);
    ASSERT_EQ(server->AdviseShutdown(first, &c1), S_OK);
    ASSERT_EQ(server->AdviseShutdown(second, &c2), S_OK);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(server->RequestClientShutdown(""), S_OK);
    EXPECT_EQ(first->reasons, std::vector<std::string>{""});
    EXPECT_TRUE(second->reasons.empty());
    EXPECT_TRUE(trace.Has("Calling IOPCShutdown::ShutdownRequest on an AE client"));
    EXPECT_TRUE(trace.Has("Called AE client(s) to shutdown server, return code: 0"));
    EXPECT_EQ(server->UnadviseShutdown(c1), S_OK);
    EXPECT_EQ(server->UnadviseShutdown(c1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(server->RequestClientShutdown(""), S_OK);
    EXPECT_EQ(second->reasons.size(), 1u);
    EXPECT_TRUE(trace.Has("Called IConnectionPoint<IOPCShutdown>::Advise, return code: 0"));

    // The client's refusal is the result, so the application stops asking.
    auto refusing = std::make_shared<RecordingShutdownSink>(E_FAIL);
    auto other = NewServer();
    std::uint32_t c3 = 0;
    other->AdviseShutdown(refusing, &c3);
    EXPECT_EQ(other->RequestClientShutdown(""), E_FAIL);
}

TEST_F(EventServerTest, CreateAreaBrowserStartsAtTheRoot) {
    AddDevice("PLC1");
    auto server = NewServer();
    EXPECT_EQ(server->CreateAreaBrowser(nullptr), E_INVALIDARG);
    std::unique_ptr<OPCEventAreaBrowser> browser;
    ASSERT_EQ(server->CreateAreaBrowser(&browser), S_OK);
    EXPECT_EQ(&browser->Position(), &document.rootGroup);
}

}  // namespace
}  // namespace velk
