#include "opcda/bus/sink_window.h"

#include "platform/dbus/bus_errors.h"

namespace velk::dabus {

std::shared_ptr<SinkWindow> SinkWindow::Create(std::shared_ptr<BusSinkChannel> channel,
                                               std::size_t window, std::size_t queueLimit) {
    return std::shared_ptr<SinkWindow>(new SinkWindow(std::move(channel), window, queueLimit));
}

void SinkWindow::Call(BusSinkCall call, BusSinkCompletion done) {
    std::unique_lock lock(lock_);
    if (queue_.size() >= queueLimit_) {
        lock.unlock();
        if (done) done(RPC_E_TIMEOUT, {});
        return;
    }
    queue_.push_back(Pending{std::move(call), std::move(done)});
    StartWaiting(lock);
}

void SinkWindow::StartWaiting(std::unique_lock<std::mutex>& lock) {
    // A completion that runs at once (the host has gone) comes back here through Finished;
    // the loop below then goes on instead of a recursion as deep as the queue.
    if (starting_) return;
    starting_ = true;
    while (outstanding_ < window_ && !queue_.empty()) {
        Pending next = std::move(queue_.front());
        queue_.pop_front();
        ++outstanding_;
        lock.unlock();
        Start(std::move(next));
        lock.lock();
    }
    starting_ = false;
}

void SinkWindow::Start(Pending pending) {
    std::shared_ptr<SinkWindow> self = shared_from_this();
    BusSinkCompletion done = std::move(pending.done);
    channel_->Call(std::move(pending.call),
                   [self, done](HRESULT result, const BusValue::Items& values) {
                       if (done) done(result, values);
                       self->Finished();
                   });
}

void SinkWindow::Finished() {
    std::unique_lock lock(lock_);
    --outstanding_;
    StartWaiting(lock);
}

std::size_t SinkWindow::Outstanding() const {
    std::lock_guard lock(lock_);
    return outstanding_;
}

std::size_t SinkWindow::Queued() const {
    std::lock_guard lock(lock_);
    return queue_.size();
}

}  // namespace velk::dabus
