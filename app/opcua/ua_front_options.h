#pragma once
// What the OPC UA front runs with, resolved from the OpcUa settings: where it listens, how
// many connections it takes, and the server's configuration (endpoints, identities, bounds).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "opcua/server/ua_server.h"

namespace velk {

struct UaFrontOptions {
    // IPv4 addresses to listen on; empty: every address ("0.0.0.0").
    std::vector<std::string> bindAddresses;
    std::uint16_t port = 4840;
    // Connections open at once; one past it is refused (traced) and closed at once.
    std::size_t maxConnections = 110;
    // Where a port in use or an address that cannot be bound is tried again.
    std::uint32_t bindRetryMs = 10'000;
    // Unsent bytes one connection may hold: a client that stops reading its responses is
    // closed past it. A response is always taken by a connection with nothing queued, so
    // the bound never refuses one large answer.
    std::size_t maxSendQueueBytes = 8u << 20;
    // The connection limits and time limits of each secure channel (the Hello within 10 s).
    ua::SecureChannelSettings channel;
    // The PKI directory (own certificate, trusted and rejected clients).
    std::string pkiDirectory;
    bool allowSecurityNone = false;
    ua::UaServerConfig server;
};

}  // namespace velk
