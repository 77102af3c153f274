#include "platform/message_queue.h"

namespace velk {

bool MessageQueue::Post(Message message) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return false;
        messages_.push_back(std::move(message));
    }
    changed_.notify_all();
    return true;
}

bool MessageQueue::Post(std::uint32_t id, std::uintptr_t wParam,
                        std::unique_ptr<MessagePayload> payload) {
    return Post(Message{id, wParam, std::move(payload)});
}

bool MessageQueue::Get(Message& out) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !messages_.empty(); });
    out = std::move(messages_.front());
    messages_.pop_front();
    return out.id != WM_QUIT;
}

bool MessageQueue::Peek(Message& out) {
    std::lock_guard lock(mutex_);
    if (messages_.empty()) return false;
    out = std::move(messages_.front());
    messages_.pop_front();
    return true;
}

bool MessageQueue::WaitFor(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !messages_.empty(); });
}

void MessageQueue::Close() {
    std::deque<Message> dropped;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        dropped.swap(messages_);
    }
}

std::size_t MessageQueue::Size() const {
    std::lock_guard lock(mutex_);
    return messages_.size();
}

}  // namespace velk
