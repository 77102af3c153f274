#pragma once
// A fixed number of threads that run many recurring passes, each pass deciding how long to
// wait before its next one. However many passes are registered, the threads stay as many as
// the pool was made with; a pass never runs beside itself, so whatever one registration
// does happens in order. A pass that takes long holds one thread only: the others keep
// running the passes that are due.
//
// A registration can be woken: a pass that waits (or sleeps until woken) runs at once; a
// wake that comes while its pass runs ends the wait that pass asks for, so no wake is lost.
//
// The owner stops it: Stop drops the schedule, lets the threads finish the pass in hand and
// waits a bounded time for them; a thread still busy then is left to end on its own and
// keeps the pool's shared state alive until it does. A thread the system refuses is
// reported and left out; a pool left without any thread tries again at the next Register.
//
// A pool made with a clock instead of threads keeps its schedule in that clock's time and
// runs nothing by itself: its owner runs the due passes (RunDue), so a test steps time.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/worker_thread.h"

namespace velk {

class TimedPassPool {
  public:
    // One pass; returns the wait before the next pass (kUntilWoken: none until a wake).
    using Pass = std::function<std::chrono::milliseconds()>;
    // A pass told whether a wake ran it (rather than the end of its wait); it may answer
    // kResume: the wake was for nothing it waits for, and the wait goes on to the time it
    // was due at (or until the next wake, when it slept).
    using WakeablePass = std::function<std::chrono::milliseconds(bool woken)>;
    static constexpr std::chrono::milliseconds kUntilWoken = std::chrono::milliseconds::max();
    static constexpr std::chrono::milliseconds kResume = std::chrono::milliseconds::min();
    // The time of a stepped pool's schedule.
    using Now = std::function<std::chrono::steady_clock::time_point()>;

    struct State;
    struct Entry;

    // Wakes one registration from any thread, for as long as anyone holds it; does nothing
    // once the registration has ended.
    class Waker {
      public:
        Waker() = default;
        Waker(std::weak_ptr<State> state, std::weak_ptr<Entry> entry);
        void Wake() const;

      private:
        std::weak_ptr<State> state_;
        std::weak_ptr<Entry> entry_;
    };

    // The registration of one recurring pass, held by whoever the pass works for. Its end
    // ends the passes (and waits for one in progress, see Cancel).
    class Registration {
      public:
        Registration(std::shared_ptr<State> state, std::shared_ptr<Entry> entry);
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

        // Runs the pass at once, or right after the one in progress.
        void Wake();
        Waker MakeWaker() const { return Waker(state_, entry_); }
        // No pass starts any more; waits up to the time-out for a pass in progress to
        // return. True when none runs now. Called inside the pass itself it does not wait.
        bool Cancel(std::chrono::milliseconds timeout);
        // Waits without a bound until no pass runs: for an owner whose state the pass uses.
        void WaitIdle();

      private:
        std::shared_ptr<State> state_;
        std::shared_ptr<Entry> entry_;
    };

    TimedPassPool(std::string name, std::size_t threads,
                  ThreadPriority priority = ThreadPriority::Normal);
    // A stepped pool: no threads, the schedule in the clock's time (RunDue).
    explicit TimedPassPool(Now now);
    // Stops the pool.
    ~TimedPassPool();
    TimedPassPool(const TimedPassPool&) = delete;
    TimedPassPool& operator=(const TimedPassPool&) = delete;

    // Schedules a recurring pass, the first one at once; null once the pool is stopping or
    // when it has no thread.
    std::unique_ptr<Registration> Register(Pass pass);
    // asleep: the first pass waits for the first wake, so that the owner can keep the
    // registration before any pass runs.
    std::unique_ptr<Registration> RegisterWakeable(WakeablePass pass, bool asleep = false);
    // A stepped pool: runs on the caller's thread every pass due at the clock's time, first
    // due first, the passes woken meanwhile too; returns how many ran.
    std::size_t RunDue();
    // Drops every scheduled pass and waits up to the time-out for the threads; true when
    // every thread ended. Idempotent.
    bool Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    std::size_t ThreadCount() const;
    // Registrations whose passes are scheduled or running.
    std::size_t Registered() const;

  private:
    // True when the pool can run passes; starts the missing threads when none runs.
    bool EnsureThread();
    void StartThreadsLocked();

    const std::string name_;
    const std::size_t wanted_ = 0;
    const ThreadPriority priority_ = ThreadPriority::Normal;
    const bool stepped_ = false;
    std::shared_ptr<State> state_;
    mutable std::mutex threadsLock_;  // guards the two below; taken before the state's
    std::vector<std::unique_ptr<WorkerThread>> threads_;
    bool stopped_ = false;
};

}  // namespace velk
