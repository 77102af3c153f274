#pragma once
// What a packet from the peer does on this server, applied by the client thread: a time
// packet sets the machine's clock, an acknowledgement marks the same tag's condition
// acknowledged here and raises the acknowledgement event (never sent back to the peer).
#include <cstdint>

#include "redundancy/redundancy_services.h"

namespace velk {

class ReceivedPacket;
struct PeerAcknowledgement;

// A time packet that waited longer than one period of the master's time trigger is stale:
// a fresher one follows, and applying it would set the clock back by its wait.
inline constexpr std::uint32_t kStaleTimePacketMs = 15000;

class PeerPacketApplier {
  public:
    explicit PeerPacketApplier(RedundancyServices& services) : services_(services) {}
    void Apply(const ReceivedPacket& packet);

  private:
    void ApplyTime(const ReceivedPacket& packet);
    void ApplyAcknowledgement(const PeerAcknowledgement& ack);
    void Invalid(const ReceivedPacket& packet);

    RedundancyServices& services_;
};

}  // namespace velk
