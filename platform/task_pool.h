#pragma once
// A fixed number of worker threads serving one queue of tasks, first in first out. The
// owner stops it: Stop refuses new tasks, lets the threads finish the task in hand and
// waits a bounded time for them; a thread still busy then is left to end on its own and
// keeps the pool's shared state alive until it does.
//
// A thread the system refuses (a task limit) is reported and left out; a pool left without
// any thread refuses tasks, and tries again to start its threads at the next task.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/worker_thread.h"

namespace velk {

class TaskPool {
  public:
    TaskPool(std::string name, std::size_t threads,
             ThreadPriority priority = ThreadPriority::Normal);
    // Stops the pool (tasks still queued are dropped unrun).
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    // Queues a task; false once the pool is stopping or when no thread could be started.
    bool Post(std::function<void()> task);
    // Refuses further tasks, drops the queued ones and waits up to the time-out for the
    // threads; true when every thread ended. Called on one of the pool's own threads it
    // does not wait for that thread.
    bool Stop(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
    // The two halves of Stop, so that several pools stop within one wait: refuse and drop,
    // then wait until the deadline.
    void BeginStop();
    bool WaitStopped(std::chrono::steady_clock::time_point deadline);
    // Tasks queued and not yet taken by a thread.
    std::size_t Queued() const;
    std::size_t ThreadCount() const;

  private:
    // True when at least one thread runs; starts the missing ones when none does.
    bool EnsureThread();
    void StartThreadsLocked();

    struct Queue;
    const std::string name_;
    const std::size_t wanted_;
    const ThreadPriority priority_;
    std::shared_ptr<Queue> queue_;
    mutable std::mutex threadsLock_;  // guards the three below; taken before the queue's
    std::vector<std::unique_ptr<WorkerThread>> threads_;
    bool stopping_ = false;
    bool stopped_ = false;
};

}  // namespace velk
