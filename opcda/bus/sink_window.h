#pragma once
// The sink calls of one client's DA objects, with a window of outstanding calls: at most a
// window's worth are on their way at a time, further ones wait here in order and go as
// answers come back. The bus host fails calls at once beyond its own limit per client,
// which would lose completions whenever a client answers a burst more slowly than it comes;
// waiting here keeps them, without a group ever waiting for its client. Only a client that
// leaves a whole queue unanswered loses calls: they fail as RPC_E_TIMEOUT.
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/dbus/bus_sink_channel.h"

namespace velk::dabus {

class SinkWindow : public std::enable_shared_from_this<SinkWindow> {
  public:
    static constexpr std::size_t kWindow = 32;       // half the host's limit per client
    static constexpr std::size_t kQueueLimit = 256;  // a few seconds of data changes

    static std::shared_ptr<SinkWindow> Create(std::shared_ptr<BusSinkChannel> channel,
                                              std::size_t window = kWindow,
                                              std::size_t queueLimit = kQueueLimit);

    // Never blocks; the completion runs exactly once, as the channel's would.
    void Call(BusSinkCall call, BusSinkCompletion done);
    std::size_t Outstanding() const;
    std::size_t Queued() const;

  private:
    SinkWindow(std::shared_ptr<BusSinkChannel> channel, std::size_t window, std::size_t queueLimit)
        : channel_(std::move(channel)), window_(window), queueLimit_(queueLimit) {}

    struct Pending {
        BusSinkCall call;
        BusSinkCompletion done;
    };
    void Start(Pending pending);
    // One call answered: starts what waits, unless a caller up the stack already does.
    void Finished();
    void StartWaiting(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<BusSinkChannel> channel_;
    const std::size_t window_;
    const std::size_t queueLimit_;
    mutable std::mutex lock_;
    std::size_t outstanding_ = 0;
    bool starting_ = false;
    std::deque<Pending> queue_;
};

}  // namespace velk::dabus
