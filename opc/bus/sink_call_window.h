#pragma once
// The sink calls of one client, sent in order with a window of outstanding calls: at most a
// window's worth are on their way at a time, further ones wait here and go as answers come
// back. The bus host fails a client's calls at once beyond its own limit unanswered, and a
// client typically answers none of its sink calls while it waits in a call of its own (a
// Refresh, say); waiting here keeps them without anybody waiting for the client. What a
// window holds is bounded by calls and by bytes, so a client that answers slowly cannot make
// the server hoard its callbacks: beyond the calls a new one fails at once with
// RPC_E_TIMEOUT, beyond the bytes with E_OUTOFMEMORY.
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/dbus/bus_sink_channel.h"

namespace velk {

class SinkCallWindow : public std::enable_shared_from_this<SinkCallWindow> {
  public:
    static constexpr std::size_t kWindow = 32;  // half the host's limit per client
    static constexpr std::size_t kQueueLimit = 256;
    // Memory of the calls held (waiting and on their way), as their values take it here.
    static constexpr std::size_t kByteLimit = 64 * 1024 * 1024;

    static std::shared_ptr<SinkCallWindow> Create(std::shared_ptr<BusSinkChannel> channel,
                                                  std::size_t window = kWindow,
                                                  std::size_t queueLimit = kQueueLimit,
                                                  std::size_t byteLimit = kByteLimit);

    // Never blocks; the completion runs exactly once, as the channel's would. A call larger
    // than the byte limit goes alone when nothing else is held, so that it is never refused
    // for its size only.
    void Call(BusSinkCall call, BusSinkCompletion done);
    std::size_t Outstanding() const;
    std::size_t Queued() const;
    std::size_t HeldBytes() const;

  private:
    SinkCallWindow(std::shared_ptr<BusSinkChannel> channel, std::size_t window,
                   std::size_t queueLimit, std::size_t byteLimit)
        : channel_(std::move(channel)),
          window_(window),
          queueLimit_(queueLimit),
          byteLimit_(byteLimit) {}

    struct Pending {
        BusSinkCall call;
        BusSinkCompletion done;
        std::size_t bytes = 0;
    };
    void Start(Pending pending);
    // One call answered: starts what waits, unless a caller up the stack already does.
    void Finished(std::size_t bytes);
    void StartWaiting(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<BusSinkChannel> channel_;
    const std::size_t window_;
    const std::size_t queueLimit_;
    const std::size_t byteLimit_;
    mutable std::mutex lock_;
    std::size_t outstanding_ = 0;
    std::size_t heldBytes_ = 0;
    bool starting_ = false;
    std::deque<Pending> queue_;
};

// The memory that a call's values take while they are held.
std::size_t FootprintOf(const BusSinkCall& call);

}  // namespace velk
