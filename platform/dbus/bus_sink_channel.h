#pragma once
// Callbacks from the server to objects that a client exports in its own process (client
// sinks). Every call is asynchronous with a time-out: the caller is never blocked by a
// slow or dead client, and the completion reports the outcome.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/dbus/bus_value.h"
#include "platform/hresult.h"

namespace velk {

struct BusSinkCall {
    std::string objectPath;     // the sink's path in the client's process
    std::string interfaceName;  // e.g. "VELK.OPC.IOPCShutdown"
    std::string method;
    BusValue::Items arguments;
    std::string replySignature;  // what the sink answers ("" for nothing)
    std::chrono::milliseconds timeout{5000};
};

// The outcome: S_OK with the reply values, the sink's failure code, RPC_E_TIMEOUT (also at
// once while 64 calls to the same client are unanswered), or RPC_E_DISCONNECTED when the
// client is gone.
using BusSinkCompletion = std::function<void(HRESULT result, const BusValue::Items& values)>;

// Where a sink call goes. The bus host supplies the sending; the channel stays usable from
// any thread for as long as anyone holds it, and reports RPC_E_DISCONNECTED once its
// client or the host has gone.
class BusSinkChannel {
  public:
    // The host's sending, shared by every channel; it answers RPC_E_DISCONNECTED itself once
    // the host has stopped.
    using Sender =
        std::function<void(const std::string& client, BusSinkCall call, BusSinkCompletion done)>;

    BusSinkChannel(std::string client, std::shared_ptr<const Sender> sender)
        : client_(std::move(client)), sender_(std::move(sender)) {}

    // Unique bus name of the client whose sinks this channel reaches.
    const std::string& Client() const { return client_; }

    // Starts the call and returns at once. The completion runs exactly once, on the bus
    // thread (or at once on the calling thread when the host has gone); it may outlive the
    // object that made the call, so it should hold what it uses.
    void Call(BusSinkCall call, BusSinkCompletion done) const;

  private:
    std::string client_;
    std::shared_ptr<const Sender> sender_;
};

}  // namespace velk
