#include "redundancy/received_packet_queue.h"

namespace velk {

ReceivedPacket::ReceivedPacket(std::span<const std::uint8_t> bytes, std::uint32_t receivedTick)
    : receivedTick_(receivedTick) {
    SetAnswerLength(static_cast<std::uint16_t>(bytes.size()));
    StoreAnswer(bytes, 0);
}

ReceivedPacketQueue::~ReceivedPacketQueue() {
    while (Pop()) {
    }
}

bool ReceivedPacketQueue::Push(std::unique_ptr<ReceivedPacket> packet) {
    if (!packet) return false;
    std::lock_guard guard(pushLock_);
    bool dropped = false;
    while (capacity_ != 0 && buffer_.Size() >= capacity_) {
        delete buffer_.Pop();
        dropped = true;
    }
    buffer_.Push(packet.release());
    return dropped;
}

std::unique_ptr<ReceivedPacket> ReceivedPacketQueue::Pop() {
    // Only ReceivedPackets are ever pushed.
    return std::unique_ptr<ReceivedPacket>(static_cast<ReceivedPacket*>(buffer_.Pop()));
}

}  // namespace velk
