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

}  // namespace

void RemoteDataCallbackSink::Send(const char* method, BusValue::Items arguments) {
    BusSinkCall call{path_, kDataCallbackSinkInterface,     method, std::move(arguments),
                     "",    std::chrono::milliseconds(5000)};
    channel_->Call(std::move(call), [](HRESULT, const BusValue::Items&) {});
}

HRESULT RemoteDataCallbackSink::SendValues(const char* method, std::uint32_t transactionID,
                                           std::uint32_t hGroup, HRESULT masterQuality,
                                           HRESULT masterError, const ItemValueList& items) {
    Send(method,
         {BusValue::UInt32(transactionID), BusValue::UInt32(hGroup), BusValue::Int32(masterQuality),
          BusValue::Int32(masterError), BusValue::UInt32Array(items.clientHandles),
          VariantArray(items.values), UInt16Array(items.qualities), UInt64Array(items.timestamps),
          HresultArray(items.errors)});
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
          BusValue::UInt32Array(clientHandles), HresultArray(errors)});
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
