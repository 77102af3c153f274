#pragma once
// What the redundancy link is given by the server: its settings (read at each use), the
// client count, the sockets and routes, the clocks, the tag lookup, the AE event thread and
// the trace. Everything referred to outlives the link's threads.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace velk {

class IClock;
class IEventPoster;
class ILocalClockSetter;
class IRouteTable;
class ITcpSockets;
class OModbusTag;

// The "Redundancy" settings and the area delimiter, as the link reads them at each use.
struct RedundancyLinkSettings {
    bool enabled = false;
    bool syncMaster = false;
    std::uint16_t port = 8201;
    std::string alternateServer;   // the peer's address; the acknowledger of its acks
    std::string alternateGateway;  // this host's address towards the peer; empty: none
    std::string areaDelimiter = ".";
};

struct RedundancyServices {
    ITcpSockets& sockets;  // the client thread's connections
    // The listener's sockets. Their accept wait bounds how long the listener takes to see
    // its quit message, so it should be well below the shutdown's 5 s wait for the thread.
    ITcpSockets& listenerSockets;
    IRouteTable* routes = nullptr;  // none: no host routes are laid or removed
    IClock& clock;                  // local time and tick count
    ILocalClockSetter& localClock;  // sets the machine's clock
    IEventPoster& events;           // the AE event thread
    std::recursive_mutex& tagDataLock;
    std::function<RedundancyLinkSettings()> settings;
    // Whether clients are connected (clientCount is not 0).
    std::function<bool()> hasClients;
    // The tag at a path of names joined by the delimiter; none when there is no such tag.
    std::function<OModbusTag*(const std::string& path, const std::string& delimiter)> findTag;
    std::function<void(std::string_view line)> trace;
};

}  // namespace velk
