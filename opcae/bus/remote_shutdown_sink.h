#pragma once
// The shutdown sink that a client exported, reached over the bus. The application asks for
// the client's answer (a refusal stops the shutdown), so this call waits for it, at most
// the sink time-out; it is made from the application's own threads, never from a delivery.
#include <chrono>
#include <memory>
#include <string>

#include "opcae/opc_shutdown.h"
#include "platform/dbus/bus_sink_channel.h"

namespace velk::aebus {

class RemoteShutdownSink final : public IOPCShutdown {
  public:
    RemoteShutdownSink(std::shared_ptr<BusSinkChannel> channel, std::string path,
                       std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));

    // The client's answer; RPC_E_TIMEOUT or RPC_E_DISCONNECTED when there was none.
    HRESULT ShutdownRequest(const std::string& reason) override;

  private:
    std::shared_ptr<BusSinkChannel> channel_;
    std::string path_;
    std::chrono::milliseconds timeout_;
};

}  // namespace velk::aebus
