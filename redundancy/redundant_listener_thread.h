#pragma once
// RedundantListenerThread: the receiving side of the link. It listens on the redundancy port
// (on the AlternateGateway address when one is set, else on every address), accepts
// connections from the configured peer only, cuts what arrives into packets, queues the
// valid ones and tells the client thread, which applies them. It serves several connections
// at once in one poll loop, so that a connection that sends nothing, or trickles, holds up
// nobody: each must bring every packet whole within the receive wait, or it is closed.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/message_queue.h"
#include "platform/tcp_sockets.h"
#include "redundancy/packet_reassembler.h"
#include "redundancy/redundancy_services.h"

namespace velk {

class ReceivedPacketQueue;

// A connection brings each packet whole within this wait: from its accept, or from the end
// of its last whole packet.
inline constexpr std::uint32_t kListenerReceiveWaitMs = 5000;
inline constexpr std::size_t kListenerReadSize = 512;
// Connections served at once. The peer uses one or two (acknowledgements, the time); when
// all are taken, a new connection of the peer replaces the one that waited longest.
inline constexpr std::size_t kListenerMaxConnections = 4;
// How often the listener looks at its queue (the quit) and at the connections' deadlines.
inline constexpr std::uint32_t kListenerPollSliceMs = 250;
// A refused address is written to the trace at most once in this time.
inline constexpr std::uint32_t kRefusalTraceIntervalMs = 60000;
// The pause before a listening socket that could not be set up is tried again.
inline constexpr std::uint32_t kListenRetryPauseMs = 5000;

class RedundantListenerThread {
  public:
    // notifyClient posts WM_REDUNDANCY_RECEIVED to the client thread.
    RedundantListenerThread(RedundancyServices& services, ReceivedPacketQueue& received,
                            std::function<void()> notifyClient)
        : services_(services), received_(received), notifyClient_(std::move(notifyClient)) {}

    // The thread's body; ends on the quit message and returns 0.
    int Run(MessageQueue& queue);

  private:
    struct Connection {
        SocketHolder socket;
        PacketReassembler pending;
        std::uint32_t waitingSince = 0;  // tick of the accept or of the last whole packet
    };

    bool OpenListeningSocket(SocketHolder& listening);
    void Fail(SocketHolder& holder, const char* line);
    bool FromPeer(const SocketHolder& connection);
    // One pass: waits up to the slice for the sockets, accepts, reads what came, closes the
    // connections that are done or out of time. False when the listening socket failed.
    bool ServeOnce(SocketHolder& listening);
    void Accept(SocketHolder& listening, bool& listeningFailed);
    // Reads what waits on the connection; false when the connection is done.
    bool Read(Connection& connection);
    void Close(Connection& connection);
    void Queue(std::span<const std::uint8_t> packet);

    RedundancyServices& services_;
    ReceivedPacketQueue& received_;
    std::function<void()> notifyClient_;
    ITcpSockets& Sockets() { return services_.listenerSockets; }

    std::string lastFailure_;   // a failure is written once until the socket is set up
    bool overflowing_ = false;  // the received-packet queue dropped its oldest at last push
    std::unordered_map<std::uint32_t, std::uint32_t> refusedAt_;  // address -> tick traced
    std::vector<Connection> connections_;
    bool queued_ = false;  // packets queued in this pass
};

}  // namespace velk
