#pragma once
// The client sinks of the DA objects for a client on the bus: each one is an object path in
// the client's process, reached through the window of the client's sink calls. Notifications are
// sent without waiting for their answers, so no group ever waits for a client; only the shutdown
// request waits, since its answer is the request's result.
#include <chrono>
#include <memory>
#include <string>

#include "opc/bus/remote_shutdown_sink.h"
#include "opcda/bus/sink_window.h"
#include "opcda/client_sinks.h"

namespace velk::dabus {

inline constexpr const char* kDataCallbackSinkInterface = "VELK.OPC.IOPCDataCallback";
inline constexpr const char* kAdviseSinkInterface = "VELK.OPC.IAdviseSink";

// The client's shutdown sink as a DA client object; its calls go through the window.
class ShutdownClientSink final : public IClientSink {
  public:
    ShutdownClientSink(std::shared_ptr<SinkWindow> window, std::string path)
        : sink_(
              [window = std::move(window)](BusSinkCall call, BusSinkCompletion done) {
                  window->Call(std::move(call), std::move(done));
              },
              std::move(path)) {}
    IOPCShutdown* QueryShutdown() override { return &sink_; }

  private:
    RemoteShutdownSink sink_;
};

class RemoteDataCallbackSink final : public IClientSink, public IOPCDataCallbackSink {
  public:
    RemoteDataCallbackSink(std::shared_ptr<SinkWindow> channel, std::string path)
        : channel_(std::move(channel)), path_(std::move(path)) {}
    IOPCDataCallbackSink* QueryDataCallback() override { return this; }

    // Each starts the call and returns S_OK at once.
    HRESULT OnDataChange(std::uint32_t transactionID, std::uint32_t hGroup, HRESULT masterQuality,
                         HRESULT masterError, const ItemValueList& items) override;
    HRESULT OnReadComplete(std::uint32_t transactionID, std::uint32_t hGroup, HRESULT masterQuality,
                           HRESULT masterError, const ItemValueList& items) override;
    HRESULT OnWriteComplete(std::uint32_t transactionID, std::uint32_t hGroup, HRESULT masterError,
                            const std::vector<std::uint32_t>& clientHandles,
                            const std::vector<HRESULT>& errors) override;
    HRESULT OnCancelComplete(std::uint32_t transactionID, std::uint32_t hGroup) override;

    const std::string& Path() const { return path_; }

  private:
    HRESULT SendValues(const char* method, std::uint32_t transactionID, std::uint32_t hGroup,
                       HRESULT masterQuality, HRESULT masterError, const ItemValueList& items);
    void Send(const char* method, BusValue::Items arguments);

    std::shared_ptr<SinkWindow> channel_;
    std::string path_;
};

class RemoteAdviseSink final : public IAdviseSink10 {
  public:
    RemoteAdviseSink(std::shared_ptr<SinkWindow> channel, std::string path)
        : channel_(std::move(channel)), path_(std::move(path)) {}
    void OnDataChange(const FORMATETC& format, const std::vector<std::uint8_t>& stream) override;
    const std::string& Path() const { return path_; }

  private:
    std::shared_ptr<SinkWindow> channel_;
    std::string path_;
};

}  // namespace velk::dabus
