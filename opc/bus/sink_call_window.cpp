#include "opc/bus/sink_call_window.h"

#include "platform/dbus/bus_errors.h"

namespace velk {
namespace {

std::size_t FootprintOf(const BusValue& value) {
    std::size_t bytes = sizeof(BusValue) + value.TypeSignature().capacity();
    if (const std::string* text = value.Text()) bytes += text->capacity();
    for (const BusValue& child : value.Children()) bytes += FootprintOf(child);
    return bytes;
}

}  // namespace

std::size_t FootprintOf(const BusSinkCall& call) {
    std::size_t bytes = sizeof(BusSinkCall) + call.objectPath.size() + call.method.size();
    for (const BusValue& value : call.arguments) bytes += FootprintOf(value);
    return bytes;
}

std::shared_ptr<SinkCallWindow> SinkCallWindow::Create(std::shared_ptr<BusSinkChannel> channel,
                                                       std::size_t window, std::size_t queueLimit,
                                                       std::size_t byteLimit) {
    return std::shared_ptr<SinkCallWindow>(
        new SinkCallWindow(std::move(channel), window, queueLimit, byteLimit));
}

void SinkCallWindow::Call(BusSinkCall call, BusSinkCompletion done) {
    const std::size_t bytes = FootprintOf(call);
    std::unique_lock lock(lock_);
    HRESULT refusal = S_OK;
    if (queue_.size() >= queueLimit_) {
        refusal = RPC_E_TIMEOUT;
    } else if (heldBytes_ != 0 && bytes > byteLimit_ - std::min(heldBytes_, byteLimit_)) {
        refusal = E_OUTOFMEMORY;
    }
    if (Failed(refusal)) {
        lock.unlock();
        if (done) done(refusal, {});
        return;
    }
    heldBytes_ += bytes;
    queue_.push_back(Pending{std::move(call), std::move(done), bytes});
    StartWaiting(lock);
}

void SinkCallWindow::StartWaiting(std::unique_lock<std::mutex>& lock) {
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

void SinkCallWindow::Start(Pending pending) {
    std::shared_ptr<SinkCallWindow> self = shared_from_this();
    BusSinkCompletion done = std::move(pending.done);
    const std::size_t bytes = pending.bytes;
    channel_->Call(std::move(pending.call),
                   [self, done, bytes](HRESULT result, const BusValue::Items& values) {
                       if (done) done(result, values);
                       self->Finished(bytes);
                   });
}

void SinkCallWindow::Finished(std::size_t bytes) {
    std::unique_lock lock(lock_);
    --outstanding_;
    heldBytes_ -= std::min(bytes, heldBytes_);
    StartWaiting(lock);
}

std::size_t SinkCallWindow::Outstanding() const {
    std::lock_guard lock(lock_);
    return outstanding_;
}

std::size_t SinkCallWindow::Queued() const {
    std::lock_guard lock(lock_);
    return queue_.size();
}

std::size_t SinkCallWindow::HeldBytes() const {
    std::lock_guard lock(lock_);
    return heldBytes_;
}

}  // namespace velk
