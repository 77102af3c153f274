#include "redundancy/packet_reassembler.h"

#include "redundancy/redundancy_packets.h"

namespace velk {

void PacketReassembler::Append(std::span<const std::uint8_t> bytes) {
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

bool PacketReassembler::Next(std::vector<std::uint8_t>& packet) {
    if (pending_.size() <= 6) return false;
    // At least 6 bytes, so every cut makes progress even with a length byte of 0.
    const std::size_t length = pending_[kPacketLengthByte] + std::size_t{6};
    if (pending_.size() < length) return false;
    packet.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(length));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(length));
    return true;
}

}  // namespace velk
