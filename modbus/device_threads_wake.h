#pragma once
// The wake event of a device thread: an auto-reset event that ends the thread's wait between
// two cycles early, so that a stopping device need not wait for a whole period.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace velk {

class DeviceThreadsWake {
  public:
    // Wakes the waiter, or the next one to wait when none waits now.
    void Signal() {
        {
            std::lock_guard lock(lock_);
            signalled_ = true;
        }
        wake_.notify_all();
    }
    // Waits up to milliseconds; true when woken (the event is reset again).
    bool Wait(std::uint32_t milliseconds) {
        std::unique_lock lock(lock_);
        const bool woken = wake_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                          [this] { return signalled_; });
        signalled_ = false;
        return woken;
    }
    void Reset() {
        std::lock_guard lock(lock_);
        signalled_ = false;
    }

  private:
    std::mutex lock_;
    std::condition_variable wake_;
    bool signalled_ = false;
};

}  // namespace velk
