#pragma once
// A thread factory that refuses every thread, as the system does at a task limit, for as
// long as it is in place; it counts the refusals and, while in place, collects the reports
// of the refused starts.
#include <atomic>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "platform/worker_thread.h"

namespace velk::testing {

class RefusingThreadFactory final : public IThreadFactory {
  public:
    RefusingThreadFactory() {
        SetThreadStartReport([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            reports_.push_back(line);
        });
    }
    ~RefusingThreadFactory() override { SetThreadStartReport(nullptr); }

    std::thread Make(const std::string&, std::function<void()>) override {
        ++refused_;
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    }

    int Refused() const { return refused_.load(); }
    std::vector<std::string> Reports() const {
        std::lock_guard lock(mutex_);
        return reports_;
    }

  private:
    std::atomic<int> refused_{0};
    mutable std::mutex mutex_;
    std::vector<std::string> reports_;
};

// Refuses threads from its construction to its end.
struct ThreadsRefused {
    RefusingThreadFactory factory;
    ScopedThreadFactory scope{factory};
};

}  // namespace velk::testing
