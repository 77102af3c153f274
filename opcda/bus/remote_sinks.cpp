#include "opcda/bus/remote_sinks.h"

#include <condition_variable>
#include <mutex>
#include <optional>

#include "opcda/bus/bus_variant.h"
#include "opcda/bus/stream_formats.h"
#include "platform/dbus/bus_errors.h"

namespace velk::dabus {

namespace {

// The answer of one sink call, handed from the bus thread to the waiting caller.
struct Answer {
    std::mutex lock;
    std::condition_variable arrived;
    std::optional<HRESULT> result;
};

constexpr std::chrono::milliseconds kShutdownTimeout{5000};

}  // namespace

HRESULT RemoteShutdownSink::ShutdownRequest(const std::string& reason) {
    auto answer = std::make_shared<Answer>();
    BusSinkCall call{path_, kShutdownSinkInterface, "ShutdownRequest", {BusValue::String(reason)},
                     "",    kShutdownTimeout};
    channel_->Call(std::move(call), [answer](HRESULT result, const BusValue::Items&) {
        {
            std::lock_guard guard(answer->lock);
            answer->result = result;
        }
        answer->arrived.notify_all();
    });
    std::unique_lock guard(answer->lock);
    // The channel answers every call, at the latest at its time-out; the margin covers a
    // host that is stopping at that moment.
    if (!answer->arrived.wait_for(guard, kShutdownTimeout + std::chrono::seconds(2),
                                  [&] { return answer->result.has_value(); })) {
        return RPC_E_TIMEOUT;
    }
    return *answer->result;
}

void RemoteDataCallbackSink::Send(const char* method, BusValue::Items arguments) {
    BusSinkCall call{path_, kDataCallbackSinkInterface,     method, std::move(arguments),
                     "",    std::chrono::milliseconds(5000)};
    channel_->Call(std::move(call), [](HRESULT, const BusValue::Items&) {});
}

HRESULT RemoteDataCallbackSink::SendValues(const char* method, std::uint32_t transactionID,
                                           std::uint32_t hGroup, HRESULT masterQuality,
                                           HRESULT masterError, const ItemValueList& items) {
    Send(
        method,
        {BusValue::UInt32(transactionID), BusValue::UInt32(hGroup), BusValue::Int32(masterQuality),
         BusValue::Int32(masterError), UInt32Array(items.clientHandles), VariantArray(items.values),
         UInt16Array(items.qualities), UInt64Array(items.timestamps), HresultArray(items.errors)});
    return S_OK;
}

HRESULT RemoteDataCallbackSink::OnDataChange(std::uint32_t transactionID, std::uint32_t hGroup,
                                             HRESULT masterQuality, HRESULT masterError,
                                             const ItemValueList& items) {
    return SendValues("OnDataChange", transactionID, hGroup, masterQuality, masterError, items);
}

HRESULT RemoteDataCallbackSink::OnReadComplete(std::uint32_t transactionID, std::uint32_t hGroup,
                                               HRESULT masterQuality, HRESULT masterError,
                                               const ItemValueList& items) {
    return SendValues("OnReadComplete", transactionID, hGroup, masterQuality, masterError, items);
}

HRESULT RemoteDataCallbackSink::OnWriteComplete(std::uint32_t transactionID, std::uint32_t hGroup,
                                                HRESULT masterError,
                                                const std::vector<std::uint32_t>& clientHandles,
                                                const std::vector<HRESULT>& errors) {
    Send("OnWriteComplete",
         {BusValue::UInt32(transactionID), BusValue::UInt32(hGroup), BusValue::Int32(masterError),
          UInt32Array(clientHandles), HresultArray(errors)});
    return S_OK;
}

HRESULT RemoteDataCallbackSink::OnCancelComplete(std::uint32_t transactionID,
                                                 std::uint32_t hGroup) {
    Send("OnCancelComplete", {BusValue::UInt32(transactionID), BusValue::UInt32(hGroup)});
    return S_OK;
}

void RemoteAdviseSink::OnDataChange(const FORMATETC& format,
                                    const std::vector<std::uint8_t>& stream) {
    BusSinkCall call{path_,
                     kAdviseSinkInterface,
                     "OnDataChange",
                     {BusValue::String(StreamFormatName(format.cfFormat)), ByteArray(stream)},
                     "",
                     std::chrono::milliseconds(5000)};
    channel_->Call(std::move(call), [](HRESULT, const BusValue::Items&) {});
}

}  // namespace velk::dabus
