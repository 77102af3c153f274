#include "modbus/mbap_header.h"

namespace velk {

void WriteMbapPrefix(std::span<std::uint8_t> frame, std::uint16_t transactionId,
                     std::uint16_t length) {
    frame[0] = static_cast<std::uint8_t>(transactionId >> 8);
    frame[1] = static_cast<std::uint8_t>(transactionId & 0xFF);
    frame[2] = 0;
    frame[3] = 0;
    frame[4] = static_cast<std::uint8_t>(length >> 8);
    frame[5] = static_cast<std::uint8_t>(length & 0xFF);
}

std::optional<MbapHeader> ReadMbapHeader(std::span<const std::uint8_t> frame) {
    if (frame.size() < kMbapHeaderSize) {
        return std::nullopt;
    }
    MbapHeader header;
    header.transactionId = static_cast<std::uint16_t>((frame[0] << 8) | frame[1]);
    header.protocolId = static_cast<std::uint16_t>((frame[2] << 8) | frame[3]);
    header.length = static_cast<std::uint16_t>((frame[4] << 8) | frame[5]);
    header.unitId = frame[6];
    return header;
}

}  // namespace velk
