#include "opc/bus/remote_shutdown_sink.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/dbus/bus_errors.h"

namespace velk {
namespace {

// Shared with the completion, which may come after the wait has given up.
struct Answer {
    std::mutex mutex;
    std::condition_variable arrived;
    std::optional<HRESULT> result;
};

}  // namespace

RemoteShutdownSink::RemoteShutdownSink(Send send, std::string path,
                                       std::chrono::milliseconds timeout)
    : send_(std::move(send)), path_(std::move(path)), timeout_(timeout) {}

HRESULT RemoteShutdownSink::ShutdownRequest(const std::string& reason) {
    BusSinkCall call;
    call.objectPath = path_;
    call.interfaceName = kShutdownSinkInterface;
    call.method = "ShutdownRequest";
    call.arguments = {BusValue::String(reason)};
    call.timeout = timeout_;
    auto answer = std::make_shared<Answer>();
    send_(std::move(call), [answer](HRESULT result, const BusValue::Items&) {
        {
            std::lock_guard lock(answer->mutex);
            answer->result = result;
        }
        answer->arrived.notify_all();
    });
    std::unique_lock lock(answer->mutex);
    // The channel answers every call, at the latest at its time-out; the margin covers a
    // host that is stopping at that moment.
    if (!answer->arrived.wait_for(lock, timeout_ + std::chrono::seconds(2),
                                  [&] { return answer->result.has_value(); }))
        return RPC_E_TIMEOUT;
    return *answer->result;
}

}  // namespace velk
