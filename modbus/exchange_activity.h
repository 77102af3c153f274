#pragma once
// How many device exchanges are on the wire in one acquisition, so that the end of the
// process can tell whether a thread is still in one (a silent controller holds it until its
// time-out) and then leave it running rather than wait for it.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace velk {

class ExchangeActivity {
  public:
    // Marks one exchange for the lifetime of the scope; a null activity marks nothing.
    class Scope {
      public:
        explicit Scope(ExchangeActivity* activity) : activity_(activity) {
            if (activity_) activity_->Begin();
        }
        ~Scope() {
            if (activity_) activity_->End();
        }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        ExchangeActivity* activity_;
    };

    // True when no exchange is on the wire by the deadline.
    bool WaitIdle(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return idle_.wait_until(lock, deadline, [this] { return inProgress_ == 0; });
    }
    std::size_t InProgress() {
        std::lock_guard lock(mutex_);
        return inProgress_;
    }

  private:
    void Begin() {
        std::lock_guard lock(mutex_);
        ++inProgress_;
    }
    void End() {
        {
            std::lock_guard lock(mutex_);
            --inProgress_;
        }
        idle_.notify_all();
    }

    std::mutex mutex_;
    std::condition_variable idle_;
    std::size_t inProgress_ = 0;
};

}  // namespace velk
