#pragma once
// Cuts the byte stream of one redundancy connection into packets: the length of the packet
// at the front is byte 5 of the pending bytes + 6. Only byte 5 is read, as the senders
// write only that byte of the length field.
#include <cstdint>
#include <span>
#include <vector>

namespace velk {

class PacketReassembler {
  public:
    // Appends received bytes.
    void Append(std::span<const std::uint8_t> bytes);
    // Cuts the next complete packet from the front into packet; false when the pending
    // bytes do not yet hold a whole packet (or hold no more than 6 bytes).
    bool Next(std::vector<std::uint8_t>& packet);
    std::size_t Pending() const { return pending_.size(); }
    void Clear() { pending_.clear(); }

  private:
    std::vector<std::uint8_t> pending_;
};

}  // namespace velk
