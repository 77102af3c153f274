#pragma once
// The bus loop's inbox: the work that other threads hand to the loop thread (tasks, and sink
// calls to start), the wake that cuts the loop's wait for the bus short, the running of work
// on the loop with a wait for its end (Invoke), and the graveyard of what went out of use
// during a bus callback. The bus library's objects are used on the loop thread only; every
// other thread reaches them through here.
//
// Its mutex guards the two queues and whether they are open; nothing else is taken while it
// is held, and no task runs under it.
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/dbus/bus_graveyard.h"
#include "platform/dbus/bus_sink_calls.h"

namespace velk {

class BusLoopTasks {
  public:
    using Task = std::function<void()>;
    // ownerMayRun tells whether work may run on the calling thread while no loop runs: the
    // owner's, before the start (the host is connected and not stopping).
    explicit BusLoopTasks(std::function<bool()> ownerMayRun);
    ~BusLoopTasks();
    BusLoopTasks(const BusLoopTasks&) = delete;
    BusLoopTasks& operator=(const BusLoopTasks&) = delete;

    // False when the wake could not be made: no loop can be served then.
    bool Usable() const { return wakeFd_ >= 0; }

    // The owner, before it starts the loop thread: work is taken from now on.
    void Open();
    // The loop thread, first of all.
    void EnterLoop() { loopThread_ = std::this_thread::get_id(); }
    // The loop thread, at its end: no further work is taken.
    void CloseInbox();
    // The owner, once the loop thread has ended.
    void LoopEnded();
    // The loop thread was started and has not yet ended.
    bool LoopActive() const { return loopActive_; }
    bool OnLoopThread() const { return std::this_thread::get_id() == loopThread_; }

    // Queues the task for the loop; false (and the task dropped) when no loop takes it.
    bool Post(Task task);
    // The same for a sink call to start; false leaves the call with the caller.
    bool PostSinkCall(BusSinkCalls::Queued& call);
    // The loop thread: waits for the bus's file or a wake, up to the bus's time-out.
    void WaitForBusOrWake(int busFd, short busEvents, int timeoutMs);
    // The loop thread: starts the queued sink calls, then runs the tasks, then clears the
    // graveyard. Sink calls first: a task queued after a call was queued sees it started.
    void Run(BusSinkCalls& sinkCalls);
    // After the loop: the sink calls still queued complete as disconnected; tasks go unrun
    // (a wait for one ends with false).
    void FailQueued();

    // Runs the work on the loop thread and waits for it; at once when called on the loop
    // thread, or by the owner before the loop has started. False when the loop ended before
    // the work ran: a call that outlives the stop finds nothing (while the stop drains the
    // calls in progress, the loop still serves them).
    bool Invoke(const std::function<void()>& work);
    // The same for a caller that is never the loop thread (the owner's stop).
    bool RunOnLoop(const std::function<void()>& work);

    BusGraveyard& Graveyard() { return graveyard_; }
    // Outside every bus callback only.
    void ClearGraveyard() { graveyard_.Clear(); }

  private:
    void Wake();

    std::function<bool()> ownerMayRun_;
    int wakeFd_ = -1;
    std::atomic<std::thread::id> loopThread_{};
    std::atomic<bool> loopActive_{false};

    std::mutex mutex_;
    bool open_ = false;  // guarded by mutex_
    std::vector<Task> tasks_;
    std::vector<BusSinkCalls::Queued> sinkCalls_;

    // Loop thread only.
    BusGraveyard graveyard_;
};

}  // namespace velk
