#pragma once
// The shutdown sink that a DA or AE client exported, reached over the bus. The application
// asks for the client's answer (a refusal stops the shutdown), so this call waits for it, at
// most the sink time-out; it is made from the application's own threads, never from a
// delivery.
#include <chrono>
#include <functional>
#include <string>

#include "opc/opc_shutdown.h"
#include "platform/dbus/bus_sink_channel.h"

namespace velk {

inline constexpr const char* kShutdownSinkInterface = "VELK.OPC.IOPCShutdown";

class RemoteShutdownSink final : public IOPCShutdown {
  public:
    // How a sink call is sent: the client's sink channel, or the sink call window over it.
    using Send = std::function<void(BusSinkCall, BusSinkCompletion)>;

    RemoteShutdownSink(Send send, std::string path,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    // The client's answer; RPC_E_TIMEOUT or RPC_E_DISCONNECTED when there was none.
    HRESULT ShutdownRequest(const std::string& reason) override;

  private:
    Send send_;
    std::string path_;
    std::chrono::milliseconds timeout_;
};

}  // namespace velk
