// The timed pass pool: a registration's passes one at a time, and a cancellation that waits
// for the pass in progress.
#include "platform/timed_pass_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <future>
#include <thread>

#include "tests/support/child_process.h"

namespace velk {
namespace {

using std::chrono::milliseconds;
using testing::WaitUntil;
constexpr auto kPatience = std::chrono::seconds(20);

TEST(TimedPassPool, APassNeverRunsBesideItself) {
    TimedPassPool pool("passes", 3);
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> passes{0};
    // Wait 0: as busy as a pass can be, with three threads free to run it twice at once.
    auto busy = pool.Register([&] {
        if (inside.fetch_add(1) != 0) ++overlaps;
        std::this_thread::sleep_for(milliseconds(1));
        inside.fetch_sub(1);
        ++passes;
        return milliseconds(0);
    });
    ASSERT_NE(busy, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return passes.load() >= 50; }, kPatience));
    EXPECT_EQ(overlaps.load(), 0);
    busy.reset();
    EXPECT_EQ(pool.Registered(), 0u);
}

TEST(TimedPassPool, CancelWaitsForThePassInProgressAndStopsFurtherPasses) {
    TimedPassPool pool("passes", 2);
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::promise<void> entered;
    std::atomic<int> runs{0};
    auto held = pool.Register([&] {
        if (runs.fetch_add(1) == 0) {
            entered.set_value();
            gate.wait();
        }
        return milliseconds(0);
    });
    ASSERT_EQ(entered.get_future().wait_for(kPatience), std::future_status::ready);
    // Held inside the pass: the bounded cancel gives up, and no pass starts any more.
    EXPECT_FALSE(held->Cancel(milliseconds(20)));
    // The other thread still serves other registrations meanwhile.
    std::atomic<int> other{0};
    auto free = pool.Register([&] {
        ++other;
        return milliseconds(1);
    });
    EXPECT_TRUE(WaitUntil([&] { return other.load() >= 3; }, kPatience));
    open.set_value();
    held->WaitIdle();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(pool.Stop());
    EXPECT_EQ(pool.Register([] { return milliseconds(1); }), nullptr);
}

// On a stepped pool (its own clock, the passes run by the test): a wake runs a pass at
// once, a wake during a pass ends the wait that pass asks for, a pass woken for nothing
// resumes the wait that was cut short, and a sleeping pass runs only when woken.
TEST(TimedPassPool, WakesRunAPassAtOnceAndAWakeForNothingResumesTheWait) {
    std::chrono::steady_clock::time_point now{};
    TimedPassPool pool([&] { return now; });
    const milliseconds kResume = TimedPassPool::kResume;
    const milliseconds kSleep = TimedPassPool::kUntilWoken;
    std::deque<milliseconds> answers{milliseconds(100), milliseconds(100), milliseconds(100),
                                     kResume,           milliseconds(100), kSleep,
                                     kResume,           milliseconds(100)};
    std::vector<bool> woken;
    std::function<void()> inPass;
    std::unique_ptr<TimedPassPool::Registration> passes;
    passes = pool.RegisterWakeable([&](bool byWake) {
        woken.push_back(byWake);
        if (auto during = std::exchange(inPass, nullptr)) during();
        const milliseconds answer = answers.front();
        answers.pop_front();
        return answer;
    });
    EXPECT_EQ(pool.RunDue(), 1u);  // the first pass at once
    now += milliseconds(99);
    EXPECT_EQ(pool.RunDue(), 0u);
    now += milliseconds(1);
    EXPECT_EQ(pool.RunDue(), 1u);
    // Woken in its pass: the pass after it runs at once and, woken for nothing, resumes
    // the wait of 100 ms that the wake cut short.
    inPass = [&] { passes->Wake(); };
    now += milliseconds(100);
    EXPECT_EQ(pool.RunDue(), 2u);
    now += milliseconds(99);
    EXPECT_EQ(pool.RunDue(), 0u);
    now += milliseconds(1);
    EXPECT_EQ(pool.RunDue(), 1u);
    // Asleep: no time runs it; a wake for nothing leaves it asleep; the next wake runs it.
    now += milliseconds(100);
    EXPECT_EQ(pool.RunDue(), 1u);
    now += std::chrono::hours(1);
    EXPECT_EQ(pool.RunDue(), 0u);
    passes->Wake();
    EXPECT_EQ(pool.RunDue(), 1u);
    now += std::chrono::hours(1);
    EXPECT_EQ(pool.RunDue(), 0u);
    passes->MakeWaker().Wake();
    EXPECT_EQ(pool.RunDue(), 1u);
    EXPECT_EQ(woken, (std::vector<bool>{false, false, false, true, false, false, true, true}));
    // A waker outlives its registration harmlessly.
    const TimedPassPool::Waker waker = passes->MakeWaker();
    passes.reset();
    waker.Wake();
    now += std::chrono::hours(1);
    EXPECT_EQ(pool.RunDue(), 0u);
}

}  // namespace
}  // namespace velk
