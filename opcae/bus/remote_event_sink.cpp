#include "opcae/bus/remote_event_sink.h"

#include "opcae/bus/ae_bus_names.h"
#include "opcae/bus/ae_bus_values.h"

namespace velk::aebus {

RemoteEventSink::RemoteEventSink(std::shared_ptr<SinkCallWindow> queue, std::string path,
                                 std::chrono::milliseconds timeout)
    : path_(std::move(path)), queue_(std::move(queue)), timeout_(timeout) {}

HRESULT RemoteEventSink::OnEvent(std::uint32_t clientHandle, bool refresh, bool lastRefresh,
                                 const std::vector<OnEventStruct>& events) {
    BusSinkCall call;
    call.objectPath = path_;
    call.interfaceName = kIOPCEventSink;
    call.method = "OnEvent";
    call.arguments = OnEventArguments(clientHandle, refresh, lastRefresh, events);
    call.timeout = timeout_;
    counters_->sent.fetch_add(1);
    std::shared_ptr<RemoteSinkCounters> counters = counters_;
    queue_->Call(std::move(call), [counters](HRESULT result, const BusValue::Items&) {
        if (Failed(result)) counters->failed.fetch_add(1);
    });
    return S_OK;
}

}  // namespace velk::aebus
