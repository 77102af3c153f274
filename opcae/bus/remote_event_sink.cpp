#include "opcae/bus/remote_event_sink.h"

#include "opcae/bus/ae_bus_names.h"
#include "opcae/bus/ae_bus_values.h"

namespace velk::aebus {

RemoteEventSink::RemoteEventSink(std::shared_ptr<BusSinkChannel> channel, std::string path,
                                 std::shared_ptr<SinkCallWindow> window,
                                 std::chrono::milliseconds timeout)
    : channel_(std::move(channel)),
      path_(std::move(path)),
      window_(std::move(window)),
      timeout_(timeout) {}

HRESULT RemoteEventSink::OnEvent(std::uint32_t clientHandle, bool refresh, bool lastRefresh,
                                 const std::vector<OnEventStruct>& events) {
    BusSinkCall call;
    call.objectPath = path_;
    call.interfaceName = kIOPCEventSink;
    call.method = "OnEvent";
    call.arguments = OnEventArguments(clientHandle, refresh, lastRefresh, events);
    call.timeout = timeout_;
    if (window_) window_->Acquire(timeout_);
    counters_->sent.fetch_add(1);
    std::shared_ptr<RemoteSinkCounters> counters = counters_;
    std::shared_ptr<SinkCallWindow> window = window_;
    channel_->Call(std::move(call), [counters, window](HRESULT result, const BusValue::Items&) {
        if (Failed(result)) counters->failed.fetch_add(1);
        if (window) window->Release();
    });
    return S_OK;
}

}  // namespace velk::aebus
