#pragma once
// RedundantListenerThread: the receiving side of the link. It listens on the redundancy port
// (on the AlternateGateway address when one is set, else on every address), accepts
// connections from the configured peer only, cuts what arrives into packets, queues the
// valid ones and tells the client thread, which applies them.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <unordered_map>

#include "platform/message_queue.h"
#include "platform/tcp_sockets.h"
#include "redundancy/redundancy_services.h"

namespace velk {

class ReceivedPacketQueue;

inline constexpr std::uint32_t kListenerReceiveWaitMs = 5000;
inline constexpr std::size_t kListenerReadSize = 512;
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
    bool OpenListeningSocket(SocketHolder& listening);
    void Fail(SocketHolder& holder, const char* line);
    bool FromPeer(const SocketHolder& connection);
    void Serve(MessageQueue& queue, SocketHolder& connection);
    // One read of up to 512 bytes within the receive wait, in slices so that a message on
    // the thread's queue (the quit) ends it early (-1).
    int Receive(MessageQueue& queue, SocketHolder& connection, std::uint8_t* buffer);
    void Queue(std::span<const std::uint8_t> packet);

    RedundancyServices& services_;
    ReceivedPacketQueue& received_;
    std::function<void()> notifyClient_;
    ITcpSockets& Sockets() { return services_.listenerSockets; }

    std::string lastFailure_;   // a failure is written once until the socket is set up
    bool overflowing_ = false;  // the received-packet queue dropped its oldest at last push
    std::unordered_map<std::uint32_t, std::uint32_t> refusedAt_;  // address -> tick traced
};

}  // namespace velk
