#pragma once
// The sink calls of one client's AE objects, sent in order with a limited number
// outstanding. The bus fails a client's calls at once beyond a fixed number unanswered, and
// a client that has called Refresh typically answers none of them before the Refresh
// returns; so a refresh of many conditions in calls of one event, or a long backlog, would
// lose events and even the last-refresh call. Calls beyond the window wait here, and every
// answer sends the next one. Nobody waits: not the delivery threads, not the Refresh.
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/dbus/bus_sink_channel.h"

namespace velk::aebus {

class SinkCallQueue : public std::enable_shared_from_this<SinkCallQueue> {
  public:
    // window: calls outstanding at most; held: calls waiting at most, beyond which a call
    // fails at once with RPC_E_TIMEOUT (a client that answers nothing loses its events).
    static std::shared_ptr<SinkCallQueue> Create(std::shared_ptr<BusSinkChannel> channel,
                                                 std::size_t window, std::size_t held);

    // Sends the call now or after the calls before it; done runs once with the outcome.
    void Send(BusSinkCall call, BusSinkCompletion done);

    std::size_t Outstanding() const;
    std::size_t Waiting() const;

  private:
    SinkCallQueue(std::shared_ptr<BusSinkChannel> channel, std::size_t window, std::size_t held)
        : channel_(std::move(channel)), window_(window), held_(held) {}
    struct Pending {
        BusSinkCall call;
        BusSinkCompletion done;
    };
    void Pump();
    void Completed();

    std::shared_ptr<BusSinkChannel> channel_;
    const std::size_t window_;
    const std::size_t held_;
    mutable std::mutex mutex_;
    std::deque<Pending> waiting_;
    std::size_t outstanding_ = 0;
    bool pumping_ = false;  // a Pump is sending; completions that come meanwhile leave it to it
};

}  // namespace velk::aebus
