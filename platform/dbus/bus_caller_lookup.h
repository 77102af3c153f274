#pragma once
// Who calls: the process id of each client connection, asked of the bus once per connection
// without waiting for the answer (the work that needs it waits instead), and the trace of the
// calls refused to a client, one line per client and minute. What is known of a client goes
// when it leaves the bus. Used on the bus loop thread only; the bus's answer arrives there.
#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/dbus/bus_object.h"

namespace velk {

class BusCallerLookup {
  public:
    using Report = std::function<void(const std::string& line)>;
    using Work = std::function<void(const BusClient& client)>;

    explicit BusCallerLookup(Report report);
    BusCallerLookup(const BusCallerLookup&) = delete;
    BusCallerLookup& operator=(const BusCallerLookup&) = delete;

    // The proxy of the bus itself, through which the process ids are asked (null: none is
    // asked, the ids are unknown).
    void Attach(sdbus::IProxy* bus) { bus_ = bus; }

    // Runs the work with the client and its process id: at once when known, otherwise when
    // the bus answers. Dropped when the client leaves first.
    void WithClient(const std::string& name, Work work);
    // Traces a call refused to the caller on an object of another client.
    void NoteRefusal(const std::string& caller, const std::string& path);
    // The client has left the bus.
    void Forget(const std::string& name);

  private:
    void LearnProcess(const std::string& name, std::uint32_t pid);

    struct Client {
        std::optional<std::uint32_t> pid;
        bool asked = false;
        std::vector<Work> waiting;
    };
    struct Refusals {
        std::chrono::steady_clock::time_point lastTraced;
        bool traced = false;
        std::size_t untraced = 0;
    };

    Report report_;
    sdbus::IProxy* bus_ = nullptr;
    std::map<std::string, Client> clients_;
    std::map<std::string, Refusals> refusals_;
};

}  // namespace velk
