#pragma once
// Limits the sink calls that one client's AE objects have outstanding. The bus fails a
// client's calls at once beyond a fixed number unanswered, so a refresh of many conditions
// in calls of one event, or a long backlog, would lose events and even the last-refresh
// call. The sender waits instead, at most the call time-out, on its own thread only (a
// subscription's delivery thread or the client's refresh call), so no other client waits.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace velk::aebus {

class SinkCallWindow {
  public:
    explicit SinkCallWindow(std::size_t limit) : limit_(limit) {}

    // Takes a place; waits while the window is full, at most the patience. False when the
    // wait gave up: the place is taken all the same, and the call goes out.
    bool Acquire(std::chrono::milliseconds patience) {
        std::unique_lock lock(mutex_);
        const bool free = freed_.wait_for(lock, patience, [this] { return outstanding_ < limit_; });
        ++outstanding_;
        return free;
    }
    // A call has completed.
    void Release() {
        {
            std::lock_guard lock(mutex_);
            if (outstanding_ > 0) --outstanding_;
        }
        freed_.notify_one();
    }
    std::size_t Outstanding() const {
        std::lock_guard lock(mutex_);
        return outstanding_;
    }

  private:
    const std::size_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable freed_;
    std::size_t outstanding_ = 0;
};

}  // namespace velk::aebus
