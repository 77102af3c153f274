#pragma once
// The thread that runs one bus client's calls, one at a time and in the order they came, so
// that a slow call holds up its own client only. It is a platform worker thread: the owner
// stops it with Finish and waits a bounded time with Join; a worker still busy after that is
// abandoned and keeps its own queue alive until its call returns.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "platform/worker_thread.h"

namespace velk {

class BusClientWorker {
  public:
    // Starts the thread; a thread the system refuses leaves a worker that is not Started
    // and refuses every call.
    BusClientWorker();
    // Ends the thread after the call in progress (queued calls are dropped) and waits for it
    // a bounded time.
    ~BusClientWorker();
    BusClientWorker(const BusClientWorker&) = delete;
    BusClientWorker& operator=(const BusClientWorker&) = delete;

    bool Started() const { return started_; }
    // Queues a call; false when the worker has no thread or has finished (the call is
    // dropped unrun).
    bool Push(std::function<void()> job);
    // Ends the thread after the call in progress, and after the queued ones unless they are
    // dropped (a departed client's calls have no one to answer).
    void Finish(bool dropQueued);
    bool Finished() const { return !started_ || thread_.Finished(); }
    // Waits up to the time-out; false when the thread is still in a call and was abandoned.
    bool Join(std::chrono::milliseconds timeout);

  private:
    // Shared with the thread, which may outlive this object when it is abandoned.
    std::shared_ptr<std::atomic<bool>> dropping_;
    WorkerThread thread_{"BusClient"};
    bool started_ = false;
};

}  // namespace velk
