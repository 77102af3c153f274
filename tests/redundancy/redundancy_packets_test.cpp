// The link's packets byte for byte, the paths that cannot travel, the validity rule and the
// cutting of a connection's byte stream into packets however it arrives.
#include "redundancy/redundancy_packets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "opcae/b_ack_msg.h"
#include "redundancy/packet_reassembler.h"

namespace velk {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FrameOf(const OTcpMessage& message) {
    return Bytes(message.Frame().begin(), message.Frame().end());
}

TEST(RedundancyPacketsTest, TimePacketCarriesTheLocalTimeAndComesBackTheSame) {
    const LocalTime at{2024, 3, 5, 14, 7, 9, 456, 2};
    const Bytes packet = FrameOf(*EncodeTimeSync(at));
    EXPECT_EQ(packet, (Bytes{0, 0, 0, 0, 0, 11, 0, 0x46, 8, 56, 4, 9, 7, 14, 5, 3, 24}));
    ASSERT_TRUE(IsValidPacket(packet));
    LocalTime expected = at;
    expected.dayOfWeek = 0;  // not carried
    EXPECT_EQ(DecodeTimeSync(packet), expected);
}

TEST(RedundancyPacketsTest, AcknowledgementPacketCarriesFlagTimeAndPath) {
    const BAckMsg ack(0x01D96F1A2B3C4D5Eull, "Dev1.Grp.T1");
    const Bytes packet = FrameOf(*EncodeAckAlarm(ack));
    const Bytes expected{0,    0,    0,    0,    0,    24,   0,    0x4B, 21,  1,
                         0x01, 0xD9, 0x6F, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 11,  'D',
                         'e',  'v',  '1',  '.',  'G',  'r',  'p',  '.',  'T', '1'};
    EXPECT_EQ(packet, expected);
    const auto decoded = DecodeAckAlarm(packet);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->acknowledgeFlag, 1);
    EXPECT_EQ(decoded->acknowledgementTime, 0x01D96F1A2B3C4D5Eull);
    EXPECT_EQ(decoded->tagPath, "Dev1.Grp.T1");
}

TEST(RedundancyPacketsTest, PathsBeyondTheLatinRangeOrTheLengthByteDoNotTravel) {
    // Latin-1 characters travel as one byte and come back as the same character.
    const auto latin = EncodeAckAlarm(BAckMsg(1, "Kessel.Füllstand"));
    ASSERT_TRUE(latin);
    EXPECT_EQ(DecodeAckAlarm(latin->Frame())->tagPath, "Kessel.Füllstand");
    EXPECT_EQ(latin->Frame()[18], 16);

    EXPECT_FALSE(EncodeAckAlarm(BAckMsg(1, "Dev.\u0141odz")));  // U+0141 would arrive as 'A'
    const auto longest = EncodeAckAlarm(BAckMsg(1, "D." + std::string(240, 'x')));
    ASSERT_TRUE(longest);
    EXPECT_EQ(longest->Frame().size(), 261u);
    EXPECT_EQ(longest->Frame()[5], 255);
    EXPECT_FALSE(EncodeAckAlarm(BAckMsg(1, "D." + std::string(241, 'x'))));
}

TEST(RedundancyPacketsTest, ValidityReadsOnlyTheLowLengthByteAndTheExceptionBit) {
    Bytes packet = FrameOf(*EncodeTimeSync(LocalTime{2024, 1, 1}));
    EXPECT_TRUE(IsValidPacket(packet));
    Bytes other = packet;
    other[0] = 7, other[2] = 9, other[4] = 1, other[6] = 3, other[8] = 99;  // not looked at
    EXPECT_TRUE(IsValidPacket(other));
    other = packet;
    other[7] |= 0x80;
    EXPECT_FALSE(IsValidPacket(other));
    other = packet;
    other[5] = 10;
    EXPECT_FALSE(IsValidPacket(other));
    EXPECT_FALSE(IsValidPacket(Bytes{0, 0, 0, 0, 0, 1, 0}));
    EXPECT_TRUE(IsValidPacket(Bytes{0, 0, 0, 0, 0, 2, 0, 0x46}));
}

std::vector<Bytes> Cut(PacketReassembler& reassembler) {
    std::vector<Bytes> packets;
    Bytes packet;
    while (reassembler.Next(packet)) packets.push_back(packet);
    return packets;
}

TEST(RedundancyPacketsTest, TwoPacketsComeOutWholeHoweverTheStreamIsSplit) {
    const Bytes first = FrameOf(*EncodeAckAlarm(BAckMsg(5, "Dev1.Grp.T1")));
    const Bytes second = FrameOf(*EncodeTimeSync(LocalTime{2024, 3, 5, 14, 7, 9, 456}));
    Bytes stream = first;
    stream.insert(stream.end(), second.begin(), second.end());
    for (std::size_t split = 0; split <= stream.size(); ++split) {
        PacketReassembler reassembler;
        reassembler.Append({stream.data(), split});
        std::vector<Bytes> packets = Cut(reassembler);
        reassembler.Append({stream.data() + split, stream.size() - split});
        for (Bytes& packet : Cut(reassembler)) packets.push_back(packet);
        ASSERT_EQ(packets, (std::vector<Bytes>{first, second})) << "split at " << split;
        EXPECT_EQ(reassembler.Pending(), 0u);
    }
    // Byte by byte.
    PacketReassembler reassembler;
    std::vector<Bytes> packets;
    for (std::uint8_t byte : stream) {
        reassembler.Append({&byte, 1});
        for (Bytes& packet : Cut(reassembler)) packets.push_back(packet);
    }
    EXPECT_EQ(packets, (std::vector<Bytes>{first, second}));
}

TEST(RedundancyPacketsTest, AZeroLengthByteStillMovesTheStreamOn) {
    PacketReassembler reassembler;
    const Bytes garbage{1, 2, 3, 4, 5, 0, 7, 8, 9, 10, 11, 0, 13};
    reassembler.Append(garbage);
    const std::vector<Bytes> packets = Cut(reassembler);
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_FALSE(IsValidPacket(packets[0]));
    EXPECT_EQ(reassembler.Pending(), 1u);
}

}  // namespace
}  // namespace velk
