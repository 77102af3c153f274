#include "modbus/scan_read_overlap.h"

namespace velk {

ScanReadOverlap::Scope::Scope(ScanReadOverlap& owner, const ODevice& device)
    : owner_(owner), device_(device) {
    std::lock_guard<std::mutex> lock(owner_.lock_);
    Reads& reads = owner_.reads_[&device_];
    ++reads.running;
    startedMark_ = ++reads.started;
    endedMark_ = reads.ended;
}

ScanReadOverlap::Scope::~Scope() {
    std::lock_guard<std::mutex> lock(owner_.lock_);
    auto it = owner_.reads_.find(&device_);
    ++it->second.ended;
    // No mark of this device is outstanding once its last read ends.
    if (--it->second.running == 0) owner_.reads_.erase(it);
}

bool ScanReadOverlap::Scope::Overlapped() const {
    std::lock_guard<std::mutex> lock(owner_.lock_);
    const Reads& reads = owner_.reads_.at(&device_);
    return reads.running > 1 || reads.started != startedMark_ || reads.ended != endedMark_;
}

}  // namespace velk
