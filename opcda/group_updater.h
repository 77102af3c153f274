#pragma once
// The thread that runs one group's update cycles: a cycle, then a wait for the rest of the
// period or until it is woken. A group with nothing to do (inactive, or no items and no
// changeless updates) sleeps until it is woken instead of polling. The owner stops it with a
// bounded wait; the thread holds nothing of the group between cycles.
#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/worker_thread.h"

namespace velk {

struct UpdateStep {
    enum class Next { Wait, Sleep, End };
    Next next = Next::Wait;
    std::uint32_t waitMs = 0;  // Wait only

    static UpdateStep WaitFor(std::uint32_t ms) { return {Next::Wait, ms}; }
    static UpdateStep Sleep() { return {Next::Sleep, 0}; }
    static UpdateStep End() { return {Next::End, 0}; }
};

class GroupUpdater {
  public:
    using Cycle = std::function<UpdateStep()>;

    GroupUpdater();
    ~GroupUpdater();
    GroupUpdater(const GroupUpdater&) = delete;
    GroupUpdater& operator=(const GroupUpdater&) = delete;

    // Starts the thread at the highest priority (a refusal leaves it at normal priority);
    // its first cycle runs at once.
    bool Start(Cycle cycle);
    bool IsStarted() const { return thread_.IsStarted(); }
    // Ends the wait early (the auto-reset wake event of the group).
    void Wake();
    // Asks the thread to end after the cycle in hand and waits up to the time-out; false
    // when it still runs then. On the thread itself it does not wait.
    bool Stop(std::chrono::milliseconds timeout);

  private:
    WorkerThread thread_;
    bool stopped_ = false;
};

}  // namespace velk
