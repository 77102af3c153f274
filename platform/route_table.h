#pragma once
// The host's IPv4 routing table and adapters, as the TCP channels and the redundancy link
// use them. Results are platform result codes in the Windows numbering the callers expect:
// 0 success or nothing done, 87 invalid parameter, 50 not supported, 1168 not found.
#include <cstdint>
#include <string>
#include <vector>

namespace velk {

inline constexpr std::uint32_t kRouteOk = 0;
inline constexpr std::uint32_t kRouteNotSupported = 50;
inline constexpr std::uint32_t kRouteInvalidParameter = 87;
inline constexpr std::uint32_t kRouteNotFound = 1168;

// One IPv4 address of an adapter.
struct PlatformAddress {
    std::uint32_t address = 0;  // network byte order
    std::uint32_t mask = 0;     // network byte order
};

// One adapter of the host.
struct PlatformAdapter {
    std::uint32_t interfaceIndex = 0;
    std::uint32_t interfaceType = 0;  // IANA ifType numbering (6 ethernet, 24 loopback, ...)
    std::string friendlyName;
    std::string description;
    std::vector<PlatformAddress> addresses;
};

// One host route of the forwarding table.
struct PlatformRoute {
    std::uint32_t destination = 0;  // network byte order
    std::uint32_t mask = 0;
    std::uint32_t nextHop = 0;
    std::uint32_t interfaceIndex = 0;
};

class IRouteTable {
  public:
    virtual ~IRouteTable() = default;
    // The host's adapters with their IPv4 addresses; false when the query failed.
    virtual bool Adapters(std::vector<PlatformAdapter>& adapters) = 0;
    // Lays a host route (mask 255.255.255.255) to destination through nextHop on the
    // interface (0 = let the system choose); a platform result code.
    virtual std::uint32_t AddRoute(const PlatformRoute& route) = 0;
    // The forwarding table, sorted by destination; false when the query failed.
    virtual bool Routes(std::vector<PlatformRoute>& routes) = 0;
    virtual std::uint32_t DeleteRoute(const PlatformRoute& route) = 0;
};

}  // namespace velk
