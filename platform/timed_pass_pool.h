#pragma once
// A fixed number of threads that run many recurring passes, each pass deciding how long to
// wait before its next one. However many passes are registered, the threads stay as many as
// the pool was made with; a pass never runs beside itself, so whatever one registration
// does happens in order. A pass that takes long holds one thread only: the others keep
// running the passes that are due.
//
// The owner stops it: Stop drops the schedule, lets the threads finish the pass in hand and
// waits a bounded time for them; a thread still busy then is left to end on its own and
// keeps the pool's shared state alive until it does.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/worker_thread.h"

namespace velk {

class TimedPassPool {
  public:
    // One pass; returns the wait before the next pass.
    using Pass = std::function<std::chrono::milliseconds()>;

    struct State;
    struct Entry;

    // The registration of one recurring pass, held by whoever the pass works for. Its end
    // ends the passes (and waits for one in progress, see Cancel).
    class Registration {
      public:
        Registration(std::shared_ptr<State> state, std::shared_ptr<Entry> entry);
        ~Registration();
        Registration(const Registration&) = delete;
        Registration& operator=(const Registration&) = delete;

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
    // Stops the pool.
    ~TimedPassPool();
    TimedPassPool(const TimedPassPool&) = delete;
    TimedPassPool& operator=(const TimedPassPool&) = delete;

    // Schedules a recurring pass, the first one at once; null once the pool is stopping or
    // has no thread.
    std::unique_ptr<Registration> Register(Pass pass);
    // Drops every scheduled pass and waits up to the time-out for the threads; true when
    // every thread ended. Idempotent.
    bool Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    std::size_t ThreadCount() const { return threads_.size(); }
    // Registrations whose passes are scheduled or running.
    std::size_t Registered() const;

  private:
    std::shared_ptr<State> state_;
    std::vector<std::unique_ptr<WorkerThread>> threads_;
    bool stopped_ = false;
};

}  // namespace velk
