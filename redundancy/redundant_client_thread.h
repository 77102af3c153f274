#pragma once
// RedundantClientThread: the sending side of the link and the applier of what the listener
// received. Acknowledgements go to the peer over one connection that lives only while
// acknowledgements are being sent; each time packet goes over a short connection of its own.
// Nothing is sent, and messages are dropped, while no client is connected.
#include "platform/message_queue.h"
#include "platform/tcp_sockets.h"
#include "redundancy/peer_packet_applier.h"
#include "redundancy/redundancy_services.h"

namespace velk {

class AckMessageQueue;
class ReceivedPacketQueue;

inline constexpr std::uint32_t kLinkStartPauseMs = 500;
inline constexpr std::uint32_t kLinkIdlePassMs = 200;
inline constexpr std::uint32_t kLinkSendTimeoutMs = 1000;

class RedundantClientThread {
  public:
    RedundantClientThread(RedundancyServices& services, AckMessageQueue& acks)
        : services_(services), acks_(acks), applier_(services) {}

    // The thread's body; ends on the quit message and returns 0.
    int Run(MessageQueue& queue);

  private:
    void Dispatch(const Message& message);
    void SendTime(const RedundancyLinkSettings& settings);
    void ApplyReceived(ReceivedPacketQueue& packets);
    // Sends what waits in the acknowledgement queue; false when the pass has to wait.
    bool SendAcknowledgements(const RedundancyLinkSettings& settings);
    void CloseAcknowledgementConnection();

    RedundancyServices& services_;
    AckMessageQueue& acks_;
    PeerPacketApplier applier_;
    SocketHolder ackConnection_;
};

// Waits up to the time on the thread's queue: a message that arrives ends the wait early,
// so a quit is seen at once.
void PauseOn(MessageQueue& queue, std::uint32_t milliseconds);

}  // namespace velk
