// DA groups: 1.0 and 2.0 asynchronous requests, cancellation, the 1.0 data object.
#include <future>
#include <utility>

#include "model/locks.h"
#include "opc/opc_result.h"
#include "tests/opcda/opcda_fixture.h"

namespace velk::testing {
namespace {

class OPCGroupAsync : public DaTest {
  protected:
    void SetUp() override {
        server = MakeServer(false, false, &launcher);
        group = MakeGroup(*server);
        handles = Add(*group, {"PLC1.T", "PLC1.RO", "PLC1.WO"});
        io.SetDeviceValue(*t, Variant::Int16(10));
        io.SetDeviceValue(*ro, Variant::Int16(20));
    }
    void Connect() { ASSERT_EQ(group->AdviseCallback(sink, &cookie), S_OK); }
    std::uint32_t Advise10(const std::shared_ptr<RecordingAdviseSink>& s, std::uint32_t format) {
        FORMATETC f;
        f.cfFormat = format;
        std::uint32_t connection = 0;
        EXPECT_EQ(group->DAdvise(&f, 0, s, &connection), S_OK);
        return connection;
    }

    std::shared_ptr<OPCServer> server;
    std::shared_ptr<OPCGroup> group;
    std::vector<std::uint32_t> handles;
    std::shared_ptr<RecordingCallback> sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
};

TEST_F(OPCGroupAsync, Read2CompletesThroughOnReadCompleteAfterTheCallReturns) {
    Connect();
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->Read2({handles[0], 999, handles[2]}, 44, &cancel, errors), S_OK);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, S_OK, S_OK}));  // the call checks nothing
    EXPECT_TRUE(io.Reads().empty());
    EXPECT_EQ(group->OutstandingRequests(), 1u);
    EXPECT_EQ(launcher.RunAll(), 1);
    EXPECT_EQ(group->OutstandingRequests(), 0u);
    ASSERT_EQ(sink->Events().size(), 1u);
    const DataEvent e = sink->Events()[0];
    EXPECT_EQ(e.kind, "read");
    EXPECT_EQ(e.transactionID, 44u);
    EXPECT_EQ(e.hGroup, 77u);
    // Only the readable item of the group: the bad handle and the write-only tag give nothing.
    EXPECT_EQ(e.items.clientHandles, (std::vector<std::uint32_t>{100}));
    EXPECT_EQ(e.items.values[0], Variant::Int16(10));
    ASSERT_EQ(io.Reads().size(), 1u);
}

TEST_F(OPCGroupAsync, CancelIdsComeFromOneProcessWideCounter) {
    std::uint32_t a = 0, b = 0, c = 0;
    std::vector<HRESULT> errors;
    group->Read2({handles[0]}, 1, &a, errors);
    auto other = MakeGroup(*server);
    other->Refresh2(OPC_DS_CACHE, 1, &b);
    group->Write2({handles[0]}, {Variant::Int16(1)}, 1, &c, errors);
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(c, b + 1);
    launcher.RunAll();
}

TEST_F(OPCGroupAsync, Cancel2MarksAWaitingRequestAndTheWorkerReportsTheCancel) {
    Connect();
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    group->Write2({handles[0]}, {Variant::Int16(99)}, 8, &cancel, errors);
    EXPECT_EQ(group->Cancel2(cancel + 1000), E_FAIL);
    EXPECT_EQ(group->Cancel2(cancel), S_OK);
    launcher.RunAll();
    ASSERT_EQ(sink->Events().size(), 1u);
    EXPECT_EQ(sink->Events()[0].kind, "cancel");
    EXPECT_EQ(sink->Events()[0].transactionID, 8u);
    EXPECT_TRUE(io.Writes().empty());
    EXPECT_EQ(group->OutstandingRequests(), 0u);
}

TEST_F(OPCGroupAsync, ARequestAlreadyTakenByItsWorkerCannotBeCancelled) {
    Connect();
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    HRESULT cancelResult = S_OK;
    io.onRead = [&](ODevice&, const TagList&) { cancelResult = group->Cancel2(cancel); };
    group->Read2({handles[0]}, 3, &cancel, errors);
    launcher.RunAll();
    EXPECT_EQ(cancelResult, E_FAIL);
    ASSERT_EQ(sink->Events().size(), 1u);
    EXPECT_EQ(sink->Events()[0].kind, "read");
}

TEST_F(OPCGroupAsync, ACancelledRequestStillRunsWithoutACallbackConnection) {
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    group->Write2({handles[0]}, {Variant::Int16(5)}, 1, &cancel, errors);
    EXPECT_EQ(group->Cancel2(cancel), S_OK);
    launcher.RunAll();
    ASSERT_EQ(io.Writes().size(), 1u);
    EXPECT_EQ(t->value, Variant::Int16(5));
}

TEST_F(OPCGroupAsync, Write2CompletionCarriesPerItemErrors) {
    Connect();
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    group->Write2({handles[0], 12345, handles[1]},
                  {Variant::Int16(1), Variant::Int16(2), Variant::Int16(3)}, 21, &cancel, errors);
    launcher.RunAll();
    ASSERT_EQ(sink->Events().size(), 1u);
    const DataEvent e = sink->Events()[0];
    EXPECT_EQ(e.kind, "write");
    EXPECT_EQ(e.transactionID, 21u);
    EXPECT_EQ(e.masterError, S_FALSE);
    EXPECT_EQ(e.writeHandles, (std::vector<std::uint32_t>{100, 0, 101}));
    EXPECT_EQ(e.writeErrors, (std::vector<HRESULT>{S_OK, OPC_E_INVALIDHANDLE, OPC_E_BADRIGHTS}));
}

TEST_F(OPCGroupAsync, CacheReadsOfInactiveItemsCompleteOutOfService) {
    Connect();
    std::vector<HRESULT> errors;
    group->SetActiveState({handles[1]}, false, errors);
    std::uint32_t tid = 0;
    group->AsyncRead(0, OPC_DS_CACHE, {handles[0], handles[1]}, &tid, errors);
    launcher.RunAll();
    ASSERT_EQ(sink->Events().size(), 1u);
    const DataEvent e = sink->Events()[0];
    EXPECT_EQ(e.kind, "read");  // a 1.0 read completes on the 2.0 callback
    EXPECT_EQ(e.transactionID, tid);
    EXPECT_EQ(e.items.qualities, (std::vector<std::uint16_t>{0xC0, kQualityOutOfService}));
    EXPECT_TRUE(io.Reads().empty());  // from the cache, no device in simulation
    EXPECT_EQ(e.masterQuality, S_FALSE);
}

TEST_F(OPCGroupAsync, CacheReadsOfASimulatedDeviceReadTheDevice) {
    Connect();
    plc1->simulationEnabled = 1;
    std::vector<HRESULT> errors;
    std::uint32_t tid = 0;
    group->AsyncRead(0, OPC_DS_CACHE, {handles[0]}, &tid, errors);
    launcher.RunAll();
    EXPECT_EQ(io.Reads().size(), 1u);
}

TEST_F(OPCGroupAsync, TransactionIdsOfOnePointZeroStartAtTwo) {
    std::uint32_t a = 0, b = 0, c = 0;
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->AsyncRead(1, OPC_DS_DEVICE, {handles[0]}, &a, errors), S_OK);
    EXPECT_EQ(group->AsyncWrite(1, {handles[0]}, {Variant::Int16(1)}, &b, errors), S_OK);
    EXPECT_EQ(group->AsyncRefresh(1, OPC_DS_CACHE, &c), S_OK);
    EXPECT_EQ(a, 2u);
    EXPECT_EQ(b, 3u);
    EXPECT_EQ(c, 4u);
    EXPECT_EQ(group->AsyncCancel(a), E_FAIL);
    EXPECT_EQ(group->AsyncRead(1, OPC_DS_DEVICE, {}, nullptr, errors), E_INVALIDARG);
    EXPECT_EQ(launcher.RunAll(), 3);
    EXPECT_TRUE(Traced("Called IOPCAsyncIO::Refresh"));
}

TEST_F(OPCGroupAsync, RefreshOfAnInactiveGroupReadsAndMarksNothing) {
    Connect();
    const bool inactive = false;
    group->SetState(nullptr, nullptr, &inactive, nullptr, nullptr, nullptr, nullptr);
    std::uint32_t cancel = 0;
    group->Refresh2(OPC_DS_DEVICE, 6, &cancel);
    launcher.RunAll();
    EXPECT_TRUE(io.Reads().empty());
    ASSERT_EQ(sink->Events().size(), 1u);
    EXPECT_EQ(sink->Events()[0].items.Count(), 0u);
}

TEST_F(OPCGroupAsync, AWorkerThatCannotStartFailsTheCallAndLeavesNoRequest) {
    Connect();
    launcher.refuse = true;
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    EXPECT_EQ(group->Read2({handles[0]}, 1, &cancel, errors), E_FAIL);
    EXPECT_EQ(group->OutstandingRequests(), 0u);
    launcher.refuse = false;
    group->Read2({handles[0]}, 2, &cancel, errors);
    launcher.RunAll();
    ASSERT_EQ(sink->Events().size(), 1u);  // the failed call never completes
    EXPECT_EQ(sink->Events()[0].transactionID, 2u);
}

TEST_F(OPCGroupAsync, ARemovedGroupLivesUntilItsLastRequestFinished) {
    Connect();
    std::weak_ptr<OPCGroup> weak = group;
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    group->Read2({handles[0]}, 1, &cancel, errors);
    server->RemoveGroup(group->ServerHandle(), true);
    group.reset();
    EXPECT_FALSE(weak.expired());
    launcher.RunAll();
    EXPECT_EQ(sink->Events().size(), 1u);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(t->opcReferenceCount, 0);
}

TEST_F(OPCGroupAsync, RequestsOfADestroyedGroupAreDroppedUnserved) {
    Connect();
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    group->Read2({handles[0]}, 1, &cancel, errors);
    std::weak_ptr<OPCGroup> weak = group;
    server->RemoveGroup(group->ServerHandle(), true);
    // The table's reference waits for the request; the client's goes, and so does the server.
    group.reset();
    server.reset();
    EXPECT_FALSE(weak.expired());
    launcher.RunAll();
    EXPECT_TRUE(weak.expired());
}

TEST_F(OPCGroupAsync, OwnThreadsServeASlowReadAfterTheCallReturned) {
    auto own = MakeServer();  // a thread per request
    auto g2 = MakeGroup(*own);
    auto h = Add(*g2, {"PLC1.T"});
    auto callback = std::make_shared<RecordingCallback>();
    std::uint32_t c = 0;
    g2->AdviseCallback(callback, &c);
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    io.onRead = [gate](ODevice&, const TagList&) { gate.wait(); };
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    EXPECT_EQ(g2->Read2(h, 17, &cancel, errors), S_OK);  // returns while the device is slow
    EXPECT_TRUE(callback->Events().empty());
    release.set_value();
    ASSERT_TRUE(callback->WaitFor(1));
    EXPECT_EQ(callback->Events()[0].transactionID, 17u);
    io.onRead = nullptr;
}

using OPCGroupDataObject = OPCGroupAsync;

TEST_F(OPCGroupDataObject, DAdviseChecksTheFormatAndQueuesAnInitialRefresh) {
    auto s = std::make_shared<RecordingAdviseSink>();
    FORMATETC bad;
    bad.cfFormat = kFormatData;
    bad.index = 0;
    std::uint32_t connection = 0;
    EXPECT_EQ(group->DAdvise(&bad, 0, s, &connection), E_FAIL);
    bad.index = -1;
    bad.tymed = 4;
    EXPECT_EQ(group->DAdvise(&bad, 0, s, &connection), E_FAIL);
    bad.tymed = TYMED_HGLOBAL;
    bad.hasTargetDevice = true;
    EXPECT_EQ(group->DAdvise(&bad, 0, s, &connection), E_FAIL);
    EXPECT_EQ(group->DUnadvise(1), OLE_E_NOCONNECTION);

    {
        std::lock_guard data(locks.tagData);
        t->value = Variant::Int16(61);
    }
    const std::uint32_t conn = Advise10(s, kFormatData);
    EXPECT_EQ(launcher.Queued(), 1u);
    EXPECT_TRUE(Traced("Called IDataObject::DAdvise"));
    EXPECT_FALSE(Traced("Called IOPCAsyncIO::Refresh"));  // the refresh is the group's own
    launcher.RunAll();
    const auto streams = s->Streams();
    ASSERT_EQ(streams.size(), 1u);
    EXPECT_EQ(streams[0].first, kFormatData);
    const auto& b = streams[0].second;
    EXPECT_EQ(Read32(b, 12), 2u);  // the refresh took the first 1.0 transaction ID
    EXPECT_EQ(Read32(b, 4), 2u);   // the readable active items
    EXPECT_EQ(Read32(b, 20), 100u);
    EXPECT_EQ(Read32(b, 32), 101u);
    EXPECT_EQ(Read16(b, 44 + 8), 10u);  // a refresh reads the devices whatever the source
    std::vector<AdviseConnection> list;
    EXPECT_EQ(group->EnumDAdvise(&list), S_OK);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(group->DUnadvise(conn), S_OK);
    EXPECT_EQ(group->DUnadvise(conn), OLE_E_NOCONNECTION);
}

TEST_F(OPCGroupDataObject, OnlyTheFirstDataConnectionGetsDataChanges) {
    auto first = std::make_shared<RecordingAdviseSink>();
    auto second = std::make_shared<RecordingAdviseSink>();
    auto writes = std::make_shared<RecordingAdviseSink>();
    Advise10(writes, kFormatWriteComplete);
    Advise10(first, kFormatDataTime);
    const std::uint32_t secondConn = Advise10(second, kFormatData);
    launcher.RunAll();  // the initial refreshes
    const std::size_t before1 = first->Streams().size(), before2 = second->Streams().size();
    io.SetDeviceValue(*t, Variant::Int16(1234));
    group->RunUpdateCycle();
    ASSERT_EQ(first->Streams().size(), before1 + 1);
    EXPECT_EQ(second->Streams().size(), before2);
    const auto b = first->Streams().back().second;
    EXPECT_EQ(first->Streams().back().first, kFormatDataTime);
    EXPECT_EQ(Read32(b, 12), 0u);  // data changes carry transaction ID 0
    EXPECT_EQ(Read64(b, 32), t->timestamp);

    // A 1.0 read naming the second connection completes there.
    std::uint32_t tid = 0;
    std::vector<HRESULT> errors;
    group->AsyncRead(secondConn, OPC_DS_DEVICE, {handles[1]}, &tid, errors);
    launcher.RunAll();
    ASSERT_EQ(second->Streams().size(), before2 + 1);
    EXPECT_EQ(second->Streams().back().first, kFormatData);
    const auto read = second->Streams().back().second;
    EXPECT_EQ(Read32(read, 12), tid);
    EXPECT_EQ(Read32(read, 20), 101u);
}

TEST_F(OPCGroupDataObject, ACompletionForAMissingConnectionIsDropped) {
    auto s = std::make_shared<RecordingAdviseSink>();
    Advise10(s, kFormatData);
    launcher.RunAll();
    const std::size_t before = s->Streams().size();
    std::uint32_t tid = 0;
    std::vector<HRESULT> errors;
    group->AsyncRead(4711, OPC_DS_DEVICE, {handles[0]}, &tid, errors);
    launcher.RunAll();
    EXPECT_EQ(s->Streams().size(), before);
    EXPECT_EQ(group->OutstandingRequests(), 0u);
    // The group keeps working: the next change reaches the sink.
    io.SetDeviceValue(*ro, Variant::Int16(-7));
    group->RunUpdateCycle();
    EXPECT_EQ(s->Streams().size(), before + 1);
}

TEST_F(OPCGroupDataObject, WritesCompleteWithAWriteCompleteStream) {
    auto s = std::make_shared<RecordingAdviseSink>();
    const std::uint32_t conn = Advise10(s, kFormatData);
    launcher.RunAll();
    std::uint32_t tid = 0;
    std::vector<HRESULT> errors;
    group->AsyncWrite(conn, {handles[0], 888}, {Variant::Int16(3), Variant::Int16(4)}, &tid,
                      errors);
    launcher.RunAll();
    ASSERT_FALSE(s->Streams().empty());
    EXPECT_EQ(s->Streams().back().first, kFormatWriteComplete);
    const auto b = s->Streams().back().second;
    EXPECT_EQ(Read32(b, 0), 2u);
    EXPECT_EQ(Read32(b, 4), 77u);
    EXPECT_EQ(Read32(b, 8), tid);
    EXPECT_EQ(Read32(b, 12), static_cast<std::uint32_t>(S_FALSE));
    EXPECT_EQ(Read32(b, 16), 100u);
    EXPECT_EQ(Read32(b, 20), 0u);
    EXPECT_EQ(Read32(b, 24), 0u);  // not an item
    EXPECT_EQ(Read32(b, 28), static_cast<std::uint32_t>(OPC_E_INVALIDHANDLE));
}

TEST_F(OPCGroupDataObject, QueryGetDataAndGetData) {
    FORMATETC f;
    f.cfFormat = kFormatDataTime;
    EXPECT_EQ(group->QueryGetData(nullptr), E_INVALIDARG);
    EXPECT_EQ(group->QueryGetData(&f), S_OK);
    f.tymed = 2;
    EXPECT_EQ(group->QueryGetData(&f), DV_E_TYMED);
    f.tymed = TYMED_HGLOBAL;
    f.cfFormat = kFormatWriteComplete;
    EXPECT_EQ(group->QueryGetData(&f), DV_E_FORMATETC);
    std::vector<std::uint8_t> stream;
    EXPECT_EQ(group->GetData(&f, &stream), DV_E_FORMATETC);
    f.cfFormat = kFormatDataTime;
    group->RunUpdateCycle();  // marks all items, nobody connected
    ASSERT_EQ(group->GetData(&f, &stream), S_OK);
    EXPECT_EQ(Read32(stream, 4), 3u);  // the cycle compares every active item
    ASSERT_EQ(group->GetData(&f, &stream), S_OK);
    EXPECT_EQ(Read32(stream, 4), 0u);  // the marks were taken
    EXPECT_EQ(group->GetDataHere(), E_NOTIMPL);
    EXPECT_EQ(group->SetData(), E_NOTIMPL);
    EXPECT_EQ(group->EnumFormatEtc(), E_NOTIMPL);
    EXPECT_EQ(group->GetCanonicalFormatEtc(), E_NOTIMPL);
}

TEST_F(OPCGroupDataObject, ASinkUnadvisedAndLetGoDuringItsStreamLivesUntilTheStreamIsSent) {
    auto s = std::make_shared<RecordingAdviseSink>();
    const std::weak_ptr<RecordingAdviseSink> watch = s;
    CallGate call;
    s->hook = call.Hold();
    const std::uint32_t conn = Advise10(s, kFormatData);
    auto sending = std::async(std::launch::async, [this] { launcher.RunAll(); });
    call.WaitUntilEntered();  // the initial refresh is inside the sink
    // The client ends the connection and lets go of its sink on its own thread meanwhile.
    EXPECT_EQ(group->DUnadvise(conn), S_OK);
    s.reset();
    EXPECT_FALSE(watch.expired());
    call.Release();  // the sink records the stream after the hook
    sending.get();
    EXPECT_TRUE(watch.expired());  // the stream's reference was the last
}

TEST_F(OPCGroupAsync, ASinkThatUnadvisesInsideItsCallbackStaysUntilTheCallbackReturns) {
    Connect();
    auto other = std::make_shared<RecordingCallback>();
    std::uint32_t otherCookie = 0;
    ASSERT_EQ(group->AdviseCallback(other, &otherCookie), S_OK);
    const std::weak_ptr<RecordingCallback> watch = sink;
    bool aliveInCall = false;
    sink->hook = [&] {
        EXPECT_EQ(group->UnadviseCallback(cookie), S_OK);
        aliveInCall = !watch.expired();
    };
    sink.reset();  // the connection holds the only reference
    group->RunUpdateCycle();
    EXPECT_TRUE(aliveInCall);
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(other->Events().size(), 1u);  // the later connection is still called
}

TEST_F(OPCGroupAsync, ARequestThreadDoesNotWaitUnderTheItemLockForACallbackInProgress) {
    Connect();
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    ASSERT_EQ(group->Read2({handles[0]}, 9, &cancel, errors), S_OK);  // queued
    std::promise<void> deviceRead;
    std::future<void> reader;
    bool requestGotToTheDevice = false;
    bool first = true;
    sink->hook = [&] {
        if (!std::exchange(first, false)) return;
        // While this callback runs, the request thread asks under the item lock whether
        // anybody is connected, then reads the device without the lock.
        io.onRead = [&](ODevice&, const TagList&) { deviceRead.set_value(); };
        reader = std::async(std::launch::async, [this] { launcher.RunAll(); });
        requestGotToTheDevice =
            deviceRead.get_future().wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    };
    group->RunUpdateCycle();  // the first cycle's data change
    reader.get();
    EXPECT_TRUE(requestGotToTheDevice);
    ASSERT_EQ(sink->Events().size(), 2u);
    EXPECT_EQ(sink->Events()[1].kind, "read");
    EXPECT_EQ(sink->Events()[1].transactionID, 9u);
    io.onRead = nullptr;
}

TEST_F(OPCGroupDataObject, StreamSinksAreCalledWithoutTheItemLock) {
    auto s = std::make_shared<RecordingAdviseSink>();
    bool otherThreadGotIn = false;
    s->hook = [&] {
        auto done = std::async(std::launch::async, [&] {
            std::vector<OPCITEMSTATE> states;
            std::vector<HRESULT> errors;
            group->Read(OPC_DS_CACHE, {handles[0]}, states, errors);
        });
        otherThreadGotIn = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    };
    Advise10(s, kFormatData);
    launcher.RunAll();
    ASSERT_EQ(s->Streams().size(), 1u);
    EXPECT_TRUE(otherThreadGotIn);
}

}  // namespace
}  // namespace velk::testing
