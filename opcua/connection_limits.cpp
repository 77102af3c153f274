// Negotiation of a connection's limits from the client's Hello.
#include "opcua/connection_limits.h"

#include <algorithm>

namespace velk::ua {

namespace {

std::uint32_t Negotiate(std::uint32_t ours, std::uint32_t theirs) {
    return std::min(std::max(ours, kMinBufferSize), theirs);
}

}  // namespace

StatusCode NegotiateHello(const HelloMessage& hello, const ServerConnectionLimits& server,
                          AcknowledgeMessage& ack, ConnectionLimits& limits) {
    if (hello.receiveBufferSize < kMinSmallBufferSize ||
        hello.sendBufferSize < kMinSmallBufferSize) {
        return kBadTcpNotEnoughResources;
    }
    limits.receiveBufferSize = Negotiate(server.receiveBufferSize, hello.sendBufferSize);
    limits.sendBufferSize = Negotiate(server.sendBufferSize, hello.receiveBufferSize);
    limits.maxRequestMessageSize = server.maxRequestMessageSize;
    limits.maxRequestChunkCount = server.maxRequestChunkCount;
    limits.maxResponseMessageSize = hello.maxMessageSize;
    limits.maxResponseChunkCount = hello.maxChunkCount;

    // Every client version is at least ours, and ours is the one used.
    ack.protocolVersion = kProtocolVersion;
    ack.receiveBufferSize = limits.receiveBufferSize;
    ack.sendBufferSize = limits.sendBufferSize;
    ack.maxMessageSize = limits.maxRequestMessageSize;
    ack.maxChunkCount = limits.maxRequestChunkCount;
    return kGood;
}

}  // namespace velk::ua
