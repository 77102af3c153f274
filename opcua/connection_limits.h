#pragma once
// The negotiation of buffer sizes and message limits between a client's Hello and the
// server's Acknowledge.
#include <cstdint>

#include "opcua/status_codes.h"
#include "opcua/ua_tcp_messages.h"

namespace velk::ua {

// Smallest chunk a peer may offer: 8192 bytes, or 1024 for a peer that asks less (the
// small devices of the elliptic-curve policies).
inline constexpr std::uint32_t kMinBufferSize = 8192;
inline constexpr std::uint32_t kMinSmallBufferSize = 1024;

// What the server takes and sends at most.
struct ServerConnectionLimits {
    std::uint32_t receiveBufferSize = 65535;
    std::uint32_t sendBufferSize = 65535;
    std::uint32_t maxRequestMessageSize = 16u << 20;
    std::uint32_t maxRequestChunkCount = 1024;
};

// The limits of one connection after its Hello: chunk sizes both ways, the bounds of a
// request (the server's own) and of a response (the client's; 0 is no limit).
struct ConnectionLimits {
    std::uint32_t receiveBufferSize = 0;
    std::uint32_t sendBufferSize = 0;
    std::uint32_t maxRequestMessageSize = 0;
    std::uint32_t maxRequestChunkCount = 0;
    std::uint32_t maxResponseMessageSize = 0;
    std::uint32_t maxResponseChunkCount = 0;
    bool operator==(const ConnectionLimits&) const = default;
};

// Answers a Hello: each buffer size is the smaller of the two sides', and never less than
// 8192 bytes when the client offered that much. A client buffer below 1024 bytes is
// BadTcpNotEnoughResources (nothing useful fits). The server's own sizes below 8192 count
// as 8192.
StatusCode NegotiateHello(const HelloMessage& hello, const ServerConnectionLimits& server,
                          AcknowledgeMessage& ack, ConnectionLimits& limits);

}  // namespace velk::ua
