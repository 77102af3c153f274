#pragma once
// The event sink that a client exported on its own connection, reached over the bus. Every
// OnEvent is sent asynchronously and counts as delivered once sent; only while the client's
// window of outstanding calls is full does the sender wait (see SinkCallWindow), so a slow
// client holds up its own subscriptions at most, and a vanished one loses its events.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "opcae/bus/sink_call_window.h"
#include "opcae/opc_event_sink.h"
#include "platform/dbus/bus_sink_channel.h"

namespace velk::aebus {

// Outcomes of the calls of one sink, kept beyond the sink itself (the completions run later).
struct RemoteSinkCounters {
    std::atomic<std::uint64_t> sent{0};
    std::atomic<std::uint64_t> failed{0};
};

class RemoteEventSink final : public IOPCEventSink {
  public:
    RemoteEventSink(std::shared_ptr<BusSinkChannel> channel, std::string path,
                    std::shared_ptr<SinkCallWindow> window,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    HRESULT OnEvent(std::uint32_t clientHandle, bool refresh, bool lastRefresh,
                    const std::vector<OnEventStruct>& events) override;

    const std::string& Path() const { return path_; }
    const RemoteSinkCounters& Counters() const { return *counters_; }

  private:
    std::shared_ptr<BusSinkChannel> channel_;
    std::string path_;
    std::shared_ptr<SinkCallWindow> window_;
    std::chrono::milliseconds timeout_;
    std::shared_ptr<RemoteSinkCounters> counters_ = std::make_shared<RemoteSinkCounters>();
};

}  // namespace velk::aebus
