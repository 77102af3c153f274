#include "opcae/bus/sink_call_queue.h"

#include "platform/dbus/bus_errors.h"

namespace velk::aebus {

std::shared_ptr<SinkCallQueue> SinkCallQueue::Create(std::shared_ptr<BusSinkChannel> channel,
                                                     std::size_t window, std::size_t held) {
    return std::shared_ptr<SinkCallQueue>(new SinkCallQueue(std::move(channel), window, held));
}

void SinkCallQueue::Send(BusSinkCall call, BusSinkCompletion done) {
    {
        std::lock_guard lock(mutex_);
        if (waiting_.size() >= held_) {
            if (done) done(RPC_E_TIMEOUT, {});
            return;
        }
        waiting_.push_back({std::move(call), std::move(done)});
    }
    Pump();
}

void SinkCallQueue::Pump() {
    std::unique_lock lock(mutex_);
    if (pumping_) return;
    pumping_ = true;
    while (outstanding_ < window_ && !waiting_.empty()) {
        Pending next = std::move(waiting_.front());
        waiting_.pop_front();
        ++outstanding_;
        lock.unlock();
        // The completion may run at once, on this thread, when the host has gone; it then
        // finds pumping_ set and this loop carries on.
        channel_->Call(std::move(next.call),
                       [self = shared_from_this(), done = std::move(next.done)](
                           HRESULT result, const BusValue::Items& values) {
                           if (done) done(result, values);
                           self->Completed();
                       });
        lock.lock();
    }
    pumping_ = false;
}

void SinkCallQueue::Completed() {
    {
        std::lock_guard lock(mutex_);
        if (outstanding_ > 0) --outstanding_;
    }
    Pump();
}

std::size_t SinkCallQueue::Outstanding() const {
    std::lock_guard lock(mutex_);
    return outstanding_;
}

std::size_t SinkCallQueue::Waiting() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

}  // namespace velk::aebus
