#pragma once
// The packets of the redundancy link: Modbus TCP frames (transaction and protocol
// identifiers 0, unit identifier 0) with two function codes of their own, the clock of the
// synchronisation master and one alarm acknowledgement. Only byte 5 of the length field is
// in use: a packet holds at most 255 bytes after it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "modbus/o_tcp_message.h"
#include "platform/clock.h"

namespace velk {

class BAckMsg;

inline constexpr std::uint8_t REQ_TIME_SYNC = 0x46;  // 'F'
inline constexpr std::uint8_t FN_ACK_ALARM = 0x4B;   // 'K'

// Byte offsets of the packets.
inline constexpr std::size_t kPacketLengthByte = 5;
inline constexpr std::size_t kPacketFunctionByte = 7;
inline constexpr std::size_t kPacketMinimumSize = 8;
inline constexpr std::size_t kTimeSyncPacketSize = 17;
inline constexpr std::size_t kAckPacketHeaderSize = 19;
// The longest tag path a packet can carry: 19 + n bytes, of which at most 255 follow the
// length field.
inline constexpr std::size_t kMaxAckPathCharacters = 242;

// The time packet for a local time: milliseconds modulo 100, milliseconds / 100, second,
// minute, hour, day, month, year modulo 100.
std::unique_ptr<OTcpMessage> EncodeTimeSync(const LocalTime& now);

// The acknowledgement packet of a queued acknowledgement; none when its tag path cannot
// travel: longer than 242 characters, or holding a character above U+00FF (it would reach
// the peer as another character and acknowledge another tag, or none).
std::unique_ptr<OTcpMessage> EncodeAckAlarm(const BAckMsg& message);

// Whether bytes received are a packet: at least 8 bytes, bit 7 of the function code
// clear, byte 5 equal to the length - 6. Nothing else is checked.
bool IsValidPacket(std::span<const std::uint8_t> packet);

// The local time a time packet carries (year 2000 + byte 16; the day of the week is not
// carried and left 0); none when the packet is too short.
std::optional<LocalTime> DecodeTimeSync(std::span<const std::uint8_t> packet);

struct PeerAcknowledgement {
    std::uint8_t acknowledgeFlag = 0;
    FileTime acknowledgementTime = 0;
    std::string tagPath;  // UTF-8; each path byte is one character U+0000 to U+00FF
};
// The acknowledgement an acknowledgement packet carries; none when the packet is too short
// for its fixed fields. A path count beyond the packet's end takes the bytes present.
std::optional<PeerAcknowledgement> DecodeAckAlarm(std::span<const std::uint8_t> packet);

// "00 1F 4B ..." for a trace line.
std::string PacketText(std::span<const std::uint8_t> packet);

}  // namespace velk
