#include "redundancy/ack_message_queue.h"

namespace velk {

void AckMessageQueue::AddAckMessage(std::unique_ptr<BAckMsg> message) {
    if (!message) return;
    std::lock_guard guard(lock_);
    messages_.push_back(std::move(message));
}

std::unique_ptr<BAckMsg> AckMessageQueue::Take() {
    std::lock_guard guard(lock_);
    if (messages_.empty()) return nullptr;
    std::unique_ptr<BAckMsg> head = std::move(messages_.front());
    messages_.pop_front();
    return head;
}

void AckMessageQueue::Clear() {
    std::deque<std::unique_ptr<BAckMsg>> dropped;
    std::lock_guard guard(lock_);
    dropped.swap(messages_);
}

std::size_t AckMessageQueue::Count() const {
    std::lock_guard guard(lock_);
    return messages_.size();
}

}  // namespace velk
