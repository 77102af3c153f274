#include "redundancy/redundancy_packets.h"

#include <algorithm>
#include <cstdio>

#include "opcae/b_ack_msg.h"
#include "platform/text.h"

namespace velk {
namespace {

constexpr std::uint8_t kUnitId = 0;
constexpr std::uint8_t kExceptionBit = 0x80;

void PutWord32(OTcpMessage& message, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        message.PutByte(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t Word32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (static_cast<std::uint32_t>(bytes[at]) << 24) |
           (static_cast<std::uint32_t>(bytes[at + 1]) << 16) |
           (static_cast<std::uint32_t>(bytes[at + 2]) << 8) | bytes[at + 3];
}

}  // namespace

std::unique_ptr<OTcpMessage> EncodeTimeSync(const LocalTime& now) {
    auto packet = std::make_unique<OTcpMessage>();
    const std::uint8_t fields[] = {
        static_cast<std::uint8_t>(now.millisecond % 100),
        static_cast<std::uint8_t>(now.millisecond / 100),
        static_cast<std::uint8_t>(now.second),
        static_cast<std::uint8_t>(now.minute),
        static_cast<std::uint8_t>(now.hour),
        static_cast<std::uint8_t>(now.day),
        static_cast<std::uint8_t>(now.month),
        static_cast<std::uint8_t>(now.year % 100),
    };
    packet->PutByte(kUnitId);
    packet->PutByte(REQ_TIME_SYNC);
    packet->PutByte(static_cast<std::uint8_t>(sizeof fields));
    for (std::uint8_t field : fields) packet->PutByte(field);
    packet->Finish();
    return packet;
}

std::unique_ptr<OTcpMessage> EncodeAckAlarm(const BAckMsg& message) {
    const std::u16string path = Utf8ToUtf16(message.tagPath);
    if (path.size() > kMaxAckPathCharacters) return nullptr;
    if (std::any_of(path.begin(), path.end(), [](char16_t c) { return c > 0xFF; })) return nullptr;
    auto packet = std::make_unique<OTcpMessage>();
    packet->PutByte(kUnitId);
    packet->PutByte(FN_ACK_ALARM);
    packet->PutByte(static_cast<std::uint8_t>(path.size() + 10));
    packet->PutByte(static_cast<std::uint8_t>(message.acknowledgeFlag & 0xFF));
    PutWord32(*packet, message.timeHigh);
    PutWord32(*packet, message.timeLow);
    packet->PutByte(static_cast<std::uint8_t>(path.size()));
    for (char16_t c : path) packet->PutByte(static_cast<std::uint8_t>(c));
    if (!packet->Finish()) return nullptr;
    return packet;
}

bool IsValidPacket(std::span<const std::uint8_t> packet) {
    return packet.size() >= kPacketMinimumSize &&
           (packet[kPacketFunctionByte] & kExceptionBit) == 0 &&
           packet[kPacketLengthByte] == packet.size() - 6;
}

std::optional<LocalTime> DecodeTimeSync(std::span<const std::uint8_t> packet) {
    if (packet.size() < kTimeSyncPacketSize) return std::nullopt;
    LocalTime time;
    time.millisecond = packet[10] * 100 + packet[9];
    time.second = packet[11];
    time.minute = packet[12];
    time.hour = packet[13];
    time.day = packet[14];
    time.month = packet[15];
    time.year = 2000 + packet[16];
    time.dayOfWeek = 0;
    return time;
}

std::optional<PeerAcknowledgement> DecodeAckAlarm(std::span<const std::uint8_t> packet) {
    if (packet.size() < kAckPacketHeaderSize) return std::nullopt;
    PeerAcknowledgement ack;
    ack.acknowledgeFlag = packet[9];
    ack.acknowledgementTime =
        (static_cast<FileTime>(Word32At(packet, 10)) << 32) | Word32At(packet, 14);
    const std::size_t count =
        std::min<std::size_t>(packet[18], packet.size() - kAckPacketHeaderSize);
    const auto path = packet.subspan(kAckPacketHeaderSize, count);
    ack.tagPath = Latin1ToUtf8(std::string_view(reinterpret_cast<const char*>(path.data()), count));
    return ack;
}

std::string PacketText(std::span<const std::uint8_t> packet) {
    std::string text;
    for (std::uint8_t byte : packet) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X", byte);
        if (!text.empty()) text += ' ';
        text += hex;
    }
    return text;
}

}  // namespace velk
