#pragma once
// Records every exchange result that the channels report to the supervision.
#include <mutex>
#include <vector>

#include "modbus/exchange_observer.h"

namespace velk::testing {

class RecordingExchangeObserver final : public IExchangeObserver {
  public:
    struct Report {
        ODevice* device;
        bool failed;
        int channel;
        bool operator==(const Report&) const = default;
    };

    void CheckComm(ODevice& device, bool failed, int channel) override {
        std::lock_guard lock(lock_);
        reports_.push_back({&device, failed, channel});
    }
    std::vector<Report> Reports() const {
        std::lock_guard lock(lock_);
        return reports_;
    }
    void Clear() {
        std::lock_guard lock(lock_);
        reports_.clear();
    }

  private:
    mutable std::mutex lock_;
    std::vector<Report> reports_;
};

}  // namespace velk::testing
