#include "platform/worker_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <optional>

#include "platform/task_pool.h"
#include "platform/timed_pass_pool.h"
#include "tests/support/refusing_thread_factory.h"

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

// At a task limit every start of a thread is refused: no start throws, each is reported,
// and a pool left without threads starts them at its next task once the system allows.
TEST(ThreadFactory, ARefusedThreadIsAFailedStartAndAReportAndPoolsTryAgain) {
    std::optional<testing::ThreadsRefused> refused;
    refused.emplace();
    WorkerThread thread("Refused");
    EXPECT_FALSE(thread.Start([](MessageQueue&) { return 0; }));
    EXPECT_FALSE(thread.IsStarted());
    TaskPool tasks("RefusedTasks", 2);
    TimedPassPool passes("RefusedPasses", 2);
    EXPECT_EQ(tasks.ThreadCount() + passes.ThreadCount(), 0u);
    EXPECT_FALSE(tasks.Post([] {}));
    EXPECT_EQ(passes.Register([] { return std::chrono::milliseconds(1); }), nullptr);
    const std::vector<std::string> reports = refused->factory.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_NE(reports[0].find("Refused"), std::string::npos) << reports[0];
    EXPECT_EQ(reports.size(), static_cast<std::size_t>(refused->factory.Refused()));
    refused.reset();

    std::promise<void> taskRan;
    EXPECT_TRUE(tasks.Post([&] { taskRan.set_value(); }));
    EXPECT_EQ(taskRan.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    std::promise<void> passRan;
    std::atomic<bool> once{false};
    auto registration = passes.Register([&] {
        if (!once.exchange(true)) passRan.set_value();
        return TimedPassPool::kUntilWoken;
    });
    ASSERT_NE(registration, nullptr);
    EXPECT_EQ(passRan.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(thread.Start([](MessageQueue&) { return 7; }));
    thread.Join();
    EXPECT_EQ(thread.ExitCode(), 7);
}

}  // namespace
}  // namespace velk
