#pragma once
// The bus host's calls to client sinks in flight: each goes out as an asynchronous method
// call with its time-out and completes exactly once, with the sink's answer, its failure,
// RPC_E_TIMEOUT or RPC_E_DISCONNECTED. The proxies of completed calls go to the loop's
// graveyard. Used on the bus loop thread only.
#include <sdbus-c++/sdbus-c++.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/dbus/bus_graveyard.h"
#include "platform/dbus/bus_sink_channel.h"

namespace velk {

class BusSinkCalls {
  public:
    struct Queued {
        std::string client;
        BusSinkCall call;
        BusSinkCompletion done;
    };

    // At most perClientLimit calls to one client are unanswered; beyond, calls fail at once
    // as timed out, so a client that answers nothing does not make the server hoard them.
    BusSinkCalls(sdbus::IConnection& connection, BusGraveyard& graveyard,
                 std::size_t perClientLimit);
    ~BusSinkCalls();
    BusSinkCalls(const BusSinkCalls&) = delete;
    BusSinkCalls& operator=(const BusSinkCalls&) = delete;

    void Start(Queued queued);
    // Completes the unanswered calls of one client (or of all, for null) as disconnected.
    void FailFor(const std::string* client);
    std::size_t Count() const { return pending_.size(); }

  private:
    struct Pending {
        std::string client;
        std::string replySignature;
        BusSinkCompletion done;
        std::unique_ptr<sdbus::IProxy> proxy;
    };

    std::size_t PendingFor(const std::string& client) const;
    void Complete(std::uint64_t id, sdbus::MethodReply& reply, const sdbus::Error* error);

    sdbus::IConnection& connection_;
    BusGraveyard& graveyard_;
    const std::size_t perClientLimit_;
    std::map<std::uint64_t, Pending> pending_;
    std::uint64_t nextId_ = 1;
};

}  // namespace velk
