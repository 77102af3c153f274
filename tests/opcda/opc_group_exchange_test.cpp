// DA groups beside controllers that do not answer: the item lock is never held across a
// device exchange, asynchronous requests run on a bounded pool, and one client's groups,
// items and outstanding requests are bounded.
#include <atomic>
#include <future>
#include <thread>

#include "platform/linux/process_info.h"
#include "tests/opcda/opcda_fixture.h"

namespace velk::testing {
namespace {

// Holds every read of one device until opened; the test opens it before it ends.
class SilentDevice {
  public:
    explicit SilentDevice(ODevice& device) : device_(device), gate_(open_.get_future().share()) {}
    ~SilentDevice() { Open(); }
    // Blocks when the device is the silent one; counts the reads that came.
    void OnRead(ODevice& device) {
        if (&device != &device_) return;
        ++reads_;
        gate_.wait();
    }
    bool Reached() const { return reads_.load() > 0; }
    void Open() {
        if (!opened_.exchange(true)) open_.set_value();
    }

  private:
    ODevice& device_;
    std::promise<void> open_;
    std::shared_future<void> gate_;
    std::atomic<int> reads_{0};
    std::atomic<bool> opened_{false};
};

template <class F>
bool ReturnsWhileSilent(SilentDevice& silent, F call) {
    auto done = std::async(std::launch::async, std::move(call));
    // Generous: the silent device stays silent for the whole wait.
    const bool returned = done.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!returned) silent.Open();  // so that the call can end and the test fail cleanly
    return returned;
}

bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 2000 && !condition(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return condition();
}

using OPCGroupExchange = DaTest;

TEST_F(OPCGroupExchange, CallsReturnAndHealthyItemsUpdateWhileAControllerIsSilent) {
    SilentDevice silent(*plc2);
    std::atomic<int> value{0};
    io.onRead = [&](ODevice& device, const TagList&) {
        if (&device == plc1)
            io.SetDeviceValue(*t, Variant::Int16(static_cast<std::int16_t>(++value)));
        silent.OnRead(device);
    };
    auto server = MakeServer(true);
    auto group = MakeGroup(*server, true, 20);
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    auto handles = Add(*group, {"PLC1.T", "PLC2.X"});
    ASSERT_TRUE(WaitUntil([&] { return silent.Reached(); }));

    // The update cycle waits for the silent controller; the client's calls do not.
    EXPECT_TRUE(ReturnsWhileSilent(silent, [&] {
        std::uint32_t cancel = 0;
        std::vector<HRESULT> errors;
        return group->Read2({handles[0]}, 7, &cancel, errors);
    }));
    EXPECT_TRUE(ReturnsWhileSilent(silent, [&] {
        std::vector<OPCITEMSTATE> states;
        std::vector<HRESULT> errors;
        return group->Read(OPC_DS_CACHE, handles, states, errors);
    }));
    // The healthy controller's item keeps changing at the group's rate meanwhile.
    EXPECT_TRUE(sink->WaitFor(6));
    std::size_t changes = 0;
    for (const DataEvent& e : sink->Events()) changes += e.kind == "change" && e.transactionID == 0;
    EXPECT_GE(changes, 4u);

    silent.Open();
    server->RemoveGroup(group->ServerHandle(), false);
    group.reset();
    server.reset();
    EXPECT_TRUE(WaitUntilNoGroupsLive());
    io.onRead = nullptr;
}

TEST_F(OPCGroupExchange, AsynchronousRequestsRunOnABoundedPoolAndAreBoundedPerClient) {
    SilentDevice silent(*plc1);
    io.onRead = [&](ODevice& device, const TagList&) { silent.OnRead(device); };
    limits.maxRequests = 60;
    auto server = MakeServer();
    auto group = MakeGroup(*server);
    auto handles = Add(*group, {"PLC1.T"});
    const std::size_t before = ThreadsOfThisProcess();
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    for (int i = 0; i < 60; ++i) ASSERT_EQ(group->Read2(handles, i, &cancel, errors), S_OK);
    // Sixty requests wait on the silent controller without a thread each.
    EXPECT_LT(ThreadsOfThisProcess(), before + 10);
    EXPECT_EQ(group->Read2(handles, 99, &cancel, errors), E_OUTOFMEMORY);
    std::uint32_t transaction = 0;
    EXPECT_EQ(group->AsyncRefresh(0, OPC_DS_CACHE, &transaction), E_OUTOFMEMORY);

    silent.Open();
    EXPECT_TRUE(WaitUntil([&] { return group->OutstandingRequests() == 0; }));
    EXPECT_EQ(group->Read2(handles, 100, &cancel, errors), S_OK);  // the bound is given back
    EXPECT_TRUE(WaitUntil([&] { return group->OutstandingRequests() == 0; }));
    io.onRead = nullptr;
}

// A recording callback connected to the group.
std::shared_ptr<RecordingCallback> Connected(OPCGroup& group) {
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    EXPECT_EQ(group.AdviseCallback(sink, &cookie), S_OK);
    return sink;
}

// The completions a client saw (of one kind, or all), by transaction ID, in the order they came.
std::vector<std::uint32_t> Completions(const RecordingCallback& sink, const char* kind = nullptr) {
    std::vector<std::uint32_t> ids;
    for (const DataEvent& e : sink.Events())
        if (!kind || e.kind == kind) ids.push_back(e.transactionID);
    return ids;
}

TEST_F(OPCGroupExchange, ReadsWaitingOnASilentControllerLeaveThePoolToOtherClients) {
    SilentDevice silent(*plc2);
    io.onRead = [&](ODevice& device, const TagList&) { silent.OnRead(device); };
    workers = std::make_shared<DeviceWorkers>();  // one pool of four for both clients
    auto stuckClient = MakeServer(true);
    auto healthyClient = MakeServer(true);
    auto stuck = MakeGroup(*stuckClient, false);
    auto healthy = MakeGroup(*healthyClient, false);
    const auto stuckSink = Connected(*stuck);
    const auto healthySink = Connected(*healthy);
    const auto silentItem = Add(*stuck, {"PLC2.X"});
    const auto healthyItem = Add(*healthy, {"PLC1.T"});
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    // Twice the pool's threads wait on the controller that does not answer.
    for (std::uint32_t i = 1; i <= 2 * DeviceWorkers::kDefaultRequestThreads; ++i)
        ASSERT_EQ(stuck->Read2(silentItem, i, &cancel, errors), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return silent.Reached(); }));
    ASSERT_EQ(healthy->Read2(healthyItem, 50, &cancel, errors), S_OK);
    // The healthy controller's read completes while the silent one is still silent.
    EXPECT_TRUE(healthySink->WaitFor(1));
    EXPECT_EQ(Completions(*healthySink, "read"), (std::vector<std::uint32_t>{50}));
    EXPECT_TRUE(Completions(*stuckSink, "read").empty());

    silent.Open();
    EXPECT_TRUE(stuckSink->WaitFor(8));
    EXPECT_EQ(Completions(*stuckSink, "read"),
              (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(WaitUntil([&] { return stuck->OutstandingRequests() == 0; }));
    io.onRead = nullptr;
}

TEST_F(OPCGroupExchange, AGroupsCompletionsKeepTheOrderOfItsRequests) {
    SilentDevice silent(*plc2);
    std::atomic<int> healthyReads{0};
    io.onRead = [&](ODevice& device, const TagList&) {
        healthyReads += &device == plc1;
        silent.OnRead(device);
    };
    auto server = MakeServer(true);
    auto group = MakeGroup(*server, false);
    const auto sink = Connected(*group);
    const auto handles = Add(*group, {"PLC2.X", "PLC1.T"});
    std::uint32_t cancel = 0;
    std::vector<HRESULT> errors;
    ASSERT_EQ(group->Read2({handles[0]}, 1, &cancel, errors), S_OK);
    ASSERT_EQ(group->Read2({handles[1]}, 2, &cancel, errors), S_OK);
    std::uint32_t transaction = 0;
    ASSERT_EQ(group->AsyncRefresh(0, OPC_DS_CACHE, &transaction), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return silent.Reached() && healthyReads.load() > 0; }));
    // The later requests have ended their exchanges; a completion out of order would show
    // within this pause (the assertions below do not depend on it).
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(sink->Events().empty());
    silent.Open();
    EXPECT_TRUE(sink->WaitFor(3));
    EXPECT_EQ(Completions(*sink), (std::vector<std::uint32_t>{1, 2, transaction}));
    EXPECT_TRUE(WaitUntil([&] { return group->OutstandingRequests() == 0; }));
    io.onRead = nullptr;
}

TEST_F(OPCGroupExchange, GroupsAndItemsAreBoundedPerClient) {
    limits.maxGroups = 2;
    limits.maxItems = 3;
    auto server = MakeServer();
    auto a = MakeGroup(*server);
    auto b = MakeGroup(*server);
    std::shared_ptr<OPCGroup> c;
    EXPECT_EQ(server->AddGroup(nullptr, true, 100, 0, nullptr, nullptr, 0, &c, nullptr, nullptr),
              E_OUTOFMEMORY);
    EXPECT_EQ(server->GroupCount(), 2u);

    std::vector<OPCITEMDEF> defs(2);
    defs[0].itemID = "PLC1.T";
    defs[1].itemID = "PLC1.RO";
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    EXPECT_EQ(a->AddItems(defs, results, errors), S_OK);
    // The client's third item fits in the other group, the fourth in none.
    EXPECT_EQ(b->AddItems(defs, results, errors), S_FALSE);
    EXPECT_EQ(errors, (std::vector<HRESULT>{S_OK, E_OUTOFMEMORY}));
    // Removing an item, or a whole group, gives its place back.
    EXPECT_EQ(b->RemoveItems({results[0].hServer}, errors), S_OK);
    EXPECT_EQ(a->AddItems({defs[0]}, results, errors), S_OK);
    server->RemoveGroup(a->ServerHandle(), false);
    a.reset();
    EXPECT_EQ(server->AddGroup(nullptr, true, 100, 0, nullptr, nullptr, 0, &c, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(c->AddItems(defs, results, errors), S_OK);
}

}  // namespace
}  // namespace velk::testing
