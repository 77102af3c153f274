#pragma once
// Releases DA objects on a thread of its own. A DA server object or group that goes stops
// its update threads and waits for their cycles, which may be in the middle of a slow
// device read; the bus host destroys released objects on its loop thread, which must not
// wait for that. The owner (the DA bus class) outlives every object that hands work here.
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace velk::dabus {

class ReleaseQueue {
  public:
    ReleaseQueue();
    // Releases what is still queued, then ends the thread.
    ~ReleaseQueue();
    ReleaseQueue(const ReleaseQueue&) = delete;
    ReleaseQueue& operator=(const ReleaseQueue&) = delete;

    // Drops the reference on the queue's thread.
    void Release(std::shared_ptr<void> object);
    // Returns once everything queued before the call has been released.
    void Drain();

  private:
    void Run();

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<void>> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace velk::dabus
