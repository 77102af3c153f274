#include "opcda/bus/release_queue.h"

#include <chrono>

#include "platform/trim_memory.h"

namespace velk::dabus {
namespace {

constexpr std::uint32_t kRelease = WM_USER + 1;
constexpr std::chrono::milliseconds kStopWait{5000};

struct Held final : MessagePayload {
    explicit Held(std::shared_ptr<void> held) : object(std::move(held)) {}
    std::shared_ptr<void> object;
};

}  // namespace

ReleaseQueue::ReleaseQueue() : count_(std::make_shared<Count>()) {
    thread_.Start([count = count_](MessageQueue& queue) {
        Message message;
        while (queue.Get(message)) {
            message.payload.reset();
            // A released group may have held a great many values; give what it freed back.
            ReturnFreedMemory();
            std::lock_guard guard(count->lock);
            --count->left;
            count->changed.notify_all();
        }
        return 0;
    });
}

ReleaseQueue::~ReleaseQueue() {
    thread_.PostQuit();
    thread_.Join(kStopWait);
}

void ReleaseQueue::Release(std::shared_ptr<void> object) {
    if (!object) return;
    {
        std::lock_guard guard(count_->lock);
        ++count_->left;
    }
    // Without its thread (refused by the system) the object goes here.
    if (!thread_.IsStarted() ||
        !thread_.Post(kRelease, 0, std::make_unique<Held>(std::move(object)))) {
        std::lock_guard guard(count_->lock);
        --count_->left;
    }
}

bool ReleaseQueue::Drain(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock guard(count_->lock);
    return count_->changed.wait_until(guard, deadline, [this] { return count_->left == 0; });
}

}  // namespace velk::dabus
