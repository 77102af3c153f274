#pragma once
// A bound on what one client may hold at once (items, outstanding requests): taken before
// something is created, given back when it goes. Shared by the client's server object and
// its groups, which may outlive it.
#include <atomic>
#include <cstdint>

namespace velk {

class ClientQuota {
  public:
    explicit ClientQuota(std::uint32_t limit) : limit_(limit) {}

    // Takes n units; false (and nothing taken) when that would pass the limit.
    bool TryTake(std::uint32_t n = 1) {
        std::uint32_t used = used_.load();
        do {
            if (n > limit_ || used > limit_ - n) return false;
        } while (!used_.compare_exchange_weak(used, used + n));
        return true;
    }
    void Give(std::uint32_t n = 1) { used_ -= n; }
    std::uint32_t InUse() const { return used_.load(); }
    std::uint32_t Limit() const { return limit_; }

  private:
    const std::uint32_t limit_;
    std::atomic<std::uint32_t> used_{0};
};

}  // namespace velk
