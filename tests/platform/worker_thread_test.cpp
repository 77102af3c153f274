#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace velk {
namespace {

TEST(WorkerThread, PumpsUntilQuitAndReportsItsExitCode) {
    std::atomic<int> handled{0};
    WorkerThread thread("test");
    ASSERT_TRUE(thread.Start([&](MessageQueue& queue) {
        Message m;
        while (queue.Get(m)) ++handled;
        return 42;
    }));
    thread.Post(WM_USER + 1);
    thread.Post(WM_USER + 2);
    thread.PostQuit();
    EXPECT_TRUE(thread.Join(std::chrono::milliseconds(5000)));
    EXPECT_EQ(handled.load(), 2);
    EXPECT_EQ(thread.ExitCode(), 42);
}

TEST(WorkerThread, ThreadThatIgnoresQuitIsAbandonedAfterTheWait) {
    std::atomic<bool> release{false};
    WorkerThread thread("stubborn");
    thread.Start([&](MessageQueue&) {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    });
    thread.PostQuit();
    EXPECT_FALSE(thread.Join(std::chrono::milliseconds(50)));
    EXPECT_FALSE(thread.IsStarted());
    release = true;
    // The abandoned thread still owns its queue: posting is safe and it ends by itself.
    for (int i = 0; i < 1000 && !thread.Finished(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(thread.Finished());
}

TEST(WorkerThread, RefusedPriorityStillRunsTheThread) {
    WorkerThread thread("prio");
    std::atomic<bool> ran{false};
    thread.Start(
        [&](MessageQueue&) {
            ran = true;
            return 0;
        },
        ThreadPriority::Highest);
    EXPECT_TRUE(thread.Join(std::chrono::milliseconds(5000)));
    EXPECT_TRUE(ran);
}

TEST(WorkerThread, AWakeEndsTheCurrentOrTheNextWaitAndIsTakenByIt) {
    // A thread that waits an hour between cycles ends as soon as its owner wakes it.
    std::atomic<bool> stop{false};
    WorkerThread thread("Cycles");
    ASSERT_TRUE(thread.Start([&](MessageQueue& queue) {
        while (!stop) {
            WaitForWake(queue, std::chrono::hours(1));
        }
        return 0;
    }));
    stop = true;
    thread.Wake();
    thread.Join();
    EXPECT_TRUE(thread.Finished());

    // A wake that comes before the wait ends it at once; one wait takes all queued wakes.
    MessageQueue queue;
    queue.Post(WM_NULL);
    queue.Post(WM_NULL);
    EXPECT_TRUE(WaitForWake(queue, std::chrono::hours(1)));
    EXPECT_FALSE(WaitForWake(queue, std::chrono::milliseconds(0)));
}

}  // namespace
}  // namespace velk
