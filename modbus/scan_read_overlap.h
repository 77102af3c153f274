#pragma once
// Which block reads of one device overlap. Reads of different callers may run at the same
// time (their exchanges take turns on the device's channel), so a block whose answer came
// first may be stored after one whose answer came later. Overlap is rare: the engine
// compares answer times only then, so a block read alone stores whatever its controller
// said, even after the system clock was set back.
#include <cstdint>
#include <map>
#include <mutex>

namespace velk {

class ODevice;

class ScanReadOverlap {
  public:
    // One block read of the device, from before its exchange to after its store.
    class Scope {
      public:
        Scope(ScanReadOverlap& owner, const ODevice& device);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

        // Whether another block read of the device was running at any time since this
        // one began.
        bool Overlapped() const;

      private:
        ScanReadOverlap& owner_;
        const ODevice& device_;
        std::uint64_t startedMark_ = 0;
        std::uint64_t endedMark_ = 0;
    };

  private:
    struct Reads {
        int running = 0;
        std::uint64_t started = 0;
        std::uint64_t ended = 0;
    };

    mutable std::mutex lock_;
    std::map<const ODevice*, Reads> reads_;
};

}  // namespace velk
