// The groups' update cycles as passes on the shared update pool: the grid and the waits of
// one group's cycles on a stepped pool with the fake clock, and many groups on few threads
// with each group's notifications in order and never two at once.
#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "platform/linux/process_info.h"
#include "platform/timed_pass_pool.h"
#include "tests/opcda/opcda_fixture.h"
#include "tests/support/refusing_thread_factory.h"

namespace velk::testing {
namespace {

using std::chrono::milliseconds;
using GroupUpdatePool = DaTest;

std::int16_t FirstValue(const DataEvent& event) {
    return event.items.values.empty() ? -1 : event.items.values[0].AsInt16();
}

// One group on a pool whose schedule is the fake clock's tick count: each pass is run here,
// so the test sees exactly when the cycles come. The reads run inline (no device readers).
TEST_F(GroupUpdatePool, CyclesKeepTheGridAnOverrunWaitsAFullPeriodAndAWakeIsNeverLost) {
    TimedPassPool pool(
        [this] { return std::chrono::steady_clock::time_point(milliseconds(clock.TickCount())); });
    GroupServices services;
    services.clock = &clock;
    services.tagIO = &io;
    services.locks = &locks;
    services.updates = &pool;
    services.findItem = [this](const std::string& id, ODevice** device) {
        return FindItemTag(root, id, device);
    };
    auto group = std::make_shared<OPCGroup>(services, std::weak_ptr<OPCServer>{},
                                            std::make_shared<std::atomic<FileTime>>(0), 1);
    group->Initialise("G", true, 100, 7, 0, 0.0f, 0x409);
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    std::int16_t value = 0;
    std::function<void()> duringRead;
    io.onRead = [&](ODevice&, const TagList&) {
        io.SetDeviceValue(*t, Variant::Int16(++value));
        if (auto during = std::exchange(duringRead, nullptr)) during();
    };
    clock.SetTick(100000);  // on the 100 ms grid
    ASSERT_TRUE(group->StartUpdates());
    EXPECT_EQ(pool.RunDue(), 1u);  // no item: the group sleeps
    clock.Advance(1000);
    EXPECT_EQ(pool.RunDue(), 0u);

    Add(*group, {"PLC1.T"});  // wakes the group: the first cycle at once (t = 101000)
    EXPECT_EQ(pool.RunDue(), 1u);
    clock.Advance(99);
    EXPECT_EQ(pool.RunDue(), 0u);
    clock.Advance(1);  // the next grid point
    EXPECT_EQ(pool.RunDue(), 1u);

    // A cycle that overruns its period (its read takes 150 ms) is followed by a full period
    // of waiting, not by the grid point it passed; the cycle after it is on the grid again.
    duringRead = [this] { clock.Advance(150); };
    clock.Advance(100);
    EXPECT_EQ(pool.RunDue(), 1u);  // from 101200 to 101350
    clock.Advance(99);
    EXPECT_EQ(pool.RunDue(), 0u);
    clock.Advance(1);  // 101450
    EXPECT_EQ(pool.RunDue(), 1u);
    clock.Advance(49);
    EXPECT_EQ(pool.RunDue(), 0u);
    clock.Advance(1);  // 101500, the grid again
    EXPECT_EQ(pool.RunDue(), 1u);

    // Items added while a cycle reads end the wait after that cycle at once.
    duringRead = [&] { Add(*group, {"PLC1.G.T1"}); };
    clock.Advance(100);
    EXPECT_EQ(pool.RunDue(), 2u);

    // One notification per cycle, in the order of the cycles, each with the value its own
    // read gave.
    const std::vector<DataEvent> events = sink->Events();
    ASSERT_EQ(events.size(), 7u);
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].kind, "change");
        EXPECT_EQ(FirstValue(events[i]), static_cast<std::int16_t>(i + 1)) << i;
    }
    io.onRead = nullptr;
}

// Many groups, two update threads: the process gains no thread per group, and each group's
// notifications come one at a time and in the order of its cycles.
TEST_F(GroupUpdatePool, ManyGroupsShareTwoThreadsAndEachGroupsCyclesKeepTheirOrder) {
    workers = std::make_shared<DeviceWorkers>(
        1, std::make_unique<TimedPassPool>("DA update", 2, ThreadPriority::Normal));
    std::atomic<std::int16_t> value{0};
    io.onRead = [&](ODevice&, const TagList&) { io.SetDeviceValue(*t, Variant::Int16(++value)); };
    auto server = MakeServer(true);
    const std::size_t threadsBefore = ThreadsOfThisProcess();
    constexpr std::size_t kGroups = 60;
    struct Watched {
        std::shared_ptr<OPCGroup> group;
        std::shared_ptr<RecordingCallback> sink;
        std::atomic<int> inside{0};
        std::atomic<int> overlaps{0};
    };
    std::vector<std::unique_ptr<Watched>> watched;
    for (std::size_t i = 0; i < kGroups; ++i) {
        auto w = std::make_unique<Watched>();
        w->group = MakeGroup(*server, true, 50);
        w->sink = std::make_shared<RecordingCallback>();
        Watched* raw = w.get();
        w->sink->hook = [raw] {
            if (raw->inside.fetch_add(1) != 0) ++raw->overlaps;
            std::this_thread::sleep_for(milliseconds(1));
            raw->inside.fetch_sub(1);
        };
        std::uint32_t cookie = 0;
        w->group->AdviseCallback(w->sink, &cookie);
        Add(*w->group, {"PLC1.T"});
        watched.push_back(std::move(w));
    }
    for (auto& w : watched) EXPECT_TRUE(w->sink->WaitFor(3));
    // The pools and the device's reader; a thread per group would be 60 more.
    EXPECT_LE(ThreadsOfThisProcess(), threadsBefore + 4);
    for (auto& w : watched) {
        EXPECT_EQ(w->overlaps.load(), 0);
        std::int16_t last = 0;
        for (const DataEvent& e : w->sink->Events()) {
            EXPECT_GT(FirstValue(e), last);
            last = FirstValue(e);
        }
    }
    // A released group may still be in a pass that calls its sink: the watches go only
    // after every group has ended.
    for (auto& w : watched) w->group.reset();
    server.reset();
    EXPECT_TRUE(WaitUntilNoGroupsLive());
    watched.clear();
    io.onRead = nullptr;
}

// A pool that cannot have a thread refuses the group: AddGroup fails, nothing is left of
// the group, and once threads can be had the client's next AddGroup succeeds.
TEST_F(GroupUpdatePool, AGroupWhoseCyclesCannotRunIsRefusedAndTheNextOneIsNot) {
    auto refused = std::make_unique<ThreadsRefused>();
    workers = std::make_shared<DeviceWorkers>(1);
    auto server = MakeServer(true);
    std::shared_ptr<OPCGroup> group;
    EXPECT_EQ(
        server->AddGroup(nullptr, true, 100, 0, nullptr, nullptr, 0, &group, nullptr, nullptr),
        E_FAIL);
    EXPECT_EQ(server->GroupCount(), 0u);
    refused.reset();
    std::string name;
    ASSERT_EQ(
        server->AddGroup(nullptr, true, 100, 0, nullptr, nullptr, 0, &group, nullptr, nullptr),
        S_OK);
    group->GetState(nullptr, nullptr, &name, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(name, "Group1");  // the refused group's name is free again
    auto sink = std::make_shared<RecordingCallback>();
    std::uint32_t cookie = 0;
    group->AdviseCallback(sink, &cookie);
    Add(*group, {"PLC1.T"});
    EXPECT_TRUE(sink->WaitFor(1));
}

}  // namespace
}  // namespace velk::testing
