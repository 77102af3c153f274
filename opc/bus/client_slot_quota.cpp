#include "opc/bus/client_slot_quota.h"

namespace velk {

std::shared_ptr<ClientSlotQuota> ClientSlotQuota::Create(std::size_t limit) {
    return std::shared_ptr<ClientSlotQuota>(new ClientSlotQuota(limit));
}

std::shared_ptr<void> ClientSlotQuota::Take() {
    {
        std::lock_guard guard(lock_);
        if (inUse_ >= limit_) return nullptr;
        ++inUse_;
    }
    // The slot keeps the quota alive and gives itself back when it goes.
    auto self = shared_from_this();
    return std::shared_ptr<void>(static_cast<void*>(self.get()), [self](void*) {
        std::lock_guard guard(self->lock_);
        --self->inUse_;
    });
}

std::size_t ClientSlotQuota::InUse() const {
    std::lock_guard guard(lock_);
    return inUse_;
}

}  // namespace velk
