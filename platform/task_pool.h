#pragma once
// A fixed number of worker threads serving one queue of tasks, first in first out. The
// owner stops it: Stop refuses new tasks, lets the threads finish the task in hand and
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

class TaskPool {
  public:
    TaskPool(std::string name, std::size_t threads,
             ThreadPriority priority = ThreadPriority::Normal);
    // Stops the pool (tasks still queued are dropped unrun).
    ~TaskPool();
    TaskPool(const TaskPool&) = delete;
    TaskPool& operator=(const TaskPool&) = delete;

    // Queues a task; false once the pool is stopping or no thread could be started.
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
    std::size_t ThreadCount() const { return threads_.size(); }

  private:
    struct Queue;
    std::shared_ptr<Queue> queue_;
    std::vector<std::unique_ptr<WorkerThread>> threads_;
    bool stopped_ = false;
};

}  // namespace velk
