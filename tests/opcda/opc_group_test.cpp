// DA groups: state, items, synchronous I/O, the update cycle and its notifications.
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "model/locks.h"
#include "model/o_analog_data.h"
#include "opc/opc_result.h"
#include "opc/update_timing.h"
#include "opcda/c_enum_item_attributes.h"
#include "tests/opcda/opcda_fixture.h"

namespace velk::testing {
namespace {

// Waits (up to a generous limit) until the group is gone.
bool Expires(const std::weak_ptr<OPCGroup>& weak) {
    for (int i = 0; i < 2000 && !weak.expired(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return weak.expired();
}

using OPCGroupState = DaTest;

TEST_F(OPCGroupState, SetStateRaisesTheRateAndStoresTheRest) {
    auto server = MakeServer();
    auto group = MakeGroup(*server, false);
    const std::uint32_t three = 3, client = 9, lcid = 0x407;
    const bool active = true;
    const std::int32_t bias = 30;
    const float band = 150.0f;  // no range check
    std::uint32_t revised = 0;
    EXPECT_EQ(group->SetState(&three, &revised, &active, &bias, &band, &lcid, &client), S_OK);
    EXPECT_EQ(revised, 10u);
    std::uint32_t rate = 0, gotClient = 0, gotLcid = 0;
    bool gotActive = false;
    float gotBand = 0;
    group->GetState(&rate, &gotActive, nullptr, nullptr, &gotBand, &gotLcid, &gotClient, nullptr);
    EXPECT_EQ(rate, 10u);
    EXPECT_TRUE(gotActive);
    EXPECT_EQ(gotBand, 150.0f);
    EXPECT_EQ(gotLcid, 0x407u);
    EXPECT_EQ(gotClient, 9u);
    // Leaving everything out changes nothing but still reports the rate.
    EXPECT_EQ(group->SetState(nullptr, &revised, nullptr, nullptr, nullptr, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(revised, 10u);
    EXPECT_TRUE(Traced("Called IOPCGroupStateMgt::SetState"));
}

TEST_F(OPCGroupState, SetNameChecksTheOwnersOtherGroups) {
    auto server = MakeServer();
    auto a = MakeGroup(*server);
    auto b = MakeGroup(*server);
    const std::string taken = "Group1", same = "Group2", fresh = "Fresh", empty;
    EXPECT_EQ(b->SetName(nullptr), E_FAIL);
    EXPECT_EQ(b->SetName(&same), S_OK);
    const std::size_t before = TraceLines().size();
    EXPECT_EQ(b->SetName(&taken), OPC_E_DUPLICATENAME);
    EXPECT_EQ(TraceLines().size(), before);  // this failure writes nothing
    EXPECT_EQ(b->SetName(&fresh), S_OK);
    EXPECT_EQ(b->Name(), "Fresh");
    std::shared_ptr<OPCGroup> found;
    EXPECT_EQ(server->GetGroupByName(&fresh, &found), S_OK);
    EXPECT_EQ(b->SetName(&empty), S_OK);
    EXPECT_EQ(b->Name(), "");
}

TEST_F(OPCGroupState, CloneIsEmptyInactiveAndCopiesTheState) {
    auto server = MakeServer();
    auto group = MakeGroup(*server, true, 500);
    Add(*group, {"PLC1.T"});
    std::shared_ptr<OPCGroup> clone;
    EXPECT_EQ(group->CloneGroup(nullptr, &clone), S_OK);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->Name(), "Group2");
    EXPECT_EQ(clone->ItemCount(), 0u);
    std::uint32_t rate = 0, client = 0, lcid = 0;
    bool active = true;
    clone->GetState(&rate, &active, nullptr, nullptr, nullptr, &lcid, &client, nullptr);
    EXPECT_EQ(rate, 500u);
    EXPECT_FALSE(active);
    EXPECT_EQ(client, 77u);
    EXPECT_EQ(lcid, 0x409u);
    const std::string name = "Group1";
    EXPECT_EQ(group->CloneGroup(&name, &clone), OPC_E_DUPLICATENAME);
    EXPECT_EQ(server->GroupCount(), 2u);
}

TEST_F(OPCGroupState, PublicGroupsAreNotSupported) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    bool isPublic = true;
    EXPECT_EQ(group->GetPublicState(&isPublic), S_OK);
    EXPECT_FALSE(isPublic);
    EXPECT_EQ(group->GetPublicState(nullptr), E_INVALIDARG);
    EXPECT_EQ(group->MoveToPublic(), E_NOTIMPL);
}

using OPCGroupItems = DaTest;

TEST_F(OPCGroupItems, AddItemsReportsTypesRightsAndUnknownIds) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    std::vector<OPCITEMDEF> defs(6);
    defs[0].itemID = "plc1.t";  // device and tag names ignore case
    defs[1].itemID = "PLC1.Count";
    defs[2].itemID = "PLC1.Level";
    defs[3].itemID = "PLC1.Flag";
    defs[4].itemID = "PLC1.Missing";
    defs[5].itemID = "PLC1.G.T1";
    defs[5].accessPath = "ignored";
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->AddItems(defs, results, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, S_OK, S_OK, S_OK, OPC_E_UNKNOWNITEMID, S_OK}));
    EXPECT_EQ(results[0].canonicalDataType, VT_I2);
    EXPECT_EQ(results[1].canonicalDataType, VT_I4);    // UINT served as LONG
    EXPECT_EQ(results[2].canonicalDataType, VT_R8);    // scaled INT
    EXPECT_EQ(results[3].canonicalDataType, VT_BOOL);  // scaled BOOL keeps its type
    EXPECT_EQ(results[4].hServer, 0u);
    EXPECT_EQ(results[4].canonicalDataType, VT_EMPTY);
    EXPECT_EQ(results[0].accessRights, OPC_READABLE | OPC_WRITEABLE);
    EXPECT_EQ(results[2].accessRights, OPC_READABLE);
    EXPECT_NE(results[0].hServer, results[1].hServer);
    EXPECT_EQ(group->ItemCount(), 5u);
    EXPECT_EQ(t->opcReferenceCount, 1);
    EXPECT_EQ(plc1->useCount, 1);  // one topic for the device
    EXPECT_TRUE(Traced("Called IOPCItemMgt::AddItems, return code"));
}

TEST_F(OPCGroupItems, ValidateItemsCreatesNothing) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    std::vector<OPCITEMDEF> defs(2);
    defs[0].itemID = "PLC1.WO";
    defs[1].itemID = "PLC3.T";
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->ValidateItems(defs, false, results, errors), S_FALSE);
    EXPECT_EQ(errors[1], OPC_E_UNKNOWNITEMID);
    EXPECT_EQ(results[0].accessRights, OPC_WRITEABLE);
    EXPECT_EQ(group->ItemCount(), 0u);
    EXPECT_EQ(wo->opcReferenceCount, 0);
    EXPECT_EQ(plc1->useCount, 0);
}

TEST_F(OPCGroupItems, RemoveItemsTakesOneTopicEntryPerItem) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.T", "PLC1.T", "PLC1.RO"});
    io.ClearCalls();
    group->RunUpdateCycle();
    ASSERT_EQ(io.Reads().size(), 1u);
    // Location order: input registers before holding registers; the duplicate twice.
    EXPECT_EQ(io.Reads()[0].tagNames, (std::vector<std::string>{"RO", "T", "T"}));

    std::vector<HRESULT> errors;
    EXPECT_EQ(group->RemoveItems({handles[0], 9999}, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE}));
    EXPECT_EQ(t->opcReferenceCount, 1);
    io.ClearCalls();
    io.SetDeviceValue(*t, Variant::Int16(5));
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->RunUpdateCycle();
    EXPECT_EQ(io.Reads()[0].tagNames, (std::vector<std::string>{"RO", "T"}));
    ASSERT_EQ(sink->Events().size(), 1u);
    // The remaining item with that ID still updates.
    EXPECT_EQ(sink->Events()[0].items.clientHandles, (std::vector<std::uint32_t>{101}));
    // Topics stay while the group lives.
    group->RemoveItems({handles[1], handles[2]}, errors);
    EXPECT_EQ(plc1->useCount, 1);
}

TEST_F(OPCGroupItems, SetActiveClientHandlesAndDatatypes) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.T", "PLC1.Count"});
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->SetActiveState({handles[0], 555}, false, errors), S_OK);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, E_FAIL}));
    EXPECT_EQ(group->SetClientHandles({handles[1], 555}, {900, 901}, errors), S_OK);
    EXPECT_EQ(errors[1], E_FAIL);
    EXPECT_EQ(group->SetDatatypes({handles[0], handles[1]}, {VT_BSTR, VT_EMPTY}, errors), S_OK);
    std::unique_ptr<CEnumItemAttributes> e;
    group->CreateEnumerator(&e);
    std::vector<OPCITEMATTRIBUTES> a;
    e->Next(2, a);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_FALSE(a[0].active);
    EXPECT_EQ(a[0].requestedDataType, VT_BSTR);
    EXPECT_EQ(a[1].hClient, 900u);
    EXPECT_EQ(a[1].requestedDataType, VT_I4);  // VT_EMPTY becomes the canonical type
}

TEST_F(OPCGroupItems, AttributeEnumeratorReportsNamesRightsAndRanges) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.G.T1", "PLC1.Level", "PLC1.WO", "PLC1.Flag"});
    std::unique_ptr<CEnumItemAttributes> e;
    ASSERT_EQ(group->CreateEnumerator(&e), S_OK);
    std::vector<OPCITEMATTRIBUTES> a;
    EXPECT_EQ(e->Next(10, a), S_FALSE);
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0].itemID, "T1");  // the tag's own name
    EXPECT_EQ(a[0].accessPath, "");
    EXPECT_EQ(a[0].hServer, handles[0]);
    EXPECT_EQ(a[0].euType, OPC_NOENUM);
    EXPECT_EQ(a[0].euInfo.vt, VT_EMPTY);
    EXPECT_EQ(a[1].accessRights, OPC_READABLE);
    EXPECT_EQ(a[1].euType, OPC_ANALOG);
    EXPECT_EQ(a[1].euInfo.vt, VT_ARRAY | VT_R8);
    EXPECT_EQ(a[1].euInfo.array, (std::vector<double>{-5.0, 250.0}));
    EXPECT_EQ(a[2].accessRights, OPC_READABLE | OPC_WRITEABLE);  // write-only shows both
    EXPECT_EQ(a[3].euType, OPC_NOENUM);                          // a scaled BOOL is not analog
    EXPECT_EQ(e->Skip(1), S_FALSE);
    e->Reset();
    EXPECT_EQ(e->Skip(3), S_OK);
    auto clone = e->Clone();
    EXPECT_EQ(clone->Next(1, a), S_OK);
    EXPECT_EQ(a[0].itemID, "T1");
}

// The tag sheet replaces a tag's scaling object under TagDataLock; the attributes are read
// under it, so they show the new range and never the destroyed object.
TEST_F(OPCGroupItems, AttributesReadDuringATagSheetApplyShowTheNewScaling) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    Add(*group, {"PLC1.Level"});
    std::unique_ptr<CEnumItemAttributes> e;
    ASSERT_EQ(group->CreateEnumerator(&e), S_OK);
    std::vector<OPCITEMATTRIBUTES> a;
    std::future<HRESULT> read;
    {
        std::lock_guard<std::recursive_mutex> sheet(locks.tagData);
        read = std::async(std::launch::async, [&] { return e->Next(1, a); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the read begin
        auto scaling = std::make_unique<OAnalogData>();
        scaling->conversion = OAnalogData::kLinear;
        scaling->engineeringMaximum = 7.5;
        level->scaling = std::move(scaling);  // the old object is destroyed here
    }
    EXPECT_EQ(read.get(), S_OK);
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].euInfo.array, (std::vector<double>{0.0, 7.5}));
}

using OPCGroupSyncIO = DaTest;

TEST_F(OPCGroupSyncIO, CacheReadsReportOutOfServiceForInactiveItems) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.T", "PLC1.Count"});
    {
        std::lock_guard data(locks.tagData);
        t->value = Variant::Int16(12);
        t->timestamp = 555;
        count->value = Variant::UInt16(60000);
    }
    std::vector<HRESULT> errors;
    group->SetActiveState({handles[1]}, false, errors);
    std::vector<OPCITEMSTATE> states;
    EXPECT_EQ(group->Read(OPC_DS_CACHE, {handles[0], handles[1], 4242}, states, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, S_OK, OPC_E_INVALIDHANDLE}));
    EXPECT_TRUE(io.Reads().empty());
    EXPECT_EQ(states[0].hClient, 100u);
    EXPECT_EQ(states[0].value, Variant::Int16(12));
    EXPECT_EQ(states[0].quality, 0xC0);
    EXPECT_EQ(states[0].timestamp, 555u);
    EXPECT_EQ(states[1].quality, kQualityOutOfService);
    EXPECT_EQ(states[1].value, Variant::Int32(60000));  // UINT served as LONG
    EXPECT_TRUE(states[2].value.IsEmpty());

    const bool inactive = false;
    group->SetState(nullptr, nullptr, &inactive, nullptr, nullptr, nullptr, nullptr);
    group->Read(OPC_DS_CACHE, {handles[0]}, states, errors);
    EXPECT_EQ(states[0].quality, kQualityOutOfService);
}

TEST_F(OPCGroupSyncIO, DeviceReadsReadEachItemRegardlessOfActiveState) {
    auto server = MakeServer();
    auto group = MakeGroup(*server, false);
    auto handles = Add(*group, {"PLC1.T", "PLC2.X"}, VT_BSTR);
    io.SetDeviceValue(*t, Variant::Int16(7), 0x18);
    io.SetDeviceValue(*x, Variant::Float(1.5f));
    std::vector<OPCITEMSTATE> states;
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->Read(OPC_DS_DEVICE, handles, states, errors), S_OK);
    ASSERT_EQ(io.Reads().size(), 2u);
    EXPECT_EQ(io.Reads()[0].device, plc1);
    EXPECT_EQ(io.Reads()[1].device, plc2);
    EXPECT_EQ(states[0].quality, 0x18);
    EXPECT_EQ(states[0].value, Variant::Int16(7));  // not converted to the requested type
    EXPECT_EQ(states[1].value, Variant::Float(1.5f));
    EXPECT_TRUE(Traced("Called IOPCSyncIO::Read"));
}

TEST_F(OPCGroupSyncIO, ReadOfAWriteOnlyTagGivesBadRightsWithTheStateFilled) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.WO"});
    {
        std::lock_guard data(locks.tagData);
        wo->value = Variant::Int16(3);
    }
    std::vector<OPCITEMSTATE> states;
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->Read(OPC_DS_DEVICE, handles, states, errors), S_FALSE);
    EXPECT_EQ(errors[0], OPC_E_BADRIGHTS);
    EXPECT_EQ(states[0].hClient, 100u);
    EXPECT_EQ(states[0].value, Variant::Int16(3));
    EXPECT_TRUE(io.Reads().empty());  // a tag without read access is not asked for
}

TEST_F(OPCGroupSyncIO, WritesReportPerItemResultsAndABadHandleFailsOnlyItsItem) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.T", "PLC1.RO", "PLC1.Count"});
    std::vector<HRESULT> errors;
    EXPECT_EQ(
        group->Write({handles[0], handles[1]}, {Variant::Int16(4), Variant::Int16(5)}, errors),
        S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, OPC_E_BADRIGHTS}));
    EXPECT_EQ(t->value, Variant::Int16(4));
    EXPECT_EQ(ro->value, Variant());

    // Every handle is checked first: the client learns per item what was written, so a
    // retry never writes an item twice.
    io.ClearCalls();
    EXPECT_EQ(group->Write({handles[0], 31337, handles[2]},
                           {Variant::Int16(8), Variant::Int16(9), Variant::Int16(10)}, errors),
              S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE, S_OK}));
    ASSERT_EQ(io.Writes().size(), 2u);
    EXPECT_EQ(io.Writes()[0].first, "T");
    EXPECT_EQ(io.Writes()[1].first, "Count");

    io.SetWriteResult(*count, E_FAIL);
    EXPECT_EQ(group->Write({handles[2]}, {Variant::Int32(1)}, errors), S_FALSE);
    EXPECT_EQ(errors[0], E_FAIL);
}

TEST_F(OPCGroupSyncIO, SuccessfulWritesMarkTheirItemsForTheNextNotification) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.T", "PLC1.Count", "PLC1.RO"});
    group->RunUpdateCycle();  // caches filled, nobody connected
    FORMATETC format;
    format.cfFormat = kFormatData;
    std::vector<std::uint8_t> stream;
    group->GetData(&format, &stream);  // takes the marks of the first cycle
    std::vector<HRESULT> errors;
    group->Write({handles[1], handles[2]}, {Variant::Int32(3), Variant::Int16(1)}, errors);
    ASSERT_EQ(group->GetData(&format, &stream), S_OK);
    ASSERT_EQ(Read32(stream, 4), 1u);  // only the item whose write succeeded
    EXPECT_EQ(Read32(stream, 20), 101u);
}

using OPCGroupUpdate = DaTest;

TEST_F(OPCGroupUpdate, FirstCycleReportsEveryActiveItemThenOnlyChanges) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.T", "PLC1.Count", "PLC1.RO"});
    std::vector<HRESULT> errors;
    group->SetActiveState({handles[2]}, false, errors);
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    ASSERT_EQ(group->AdviseCallback(sink, &cookie), S_OK);
    io.SetDeviceValue(*t, Variant::Int16(1));
    io.SetDeviceValue(*count, Variant::UInt16(2));
    io.SetDeviceValue(*ro, Variant::Int16(3));
    clock.Advance(1000);
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 1u);
    DataEvent e = sink->Events()[0];
    EXPECT_EQ(e.kind, "change");
    EXPECT_EQ(e.transactionID, 0u);
    EXPECT_EQ(e.hGroup, 77u);
    EXPECT_EQ(e.masterQuality, S_OK);
    EXPECT_EQ(e.items.clientHandles, (std::vector<std::uint32_t>{100, 101}));
    EXPECT_EQ(e.items.values[1], Variant::Int32(2));
    EXPECT_EQ(server->LastUpdateTime(), clock.NowUtc());
    // All tags of the topic are read, the inactive item's too.
    EXPECT_EQ(io.Reads().back().tagNames.size(), 3u);

    group->RunUpdateCycle();
    EXPECT_EQ(sink->Events().size(), 1u);  // nothing changed
    io.SetDeviceValue(*count, Variant::UInt16(2), 0x18);
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 2u);
    e = sink->Events()[1];
    EXPECT_EQ(e.items.clientHandles, (std::vector<std::uint32_t>{101}));
    EXPECT_EQ(e.masterQuality, S_FALSE);
    // A value of another type is a change, also with the same number.
    io.SetDeviceValue(*t, Variant::Int32(1));
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 3u);
    EXPECT_EQ(sink->Events()[2].items.clientHandles, (std::vector<std::uint32_t>{100}));
    // Reactivating the item does not by itself report it.
    group->SetActiveState({handles[2]}, true, errors);
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 4u);  // first time seen active: cache empty, so it differs
    EXPECT_EQ(sink->Events()[3].items.clientHandles, (std::vector<std::uint32_t>{102}));
    group->RunUpdateCycle();
    EXPECT_EQ(sink->Events().size(), 4u);
}

TEST_F(OPCGroupUpdate, InactiveGroupsDoNotReadOrNotify) {
    auto server = MakeServer();
    auto group = MakeGroup(*server, false);
    Add(*group, {"PLC1.T"});
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->RunUpdateCycle();
    EXPECT_TRUE(io.Reads().empty());
    EXPECT_TRUE(sink->Events().empty());
}

TEST_F(OPCGroupUpdate, ChangelessUpdateNotifiesEveryCycleEvenWithoutItems) {
    auto server = MakeServer(false, true);
    auto group = MakeGroup(*server);
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->RunUpdateCycle();
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 2u);
    EXPECT_EQ(sink->Events()[0].items.Count(), 0u);
    Add(*group, {"PLC1.T", "PLC1.Count"});
    group->RunUpdateCycle();
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 4u);
    EXPECT_EQ(sink->Events()[3].items.Count(), 2u);  // every active item, changed or not
}

TEST_F(OPCGroupUpdate, DisabledCallbacksConsumeChangesButRefreshStillArrives) {
    auto server = MakeServer(false, false, &launcher);
    auto group = MakeGroup(*server);
    Add(*group, {"PLC1.T"});
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->SetEnable(false);
    bool enabled = true;
    group->GetEnable(&enabled);
    EXPECT_FALSE(enabled);
    group->RunUpdateCycle();
    EXPECT_TRUE(sink->Events().empty());
    std::uint32_t cancel = 0;
    group->Refresh2(OPC_DS_CACHE, 5, &cancel);
    launcher.RunAll();
    ASSERT_EQ(sink->Events().size(), 1u);
    EXPECT_EQ(sink->Events()[0].kind, "change");
    EXPECT_EQ(sink->Events()[0].transactionID, 5u);
    ASSERT_EQ(sink->Events()[0].items.Count(), 1u);
}

TEST_F(OPCGroupUpdate, ValuesAreSentInTheRequestedType) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.T", "PLC1.Count"}, VT_BSTR);
    std::vector<HRESULT> errors;
    group->SetDatatypes({handles[1]}, {VT_BOOL}, errors);
    io.SetDeviceValue(*t, Variant::Int16(42));
    io.SetDeviceValue(*count, Variant::UInt16(0));
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 1u);
    EXPECT_EQ(sink->Events()[0].items.values[0], Variant::Text("42"));
    EXPECT_EQ(sink->Events()[0].items.values[1], Variant::Bool(false));
    EXPECT_EQ(sink->Events()[0].masterError, S_OK);
}

TEST_F(OPCGroupUpdate, AValueThatDoesNotConvertTravelsEmptyWithItsError) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    Add(*group, {"PLC1.T"}, VT_I2);
    std::vector<HRESULT> errors;
    io.SetDeviceValue(*t, Variant::Text("not a number"));
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 1u);
    EXPECT_TRUE(sink->Events()[0].items.values[0].IsEmpty());
    EXPECT_EQ(sink->Events()[0].items.errors[0], DISP_E_TYPEMISMATCH);
    EXPECT_EQ(sink->Events()[0].masterError, S_FALSE);
}

TEST_F(OPCGroupUpdate, WithoutAnyConnectionTheMarksWait) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    Add(*group, {"PLC1.T"});
    group->RunUpdateCycle();  // nobody to tell
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->RunUpdateCycle();  // the value is unchanged, and the marks are reset by the cycle
    EXPECT_TRUE(sink->Events().empty());
    FORMATETC format;
    format.cfFormat = kFormatData;
    std::vector<std::uint8_t> stream;
    // A refresh would report it; GetData takes what is marked (nothing now).
    EXPECT_EQ(group->GetData(&format, &stream), S_OK);
    EXPECT_EQ(Read32(stream, 4), 0u);
}

TEST_F(OPCGroupUpdate, NoCallbackIsMadeWhileTheItemLockIsHeld) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    Add(*group, {"PLC1.T"});
    auto sink = std::make_shared<RecordingCallback>();
    bool otherThreadGotIn = false;
    // Inside the callback another thread must be able to use the group's items.
    sink->hook = [&] {
        auto done = std::async(std::launch::async, [&] {
            std::vector<OPCITEMRESULT> r;
            std::vector<HRESULT> e;
            OPCITEMDEF def;
            def.itemID = "PLC1.RO";
            group->ValidateItems({def}, false, r, e);
            std::vector<OPCITEMSTATE> s;
            group->Read(OPC_DS_CACHE, {1}, s, e);
        });
        otherThreadGotIn = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    };
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    group->RunUpdateCycle();
    ASSERT_EQ(sink->Events().size(), 1u);
    EXPECT_TRUE(otherThreadGotIn);
}

TEST_F(OPCGroupUpdate, AddItemsWakesTheUpdateThread) {
    auto server = MakeServer(true);
    std::shared_ptr<OPCGroup> group;
    std::uint32_t revised = 0;
    // A period of about 49 days: only the wake event can bring the next cycle.
    server->AddGroup(nullptr, true, 0xFFFFFFFFu, 5, nullptr, nullptr, 0, &group, nullptr, &revised);
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    io.SetDeviceValue(*t, Variant::Int16(9));
    Add(*group, {"PLC1.T"});
    ASSERT_TRUE(sink->WaitFor(1));
    EXPECT_EQ(sink->Events()[0].items.values[0], Variant::Int16(9));
    EXPECT_EQ(sink->Events()[0].hGroup, 5u);
    std::weak_ptr<OPCGroup> weak = group;
    server->RemoveGroup(group->ServerHandle(), false);
    group.reset();
    EXPECT_TRUE(Expires(weak));  // the update thread lets go after its cycle
}

TEST_F(OPCGroupUpdate, AClientMayReleaseTheGroupInsideItsUpdateCallback) {
    auto server = MakeServer(true);
    std::shared_ptr<OPCGroup> held;
    server->AddGroup(nullptr, true, 10, 5, nullptr, nullptr, 0, &held, nullptr, nullptr);
    server->RemoveGroup(held->ServerHandle(), false);
    std::weak_ptr<OPCGroup> weak = held;
    auto sink = std::make_shared<RecordingCallback>();
    sink->hook = [&] { held.reset(); };  // on the update thread; main no longer touches it
    std::uint32_t cookie = 0;
    std::shared_ptr<OPCGroup> group = weak.lock();
    group->AdviseCallback(sink, &cookie);
    Add(*group, {"PLC1.T"});
    group.reset();
    EXPECT_TRUE(Expires(weak));
    EXPECT_TRUE(sink->WaitFor(1));
    ASSERT_TRUE(WaitUntilNoGroupsLive());
    std::lock_guard data(locks.tagData);
    EXPECT_EQ(t->opcReferenceCount, 0);
}

TEST_F(OPCGroupUpdate, AClientMayReleaseTheGroupInsideAnAsyncCompletion) {
    auto server = MakeServer();  // a thread of the group per request
    std::shared_ptr<OPCGroup> held = MakeGroup(*server);
    auto h = Add(*held, {"PLC1.T"});
    server->RemoveGroup(held->ServerHandle(), false);
    std::weak_ptr<OPCGroup> weak = held;
    auto sink = std::make_shared<RecordingCallback>();
    sink->hook = [&] { held.reset(); };  // on the worker thread: the client's last reference
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    io.onRead = [gate](ODevice&, const TagList&) { gate.wait(); };
    std::uint32_t cookie = 0, cancel = 0;
    std::vector<HRESULT> errors;
    held->AdviseCallback(sink, &cookie);
    held->Read2(h, 3, &cancel, errors);
    release.set_value();  // from here on only the worker touches the group
    EXPECT_TRUE(sink->WaitFor(1));
    EXPECT_TRUE(Expires(weak));
    io.onRead = nullptr;
}

TEST_F(OPCGroupUpdate, ActivatingTheGroupWakesTheUpdateThread) {
    auto server = MakeServer(true);
    std::shared_ptr<OPCGroup> group;
    server->AddGroup(nullptr, false, 0xFFFFFFFFu, 5, nullptr, nullptr, 0, &group, nullptr, nullptr);
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    Add(*group, {"PLC1.T"});  // wakes a cycle that finds the group inactive
    const bool active = true;
    group->SetState(nullptr, nullptr, &active, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(sink->WaitFor(1));
    EXPECT_EQ(sink->Events()[0].items.Count(), 1u);
    server->RemoveGroup(group->ServerHandle(), false);
    group.reset();
    EXPECT_TRUE(WaitUntilNoGroupsLive());  // before the fixture's tree goes
}

TEST(UpdateTiming, WaitIsTheRestOfThePeriodAndAFullPeriodAfterAnOverrun) {
    EXPECT_EQ(UpdateWaitMs(100, 1000, 1030), 70u);
    EXPECT_EQ(UpdateWaitMs(100, 1000, 1100), 0u);
    EXPECT_EQ(UpdateWaitMs(100, 1000, 1101), 100u);  // overrun
    EXPECT_EQ(UpdateWaitMs(100, 1000, 900), 100u);   // tick count went backwards
}

TEST(UpdateTiming, PeriodsOfGroupsOfDividingRatesStartTogetherOnTheGrid) {
    // Two groups started at different moments, at 250 ms and 1 s.
    UpdatePeriods fast, slow;
    EXPECT_EQ(fast.Begin(250, 10'130), 10'130u);  // the first cycle: its own start
    EXPECT_EQ(fast.WaitAfter(250, 10'130, 10'140), 110u);
    EXPECT_EQ(slow.Begin(1000, 10'610), 10'610u);
    EXPECT_EQ(slow.WaitAfter(1000, 10'610, 10'620), 380u);
    // Woken a little late, both cycles belong to the period that began at 11000.
    EXPECT_EQ(fast.Begin(250, 10'252), 10'250u);
    EXPECT_EQ(fast.WaitAfter(250, 10'252, 10'260), 240u);
    EXPECT_EQ(slow.Begin(1000, 11'003), 11'000u);
    EXPECT_EQ(fast.Begin(250, 10'501), 10'500u);
    fast.WaitAfter(250, 10'501, 10'510);
    EXPECT_EQ(fast.Begin(250, 10'752), 10'750u);
    fast.WaitAfter(250, 10'752, 10'760);
    EXPECT_EQ(fast.Begin(250, 11'002), 11'000u);
    // A cycle woken before its time (items added) takes its own start, and the next one is
    // back on the grid.
    fast.WaitAfter(250, 11'002, 11'010);
    EXPECT_EQ(fast.Begin(250, 11'100), 11'100u);
    EXPECT_EQ(fast.WaitAfter(250, 11'100, 11'120), 130u);
    EXPECT_EQ(fast.Begin(250, 11'250), 11'250u);
}

TEST_F(OPCGroupUpdate, CallbackConnectionPointResults) {
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    struct NoCallback final : IClientSink {};
    auto plain = std::make_shared<NoCallback>();
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    EXPECT_EQ(group->AdviseCallback(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(group->AdviseCallback(sink, nullptr), E_POINTER);
    EXPECT_EQ(group->AdviseCallback(plain, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(group->AdviseCallback(sink, &cookie), S_OK);
    EXPECT_EQ(group->UnadviseCallback(cookie + 1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(group->UnadviseCallback(cookie), S_OK);
    EXPECT_TRUE(Traced("Called IConnectionPoint<IOPCDataCallback>::Advise"));
}

}  // namespace
}  // namespace velk::testing
