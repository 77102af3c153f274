#pragma once
// Releases DA objects on a thread of its own. A DA server object or group that goes ends
// its update cycles and waits for a pass in progress, and its requests may be in the
// middle of a slow device read; the bus host destroys released objects on its loop thread, which
// must not wait for that. The owner (the DA bus class) outlives every object that hands work here.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

#include "platform/worker_thread.h"

namespace velk::dabus {

class ReleaseQueue {
  public:
    ReleaseQueue();
    // Releases what is still queued, then ends the thread; a release still running after
    // the wait (an object whose update cycle waits for a silent device) is left to finish on
    // its own.
    ~ReleaseQueue();
    ReleaseQueue(const ReleaseQueue&) = delete;
    ReleaseQueue& operator=(const ReleaseQueue&) = delete;

    // Drops the reference on the queue's thread.
    void Release(std::shared_ptr<void> object);
    // Waits until the deadline for everything queued before the call to be released; false
    // when a release is still running then.
    bool Drain(std::chrono::steady_clock::time_point deadline);

  private:
    // Shared with the thread, which may outlive the queue when it is abandoned.
    struct Count {
        std::mutex lock;
        std::condition_variable changed;
        std::size_t left = 0;
    };
    std::shared_ptr<Count> count_;
    WorkerThread thread_{"DaRelease"};
};

}  // namespace velk::dabus
