#pragma once
// A bound on what one client may hold at once: DA items and outstanding requests, AE
// subscriptions. Units are taken before something is created and given back when it goes,
// by count (TryTake/Give) or as a slot that gives itself back (Take). Shared by the objects
// of one client, which may outlive each other; safe from any thread.
#include <atomic>
#include <cstdint>
#include <memory>

namespace velk {

class ClientQuota : public std::enable_shared_from_this<ClientQuota> {
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

    // One unit, held for as long as the result lives (it keeps the quota alive too); null
    // when the client is at its limit. The quota must be owned by a shared_ptr.
    std::shared_ptr<void> Take() {
        if (!TryTake()) return nullptr;
        auto self = shared_from_this();
        return std::shared_ptr<void>(static_cast<void*>(self.get()),
                                     [self](void*) { self->Give(); });
    }

    std::uint32_t InUse() const { return used_.load(); }
    std::uint32_t Limit() const { return limit_; }

  private:
    const std::uint32_t limit_;
    std::atomic<std::uint32_t> used_{0};
};

}  // namespace velk
