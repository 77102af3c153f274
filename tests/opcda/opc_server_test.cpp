// The DA server object: groups, status, locale, browsing, item properties and shutdown.
#include <future>
#include <set>
#include <thread>

#include "opc/opc_result.h"
#include "opcda/c_enum_item_ids.h"
#include "tests/opcda/opcda_fixture.h"

namespace velk::testing {
namespace {

using OPCServerGroups = DaTest;

TEST_F(OPCServerGroups, GeneratedNamesTakeTheFirstFreeNumber) {
    auto server = MakeServer();
    std::shared_ptr<OPCGroup> a, b, c;
    std::uint32_t ha = 0, hb = 0, hc = 0;
    const std::string one = "Group1", three = "Group3";
    ASSERT_EQ(server->AddGroup(&one, true, 100, 1, nullptr, nullptr, 0, &a, &ha, nullptr), S_OK);
    ASSERT_EQ(server->AddGroup(&three, true, 100, 1, nullptr, nullptr, 0, &b, &hb, nullptr), S_OK);
    const std::string empty;
    ASSERT_EQ(server->AddGroup(&empty, true, 100, 1, nullptr, nullptr, 0, &c, &hc, nullptr), S_OK);
    EXPECT_EQ(c->Name(), "Group2");
    EXPECT_NE(ha, hb);
    EXPECT_NE(hb, hc);
}

TEST_F(OPCServerGroups, DuplicateNamesAreRefusedPerObjectAndCaseSensitively) {
    auto server = MakeServer();
    auto other = MakeServer();
    std::shared_ptr<OPCGroup> a, b, c, d;
    const std::string name = "Pumps", upper = "PUMPS";
    ASSERT_EQ(server->AddGroup(&name, true, 100, 1, nullptr, nullptr, 0, &a, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(server->AddGroup(&name, true, 100, 1, nullptr, nullptr, 0, &b, nullptr, nullptr),
              OPC_E_DUPLICATENAME);
    EXPECT_EQ(b, nullptr);
    EXPECT_EQ(server->GroupCount(), 1u);
    EXPECT_TRUE(Traced("Called IOPCServer::AddGroup, return code"));
    EXPECT_EQ(server->AddGroup(&upper, true, 100, 1, nullptr, nullptr, 0, &c, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(other->AddGroup(&name, true, 100, 1, nullptr, nullptr, 0, &d, nullptr, nullptr),
              S_OK);
}

TEST_F(OPCServerGroups, RatesBelowTenAreRaisedAndReported) {
    auto server = MakeServer();
    struct Case {
        std::uint32_t requested, revised;
        HRESULT result;
    };
    for (Case c : {Case{0, 10, OPC_S_UNSUPPORTEDRATE}, Case{5, 10, OPC_S_UNSUPPORTEDRATE},
                   Case{10, 10, S_OK}, Case{0xFFFFFFFFu, 0xFFFFFFFFu, S_OK}}) {
        std::shared_ptr<OPCGroup> group;
        std::uint32_t revised = 1;
        EXPECT_EQ(server->AddGroup(nullptr, false, c.requested, 1, nullptr, nullptr, 0, &group,
                                   nullptr, &revised),
                  c.result);
        EXPECT_EQ(revised, c.revised);
        std::uint32_t rate = 0;
        group->GetState(&rate, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(rate, c.revised);
    }
    // Without the revised-rate pointer there is nothing to report.
    std::shared_ptr<OPCGroup> group;
    EXPECT_EQ(server->AddGroup(nullptr, false, 1, 1, nullptr, nullptr, 0, &group, nullptr, nullptr),
              S_OK);
}

TEST_F(OPCServerGroups, GroupStateStartsFromTheAddGroupArguments) {
    auto server = MakeServer();
    std::shared_ptr<OPCGroup> group;
    std::uint32_t handle = 0;
    const std::int32_t bias = -60;
    const float band = 2.5f;
    const std::string name = "Boiler";
    ASSERT_EQ(
        server->AddGroup(&name, true, 250, 42, &bias, &band, 0x1234, &group, &handle, nullptr),
        S_OK);
    std::uint32_t rate = 0, lcid = 0, client = 0, serverHandle = 0;
    bool active = false;
    std::string got;
    std::int32_t gotBias = 0;
    float gotBand = 0;
    group->GetState(&rate, &active, &got, &gotBias, &gotBand, &lcid, &client, &serverHandle);
    EXPECT_EQ(rate, 250u);
    EXPECT_TRUE(active);
    EXPECT_EQ(got, "Boiler");
    EXPECT_EQ(gotBias, -60);
    EXPECT_FLOAT_EQ(gotBand, 2.5f);
    EXPECT_EQ(lcid, 0x1234u);
    EXPECT_EQ(client, 42u);
    EXPECT_EQ(serverHandle, handle);

    std::shared_ptr<OPCGroup> defaults;
    server->AddGroup(nullptr, true, 250, 42, nullptr, nullptr, 0, &defaults, nullptr, nullptr);
    defaults->GetState(nullptr, nullptr, nullptr, &gotBias, &gotBand, nullptr, nullptr, nullptr);
    EXPECT_EQ(gotBias, 0);
    EXPECT_EQ(gotBand, 0.0f);
}

TEST_F(OPCServerGroups, GetGroupByNameAndRemoveGroup) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    std::uint32_t handle = 0;
    group->GetState(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &handle);
    std::shared_ptr<OPCGroup> found;
    const std::string name = group->Name(), missing = "nope";
    EXPECT_EQ(server->GetGroupByName(&name, &found), S_OK);
    EXPECT_EQ(found, group);
    EXPECT_EQ(server->GetGroupByName(&missing, &found), E_INVALIDARG);
    EXPECT_EQ(server->GetGroupByName(nullptr, &found), E_INVALIDARG);

    EXPECT_EQ(server->RemoveGroup(handle + 100, false), E_INVALIDARG);
    EXPECT_EQ(server->RemoveGroup(handle, false), S_OK);
    EXPECT_EQ(server->GroupCount(), 0u);
    EXPECT_TRUE(group->IsRemoved());
    EXPECT_EQ(server->RemoveGroup(handle, true), E_INVALIDARG);
    // The client still holds the group: it keeps working.
    std::string stillThere;
    EXPECT_EQ(
        group->GetState(nullptr, nullptr, &stillThere, nullptr, nullptr, nullptr, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(stillThere, name);
}

TEST_F(OPCServerGroups, ReleasingTheLastReferenceDestroysTheGroup) {
    auto server = MakeServer();
    std::weak_ptr<OPCGroup> weak;
    {
        auto group = MakeGroup(*server);
        Add(*group, {"PLC1.T"});
        weak = group;
        std::uint32_t handle = group->ServerHandle();
        server->RemoveGroup(handle, false);
    }
    EXPECT_TRUE(weak.expired());
    EXPECT_TRUE(Traced("OPC DA group object destroyed"));
    EXPECT_EQ(t->opcReferenceCount, 0);
    EXPECT_EQ(plc1->useCount, 0);
}

TEST_F(OPCServerGroups, GroupEnumeratorListsAllGroupsForAnyPrivateScope) {
    auto server = MakeServer();
    std::vector<std::string> names;
    std::vector<std::shared_ptr<OPCGroup>> groups;
    EXPECT_EQ(server->CreateGroupEnumerator(3, EnumInterface::String, &names, nullptr), S_FALSE);
    EXPECT_TRUE(names.empty());
    auto a = MakeGroup(*server);
    auto b = MakeGroup(*server);
    EXPECT_EQ(server->CreateGroupEnumerator(1, EnumInterface::String, &names, nullptr), S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"Group1", "Group2"}));
    EXPECT_EQ(server->CreateGroupEnumerator(4, EnumInterface::Unknown, nullptr, &groups), S_OK);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0], a);
    EXPECT_EQ(server->CreateGroupEnumerator(8, EnumInterface::String, &names, nullptr), S_FALSE);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(server->CreateGroupEnumerator(3, EnumInterface::Other, &names, nullptr),
              E_NOINTERFACE);
}

TEST_F(OPCServerGroups, ServerObjectJoinsAndLeavesTheRegistry) {
    {
        auto server = MakeServer();
        ASSERT_EQ(registry.da.size(), 1u);
        EXPECT_EQ(registry.da[0], server.get());
        EXPECT_TRUE(Traced("Creating OPC DA server instance"));
        MakeGroup(*server);
    }
    ASSERT_EQ(registry.removed.size(), 1u);
    EXPECT_EQ(registry.removed[0], registry.da[0]);
    EXPECT_TRUE(Traced("OPC DA server object destroyed"));
    EXPECT_TRUE(Traced("OPC DA group object destroyed"));
}

TEST_F(OPCServerGroups, TraceLinesNameTheInterfaceMethodAndCarryTheResult) {
    auto server = MakeServer();
    std::shared_ptr<OPCGroup> a, b;
    const std::string name = "Pumps";
    server->AddGroup(&name, true, 100, 1, nullptr, nullptr, 0, &a, nullptr, nullptr);
    server->AddGroup(&name, true, 100, 1, nullptr, nullptr, 0, &b, nullptr, nullptr);
    EXPECT_TRUE(Traced("> Called IOPCServer::AddGroup, return code: 0"));
    EXPECT_TRUE(Traced("> Called IOPCServer::AddGroup, return code: 0xc004000c"));
    server->ChangeBrowsePosition(OPC_BROWSE_UP, "");
    EXPECT_TRUE(Traced(
        "Called IOPCBrowseServerAddressSpace::ChangeBrowsePosition, return code: 0x80004005"));
}

TEST_F(OPCServerGroups, ConcurrentAddGroupsGetDistinctNamesAndHandles) {
    auto server = MakeServer();
    std::vector<std::shared_ptr<OPCGroup>> first(40), second(40);
    auto add = [&](std::vector<std::shared_ptr<OPCGroup>>& out) {
        for (auto& g : out)
            server->AddGroup(nullptr, false, 100, 1, nullptr, nullptr, 0, &g, nullptr, nullptr);
    };
    std::thread other(add, std::ref(second));
    add(first);
    other.join();
    std::set<std::string> names;
    std::set<std::uint32_t> handles;
    for (auto* list : {&first, &second}) {
        for (auto& g : *list) {
            names.insert(g->Name());
            handles.insert(g->ServerHandle());
        }
    }
    EXPECT_EQ(names.size(), 80u);
    EXPECT_EQ(handles.size(), 80u);
    EXPECT_EQ(server->GroupCount(), 80u);
    EXPECT_TRUE(names.count("Group80"));
}

using OPCServerStatus = DaTest;

TEST_F(OPCServerStatus, StatusReportsTimesCountsAndVersion) {
    auto server = MakeServer();
    MakeGroup(*server);
    clock.Advance(5000);
    OPCSERVERSTATUS status;
    ASSERT_EQ(server->GetStatus(&status), S_OK);
    EXPECT_EQ(status.startTime, FakeClock::kDefaultStart - 1000);
    EXPECT_EQ(status.currentTime, clock.NowUtc());
    EXPECT_EQ(status.lastUpdateTime, 0u);
    EXPECT_EQ(status.serverState, OPC_STATUS_RUNNING);
    EXPECT_EQ(status.groupCount, 1u);
    EXPECT_EQ(status.bandWidth, 0u);
    EXPECT_EQ(status.buildNumber, 7);
    EXPECT_EQ(status.vendorInfo, "VELK");
    EXPECT_EQ(server->GetStatus(nullptr), E_INVALIDARG);
    EXPECT_TRUE(Traced("Called IOPCServer::GetStatus"));
}

TEST_F(OPCServerStatus, LocaleAndErrorStrings) {
    auto server = MakeServer();
    EXPECT_EQ(server->SetLocaleID(0x0800), S_OK);
    EXPECT_EQ(server->SetLocaleID(0x0409), E_INVALIDARG);
    std::uint32_t lcid = 0;
    EXPECT_EQ(server->GetLocaleID(&lcid), S_OK);
    EXPECT_EQ(lcid, 0x0800u);
    std::vector<std::uint32_t> lcids;
    EXPECT_EQ(server->QueryAvailableLocaleIDs(&lcids), S_OK);
    EXPECT_EQ(lcids, (std::vector<std::uint32_t>{0x0800}));
    std::string text = "x";
    EXPECT_EQ(server->GetErrorString(OPC_E_UNKNOWNITEMID, 0x0800, &text), E_FAIL);
    EXPECT_TRUE(text.empty());
    EXPECT_EQ(server->GetErrorString(E_FAIL, &text), E_FAIL);
    EXPECT_EQ(server->SetClientName("client"), S_OK);
    EXPECT_TRUE(Traced("Called IOPCCommon::SetLocaleID"));
}

using OPCServerBrowse = DaTest;

std::vector<std::string> All(CEnumItemIDs& e) {
    std::vector<std::string> names;
    e.Next(100, names);
    return names;
}

TEST_F(OPCServerBrowse, MovesUpDownAndToAPath) {
    auto server = MakeServer();
    std::uint32_t organization = 0;
    EXPECT_EQ(server->QueryOrganization(&organization), S_OK);
    EXPECT_EQ(organization, OPC_NS_HIERARCHIAL);
    EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_UP, ""), E_FAIL);
    EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_DOWN, "plc1"), S_OK);
    EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_DOWN, "T"), E_FAIL);  // a tag
    EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_DOWN, "g"), S_OK);
    std::string id;
    EXPECT_EQ(server->GetItemID("T1", &id), S_OK);
    EXPECT_EQ(id, "PLC1.G.T1");
    EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_UP, ""), S_OK);
    EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_UP, ""), S_OK);
    EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_UP, ""), E_FAIL);
    EXPECT_EQ(server->ChangeBrowsePosition(7, ""), E_INVALIDARG);
}

TEST_F(OPCServerBrowse, BrowseToFailsForEmptyTrailingAndTagNamesWithoutMoving) {
    auto server = MakeServer();
    ASSERT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_TO, "PLC1.G"), S_OK);
    std::unique_ptr<CEnumItemIDs> e;
    server->BrowseOPCItemIDs(OPC_BRANCH, "", VT_EMPTY, 0, &e);
    EXPECT_EQ(All(*e), (std::vector<std::string>{"Sub"}));
    for (const char* bad : {"", "PLC1.", "PLC1.T", "PLC1.Nope", ".PLC1", "PLC1..G"}) {
        EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_TO, bad), E_FAIL) << bad;
    }
    server->BrowseOPCItemIDs(OPC_LEAF, "", VT_EMPTY, 0, &e);
    EXPECT_EQ(All(*e), (std::vector<std::string>{"T1"}));  // still at PLC1.G
    EXPECT_EQ(server->ChangeBrowsePosition(OPC_BROWSE_TO, "plc1.g.SUB"), S_OK);
}

TEST_F(OPCServerBrowse, BranchFlatAndLeafListNamesOfTheCurrentNode) {
    auto server = MakeServer();
    std::unique_ptr<CEnumItemIDs> e;
    EXPECT_EQ(server->BrowseOPCItemIDs(OPC_FLAT, "*", VT_I2, OPC_WRITEABLE, &e), S_OK);
    EXPECT_EQ(All(*e), (std::vector<std::string>{"PLC1", "PLC2"}));
    EXPECT_EQ(server->BrowseOPCItemIDs(OPC_LEAF, "", VT_EMPTY, 0, &e), S_OK);
    EXPECT_TRUE(All(*e).empty());  // the root has no tags, still S_OK
    server->ChangeBrowsePosition(OPC_BROWSE_DOWN, "PLC1");
    // The filters are kept but not applied.
    server->BrowseOPCItemIDs(OPC_LEAF, "Z*", VT_BOOL, OPC_WRITEABLE, &e);
    EXPECT_EQ(e->FilterCriteria(), "Z*");
    EXPECT_EQ(All(*e), (std::vector<std::string>{"Count", "Flag", "Level", "RO", "T", "WO"}));
    server->BrowseOPCItemIDs(OPC_BRANCH, "", VT_EMPTY, 0, &e);
    EXPECT_EQ(All(*e), (std::vector<std::string>{"G"}));
}

TEST_F(OPCServerBrowse, EnumeratorNextSkipResetAndClone) {
    auto server = MakeServer();
    server->ChangeBrowsePosition(OPC_BROWSE_DOWN, "PLC1");
    std::unique_ptr<CEnumItemIDs> e;
    server->BrowseOPCItemIDs(OPC_LEAF, "", VT_EMPTY, 0, &e);
    std::vector<std::string> names;
    EXPECT_EQ(e->Next(2, names), S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"Count", "Flag"}));
    EXPECT_EQ(e->Skip(2), S_OK);
    CEnumItemIDs clone = e->Clone();
    EXPECT_EQ(e->Next(5, names), S_FALSE);
    EXPECT_EQ(names, (std::vector<std::string>{"T", "WO"}));
    EXPECT_EQ(e->Skip(1), S_FALSE);
    EXPECT_EQ(clone.Next(1, names), S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"Count"}));  // a clone starts at the start
    e->Reset();
    EXPECT_EQ(e->Next(1, names), S_OK);
    EXPECT_EQ(names[0], "Count");
    // The enumerator walks the live list.
    AddTag(*plc1, *plc1, "Added", VT_I2, kHoldingRegister, 99);
    e->Reset();
    EXPECT_EQ(e->Next(1, names), S_OK);
    EXPECT_EQ(names[0], "Added");
}

TEST_F(OPCServerBrowse, GetItemIdNeedsAnExactChildName) {
    auto server = MakeServer();
    std::string id;
    EXPECT_EQ(server->GetItemID("PLC1", &id), S_OK);
    EXPECT_EQ(id, "PLC1");
    server->ChangeBrowsePosition(OPC_BROWSE_DOWN, "PLC1");
    EXPECT_EQ(server->GetItemID("T", &id), S_OK);
    EXPECT_EQ(id, "PLC1.T");
    EXPECT_EQ(server->GetItemID("G", &id), S_OK);
    EXPECT_EQ(id, "PLC1.G");
    EXPECT_EQ(server->GetItemID("t", &id), E_INVALIDARG);
    EXPECT_EQ(server->GetItemID("T1", &id), E_INVALIDARG);  // not directly here
    EXPECT_EQ(server->GetItemID("T", nullptr), E_INVALIDARG);
    EXPECT_EQ(server->BrowseAccessPaths("PLC1.T"), E_NOTIMPL);
}

TEST_F(OPCServerBrowse, EachObjectBrowsesOnItsOwn) {
    auto a = MakeServer();
    auto b = MakeServer();
    a->ChangeBrowsePosition(OPC_BROWSE_TO, "PLC1.G");
    std::string id;
    EXPECT_EQ(b->GetItemID("PLC2", &id), S_OK);
    EXPECT_EQ(a->GetItemID("PLC2", &id), E_INVALIDARG);
}

using OPCServerProperties = DaTest;

TEST_F(OPCServerProperties, PlainItemsListEightAnalogItemsThirteen) {
    auto server = MakeServer();
    std::vector<ItemPropertyInfo> props;
    const std::string plain = "PLC1.T", analog = "PLC1.Level", scaledBool = "PLC1.Flag";
    ASSERT_EQ(server->QueryAvailableProperties(&plain, &props), S_OK);
    ASSERT_EQ(props.size(), 8u);
    EXPECT_EQ(props[1].id, 2u);
    EXPECT_EQ(props[1].type, VT_I2);
    EXPECT_EQ(props[3].description, "Item Timestamp");
    EXPECT_EQ(props[3].type, VT_DATE);
    EXPECT_EQ(props[7].id, 200u);

    ASSERT_EQ(server->QueryAvailableProperties(&analog, &props), S_OK);
    ASSERT_EQ(props.size(), 13u);
    EXPECT_EQ(props[1].type, VT_R8);
    std::vector<std::uint32_t> ids;
    for (const auto& p : props) ids.push_back(p.id);
    EXPECT_EQ(ids,
              (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 101, 200, 100, 102, 103, 5401, 5400}));
    ASSERT_EQ(server->QueryAvailableProperties(&scaledBool, &props), S_OK);
    EXPECT_EQ(props.size(), 8u);
    EXPECT_EQ(props[1].type, VT_BOOL);
}

TEST_F(OPCServerProperties, UnknownAndEmptyItemIds) {
    auto server = MakeServer();
    std::vector<ItemPropertyInfo> props;
    const std::string unknown = "PLC1.Nope", empty;
    EXPECT_EQ(server->QueryAvailableProperties(&unknown, &props), OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(server->QueryAvailableProperties(&empty, &props), OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(server->QueryAvailableProperties(nullptr, &props), E_INVALIDARG);
    EXPECT_EQ(server->GroupCount(), 0u);  // the temporary groups are gone
    EXPECT_TRUE(Traced("Called IOPCServer::AddTemporaryGroup"));
}

TEST_F(OPCServerProperties, ValuesComeFromOneDeviceRead) {
    auto server = MakeServer();
    io.SetDeviceValue(*t, Variant::Int16(321));
    t->timestamp = FileTimeFromCivil(2015, 3, 7, 14, 5, 9, 500) - 1;  // the read adds one tick
    const std::string id = "PLC1.T";
    std::vector<OpcValue> values;
    std::vector<HRESULT> errors;
    ASSERT_EQ(
        server->GetItemProperties(&id, {1, 2, 3, 4, 5, 6, 101, 200, 999, 102}, &values, &errors),
        S_OK);
    ASSERT_EQ(io.Reads().size(), 1u);
    EXPECT_EQ(values[0].scalar, Variant::Int16(VT_I2));
    EXPECT_EQ(values[1].scalar, Variant::Int16(321));
    EXPECT_EQ(values[2].scalar, Variant::Int16(0xC0));
    EXPECT_EQ(values[3].vt, VT_DATE);
    EXPECT_NEAR(values[3].date, 42070.0 + (14 * 3600 + 5 * 60 + 9.5) / 86400.0, 1e-8);
    EXPECT_EQ(values[4].scalar, Variant::Int32(OPC_READABLE | OPC_WRITEABLE));
    EXPECT_EQ(values[5].scalar, Variant::Float(10.0f));
    EXPECT_EQ(values[6].scalar, Variant::Text("Tank level raw"));
    EXPECT_EQ(values[7].scalar, Variant::Text("0.0"));
    EXPECT_EQ(errors[8], OPC_E_INVALID_PID);
    EXPECT_TRUE(values[8].scalar.IsEmpty());
    EXPECT_EQ(errors[9], OPC_E_INVALID_PID);  // not analog
    for (int i = 0; i < 8; ++i) EXPECT_EQ(errors[i], S_OK) << i;
    EXPECT_EQ(server->GroupCount(), 0u);
}

TEST_F(OPCServerProperties, AnalogPropertiesAndRights) {
    auto server = MakeServer();
    const std::string id = "PLC1.Level";
    std::vector<OpcValue> values;
    std::vector<HRESULT> errors;
    ASSERT_EQ(server->GetItemProperties(&id, {100, 102, 103, 5400, 5401, 5}, &values, &errors),
              S_OK);
    EXPECT_EQ(values[0].scalar, Variant::Text("mbar"));
    EXPECT_EQ(values[1].scalar, Variant::Double(250.0));
    EXPECT_EQ(values[2].scalar, Variant::Double(-5.0));
    EXPECT_EQ(values[3].scalar, Variant::Double(1.0));
    EXPECT_EQ(values[4].scalar, Variant::Double(200.0));
    EXPECT_EQ(values[5].scalar, Variant::Int32(OPC_READABLE));  // read only
}

TEST_F(OPCServerProperties, WriteOnlyTagsCannotBeResolved) {
    auto server = MakeServer();
    const std::string id = "PLC1.WO";
    std::vector<OpcValue> values;
    std::vector<HRESULT> errors;
    EXPECT_EQ(server->GetItemProperties(&id, {1}, &values, &errors), OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(server->GetItemProperties(&id, {}, &values, &errors), E_INVALIDARG);
    EXPECT_EQ(server->GroupCount(), 0u);
}

TEST_F(OPCServerProperties, LookupItemIdsOnlyForTheValue) {
    auto server = MakeServer();
    const std::string id = "Any.Thing";
    std::vector<std::string> ids;
    std::vector<HRESULT> errors;
    EXPECT_EQ(server->LookupItemIDs(&id, {2, 1}, &ids, &errors), S_OK);
    EXPECT_EQ(ids, (std::vector<std::string>{"Any.Thing", ""}));
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, E_FAIL}));
}

using OPCServerShutdown = DaTest;

struct ShutdownSink final : IClientSink, IOPCShutdown {
    explicit ShutdownSink(bool answers, HRESULT result = S_OK) : answers(answers), result(result) {}
    IOPCShutdown* QueryShutdown() override { return answers ? this : nullptr; }
    HRESULT ShutdownRequest(const std::string& reason) override {
        if (during) during();
        reasons.push_back(reason);
        return result;
    }
    bool answers;
    HRESULT result;
    std::vector<std::string> reasons;
    std::function<void()> during;  // runs inside the request
};

TEST_F(OPCServerShutdown, OnlyTheFirstAnsweringConnectionIsAsked) {
    auto server = MakeServer();
    EXPECT_EQ(server->RequestClientShutdown(""), S_FALSE);
    auto mute = std::make_shared<ShutdownSink>(false);
    auto first = std::make_shared<ShutdownSink>(true, 5);
    auto second = std::make_shared<ShutdownSink>(true);
    std::uint32_t c1 = 0, c2 = 0, c3 = 0;
    EXPECT_EQ(server->AdviseShutdown(mute, nullptr), E_INVALIDARG);
    EXPECT_EQ(server->AdviseShutdown(nullptr, &c1), E_POINTER);
    EXPECT_EQ(server->AdviseShutdown(mute, &c1), S_OK);
    EXPECT_EQ(server->AdviseShutdown(first, &c2), S_OK);
    EXPECT_EQ(server->AdviseShutdown(second, &c3), S_OK);
    EXPECT_EQ(server->RequestClientShutdown(""), 5);
    EXPECT_EQ(first->reasons.size(), 1u);
    EXPECT_TRUE(second->reasons.empty());
    EXPECT_TRUE(Traced("Calling IOPCShutdown::ShutdownRequest on a DA client"));
    EXPECT_TRUE(Traced("Called DA client(s) to shutdown server"));
    EXPECT_EQ(server->UnadviseShutdown(c2), S_OK);
    EXPECT_EQ(server->UnadviseShutdown(c2), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(server->RequestClientShutdown(""), S_OK);
    EXPECT_EQ(second->reasons.size(), 1u);
    EXPECT_TRUE(Traced("Called IConnectionPoint<IOPCShutdown>::Advise"));
}

TEST_F(OPCServerShutdown, ASinkUnadvisedAndLetGoDuringTheRequestLivesUntilItAnswers) {
    auto server = MakeServer();
    auto sink = std::make_shared<ShutdownSink>(true, 5);
    const std::weak_ptr<ShutdownSink> watch = sink;
    CallGate call;
    sink->during = call.Hold();
    std::uint32_t cookie = 0;
    ASSERT_EQ(server->AdviseShutdown(sink, &cookie), S_OK);
    auto asking = std::async(std::launch::async, [&] { return server->RequestClientShutdown(""); });
    call.WaitUntilEntered();
    EXPECT_EQ(server->UnadviseShutdown(cookie), S_OK);
    sink.reset();
    EXPECT_FALSE(watch.expired());
    call.Release();
    EXPECT_EQ(asking.get(), 5);  // the answer of the sink that was asked
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(server->RequestClientShutdown(""), S_FALSE);
}

}  // namespace
}  // namespace velk::testing
