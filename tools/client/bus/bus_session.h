#pragma once
// The client's one connection to the message bus (session, system or a given address):
// proxies to server objects, paths for the sink objects that the client exports on the same
// connection, a watch on the server's bus name, and the loop that serves the connection
// while the client waits for callbacks.
#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tools/client/lib/invocation.h"

namespace velk::client {

class BusSession {
  public:
    // Connects; throws ClientFailure (kExitNoServer) when the bus cannot be reached.
    explicit BusSession(const BusChoice& choice);
    ~BusSession();
    BusSession(const BusSession&) = delete;
    BusSession& operator=(const BusSession&) = delete;

    sdbus::IConnection& Connection() { return *connection_; }
    const BusChoice& Choice() const { return choice_; }
    std::unique_ptr<sdbus::IProxy> Proxy(const std::string& destination, const std::string& path);
    // A fresh path for an object of this client: "/VELK/Client/<kind><n>".
    std::string NewObjectPath(std::string_view kind);

    // Calls whenGone once (on the loop) when the bus name loses its owner.
    void WatchName(const std::string& busName, std::function<void()> whenGone);
    // True while some process owns the bus name.
    bool NameHasOwner(const std::string& busName);

    // Serves the connection (sink calls, signals) until Stop is called from a handler, SIGINT
    // or SIGTERM arrives (blocked by a SignalWatch of the caller), or the time limit passes.
    // Returns the signal number that ended it, 0 otherwise.
    int Run(std::optional<std::chrono::milliseconds> limit = std::nullopt);
    void Stop() { stopping_ = true; }

  private:
    BusChoice choice_;
    std::unique_ptr<sdbus::IConnection> connection_;
    std::vector<std::unique_ptr<sdbus::IProxy>> nameWatches_;
    unsigned nextObject_ = 1;
    bool stopping_ = false;
};

}  // namespace velk::client
