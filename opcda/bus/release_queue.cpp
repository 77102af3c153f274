#include "opcda/bus/release_queue.h"

namespace velk::dabus {

ReleaseQueue::ReleaseQueue() : thread_([this] { Run(); }) {}

ReleaseQueue::~ReleaseQueue() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ReleaseQueue::Release(std::shared_ptr<void> object) {
    if (!object) return;
    {
        std::lock_guard guard(lock_);
        queue_.push_back(std::move(object));
    }
    changed_.notify_all();
}

void ReleaseQueue::Drain() {
    std::unique_lock guard(lock_);
    changed_.wait(guard, [this] { return queue_.empty() && !busy_; });
}

void ReleaseQueue::Run() {
    std::unique_lock guard(lock_);
    while (true) {
        changed_.wait(guard, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping with nothing left
        std::shared_ptr<void> object = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        guard.unlock();
        object.reset();
        guard.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace velk::dabus
