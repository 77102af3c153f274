#include "opcae/bus/remote_shutdown_sink.h"

#include <condition_variable>
#include <mutex>
#include <optional>

#include "opcae/bus/ae_bus_names.h"
#include "platform/dbus/bus_errors.h"

namespace velk::aebus {
namespace {

// Shared with the completion, which may come after the wait has given up.
struct Answer {
    std::mutex mutex;
    std::condition_variable arrived;
    std::optional<HRESULT> result;
};

}  // namespace

RemoteShutdownSink::RemoteShutdownSink(std::shared_ptr<BusSinkChannel> channel, std::string path,
                                       std::chrono::milliseconds timeout)
    : channel_(std::move(channel)), path_(std::move(path)), timeout_(timeout) {}

HRESULT RemoteShutdownSink::ShutdownRequest(const std::string& reason) {
    BusSinkCall call;
    call.objectPath = path_;
    call.interfaceName = kIOPCShutdown;
    call.method = "ShutdownRequest";
    call.arguments = {BusValue::String(reason)};
    call.timeout = timeout_;
    auto answer = std::make_shared<Answer>();
    channel_->Call(std::move(call), [answer](HRESULT result, const BusValue::Items&) {
        {
            std::lock_guard lock(answer->mutex);
            answer->result = result;
        }
        answer->arrived.notify_all();
    });
    std::unique_lock lock(answer->mutex);
    // The channel's own time-out ends the call; the extra second covers its delivery.
    if (!answer->arrived.wait_for(lock, timeout_ + std::chrono::seconds(1),
                                  [&] { return answer->result.has_value(); }))
        return RPC_E_TIMEOUT;
    return *answer->result;
}

}  // namespace velk::aebus
