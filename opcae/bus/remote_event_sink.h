#pragma once
// The event sink that a client exported on its own connection, reached over the bus. Every
// OnEvent goes out through the client's call queue and counts as delivered once queued: a
// slow client delays its own events only, a vanished one loses them; nobody waits.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "opc/bus/sink_call_window.h"
#include "opcae/opc_event_sink.h"

namespace velk::aebus {

// Outcomes of the calls of one sink, kept beyond the sink itself (the completions run later).
struct RemoteSinkCounters {
    std::atomic<std::uint64_t> sent{0};
    std::atomic<std::uint64_t> failed{0};
};

class RemoteEventSink final : public IOPCEventSink {
  public:
    RemoteEventSink(std::shared_ptr<SinkCallWindow> queue, std::string path,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    HRESULT OnEvent(std::uint32_t clientHandle, bool refresh, bool lastRefresh,
                    const std::vector<OnEventStruct>& events) override;

    const std::string& Path() const { return path_; }
    const RemoteSinkCounters& Counters() const { return *counters_; }

  private:
    std::string path_;
    std::shared_ptr<SinkCallWindow> queue_;
    std::chrono::milliseconds timeout_;
    std::shared_ptr<RemoteSinkCounters> counters_ = std::make_shared<RemoteSinkCounters>();
};

}  // namespace velk::aebus
