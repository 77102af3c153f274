// The task pool: tasks in the order queued, a stop that refuses and drops, and a pool that
// its own task lets go.
#include "platform/task_pool.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

namespace velk {
namespace {

TEST(TaskPool, OneThreadRunsTasksInOrderAndAStopDropsWhatWaits) {
    TaskPool pool("order", 1);
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::mutex lock;
    std::vector<int> ran;
    ASSERT_TRUE(pool.Post([gate] { gate.wait(); }));
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(pool.Post([&, i] {
            std::lock_guard guard(lock);
            ran.push_back(i);
        }));
    }
    std::promise<void> done;
    pool.Post([&] { done.set_value(); });
    open.set_value();
    ASSERT_EQ(done.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(ran, (std::vector<int>{0, 1, 2}));

    std::promise<void> holdOpen;
    std::shared_future<void> hold = holdOpen.get_future().share();
    std::promise<void> started;
    pool.Post([hold, &started] {
        started.set_value();
        hold.wait();
    });
    ASSERT_EQ(started.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    bool droppedRan = false;
    pool.Post([&] { droppedRan = true; });
    // The busy thread is waited for at most the time given; the waiting task never runs.
    EXPECT_FALSE(pool.Stop(std::chrono::milliseconds(50)));
    EXPECT_FALSE(pool.Post([] {}));
    holdOpen.set_value();
    EXPECT_FALSE(droppedRan);
}

TEST(TaskPool, APoolReleasedByItsOwnTaskEndsWithoutWaitingForItself) {
    auto pool = std::make_shared<TaskPool>("self", 1);
    std::promise<void> released;
    TaskPool* raw = pool.get();
    raw->Post([&released, held = std::move(pool)]() mutable {
        held.reset();
        released.set_value();
    });
    EXPECT_EQ(released.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
}

}  // namespace
}  // namespace velk
