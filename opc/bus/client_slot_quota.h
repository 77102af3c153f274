#pragma once
// How many objects of one kind a client may hold at a time (AE subscriptions, say): a slot
// per object, given back when the object goes. Shared by the objects of one client
// connection and safe from any thread.
#include <cstddef>
#include <memory>
#include <mutex>

namespace velk {

class ClientSlotQuota : public std::enable_shared_from_this<ClientSlotQuota> {
  public:
    static std::shared_ptr<ClientSlotQuota> Create(std::size_t limit);

    // A slot, held for as long as the result lives; null when the client is at its limit.
    std::shared_ptr<void> Take();
    std::size_t InUse() const;
    std::size_t Limit() const { return limit_; }

  private:
    explicit ClientSlotQuota(std::size_t limit) : limit_(limit) {}
    const std::size_t limit_;
    mutable std::mutex lock_;
    std::size_t inUse_ = 0;
};

}  // namespace velk
