// The three framings: building requests, judging answers and reading the answer data.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "modbus/crc16.h"
#include "modbus/hex_pair.h"
#include "modbus/lrc.h"
#include "modbus/message_framing.h"
#include "modbus/o_ascii_message.h"
#include "modbus/o_rtu_message.h"
#include "modbus/o_tcp_message.h"

namespace velk {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr FileTime kReceivedAt = 133'000'000'000'000'000ull;

Bytes RtuFrame(Bytes body) {
    const std::uint16_t crc = Crc16(body);
    body.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    body.push_back(static_cast<std::uint8_t>(crc >> 8));
    return body;
}

std::string HexText(const Bytes& body) {
    std::string text;
    char pair[3];
    for (std::uint8_t byte : body) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    return text;
}

Bytes AsciiFrame(const Bytes& body) {
    const std::string text = ":" + HexText(body) + HexText({Lrc(body)}) + "\r\n";
    return Bytes(text.begin(), text.end());
}

// unitAndPdu: unit identifier, function code, fields.
Bytes TcpFrame(std::uint16_t transaction, const Bytes& unitAndPdu) {
    Bytes frame = {static_cast<std::uint8_t>(transaction >> 8),
                   static_cast<std::uint8_t>(transaction & 0xFF),
                   0,
                   0,
                   static_cast<std::uint8_t>(unitAndPdu.size() >> 8),
                   static_cast<std::uint8_t>(unitAndPdu.size() & 0xFF)};
    frame.insert(frame.end(), unitAndPdu.begin(), unitAndPdu.end());
    return frame;
}

Bytes FrameFor(MessageFraming framing, const Bytes& body) {
    switch (framing) {
        case MessageFraming::kRtu:
            return RtuFrame(body);
        case MessageFraming::kTcp:
            return TcpFrame(0x0102, body);
        case MessageFraming::kAscii:
            break;
    }
    return AsciiFrame(body);
}

// A message of the framing holding the frame as a received answer.
std::unique_ptr<OMessage> Received(MessageFraming framing, const Bytes& frame) {
    auto message = CreateMessage(framing);
    message->SetAnswerLength(static_cast<std::uint16_t>(frame.size()));
    EXPECT_TRUE(message->StoreAnswer(frame, kReceivedAt));
    return message;
}

std::string Text(const OMessage& message) {
    return std::string(message.Frame().begin(), message.Frame().end());
}

// --- requests --------------------------------------------------------------------------

TEST(RequestFramingTest, AsciiRequestIsHexPairsWithLrcAndCrLf) {
    OAsciiMessage message;
    EXPECT_EQ(message.Length(), 1);
    EXPECT_EQ(message.Frame()[0], ':');
    for (std::uint8_t byte : Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}) {
        ASSERT_TRUE(message.PutByte(byte));
    }
    ASSERT_TRUE(message.Finish());
    EXPECT_EQ(Text(message), ":010300000001FB\r\n");
    EXPECT_EQ(message.GetSlave(), 1);
    EXPECT_EQ(message.GetFunction(), 3);
    EXPECT_FALSE(message.IsRtu());
    EXPECT_FALSE(message.IsTcp());
}

TEST(RequestFramingTest, AsciiPutByteWritesUpperCaseDigitsHighNibbleFirst) {
    OAsciiMessage message;
    message.PutByte(0xAB);
    message.PutByte(0x0F);
    EXPECT_EQ(Text(message), ":AB0F");
}

TEST(RequestFramingTest, RtuRequestEndsWithCrcLowByteFirst) {
    ORtuMessage message;
    EXPECT_EQ(message.Length(), 0);
    for (std::uint8_t byte : Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01}) {
        message.PutByte(byte);
    }
    ASSERT_TRUE(message.Finish());
    EXPECT_EQ(Bytes(message.Frame().begin(), message.Frame().end()),
              (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));
    EXPECT_TRUE(message.IsRtu());
}

TEST(RequestFramingTest, TcpRequestGetsMbapHeaderWithLengthByte) {
    OTcpMessage message;
    EXPECT_EQ(message.Length(), 6);
    for (std::uint8_t byte : Bytes{0x01, 0x03, 0x00, 0x10, 0x00, 0x02}) {
        message.PutByte(byte);
    }
    ASSERT_TRUE(message.Finish());
    EXPECT_EQ(Bytes(message.Frame().begin(), message.Frame().end()),
              (Bytes{0, 0, 0, 0, 0, 6, 0x01, 0x03, 0x00, 0x10, 0x00, 0x02}));
    EXPECT_EQ(message.GetSlave(), 1);
    EXPECT_EQ(message.GetFunction(), 3);
    EXPECT_TRUE(message.IsTcp());
}

TEST(RequestFramingTest, FullBufferRefusesFurtherBytes) {
    ORtuMessage rtu;
    for (std::size_t i = 0; i < OMessage::kBufferSize; ++i) {
        ASSERT_TRUE(rtu.PutByte(0x11));
    }
    EXPECT_FALSE(rtu.PutByte(0x11));
    EXPECT_FALSE(rtu.Finish());
    EXPECT_EQ(rtu.Length(), OMessage::kBufferSize);

    OAsciiMessage ascii;  // 1 + 2 * 255 = 511 characters: no room for another pair
    for (int i = 0; i < 255; ++i) {
        ASSERT_TRUE(ascii.PutByte(0x22));
    }
    EXPECT_FALSE(ascii.PutByte(0x22));
    EXPECT_EQ(ascii.Length(), 511);
}

TEST(RequestFramingTest, TcpFinishRefusesMoreThan255BytesAfterTheLengthField) {
    OTcpMessage message;
    for (int i = 0; i < 256; ++i) {
        message.PutByte(1);
    }
    EXPECT_FALSE(message.Finish());
}

// --- answers ---------------------------------------------------------------------------

TEST(AnswerValidityTest, WellFormedAnswersAreValidInEveryFraming) {
    const Bytes body = {0x01, 0x03, 0x02, 0x12, 0x34};
    for (auto framing : {MessageFraming::kAscii, MessageFraming::kRtu, MessageFraming::kTcp}) {
        auto message = Received(framing, FrameFor(framing, body));
        EXPECT_TRUE(message->IsValid()) << static_cast<int>(framing);
        EXPECT_EQ(message->GetSlave(), 1);
        EXPECT_EQ(message->GetFunction(), 3);
        EXPECT_EQ(message->AnswerTime(), kReceivedAt);
    }
}

TEST(AnswerValidityTest, ResetMessageIsNotValid) {
    for (auto framing : {MessageFraming::kAscii, MessageFraming::kRtu, MessageFraming::kTcp}) {
        auto message = Received(framing, FrameFor(framing, {0x01, 0x03, 0x02, 0x12, 0x34}));
        message->Reset();
        EXPECT_FALSE(message->IsValid());
        EXPECT_EQ(message->Length(), 0);
        EXPECT_EQ(message->GetAnswerLength(), 0);
        EXPECT_EQ(message->AnswerTime(), 0u);
        EXPECT_FALSE(message->Complete());
        EXPECT_EQ(message->GetWord(0), 0);
    }
}

TEST(AnswerValidityTest, StoreAnswerAcceptsOnlyTheExpectedLength) {
    const Bytes frame = RtuFrame({0x01, 0x03, 0x02, 0x12, 0x34});
    ORtuMessage message;
    message.SetAnswerLength(static_cast<std::uint16_t>(frame.size() + 1));
    EXPECT_FALSE(message.StoreAnswer(frame, kReceivedAt));
    EXPECT_FALSE(message.Complete());
    EXPECT_EQ(message.AnswerTime(), 0u);

    message.SetAnswerLength(0);  // no answer expected
    EXPECT_FALSE(message.StoreAnswer(frame, kReceivedAt));

    const Bytes oversized(OMessage::kBufferSize + 1, 0);
    message.SetAnswerLength(static_cast<std::uint16_t>(oversized.size()));
    EXPECT_FALSE(message.StoreAnswer(oversized, kReceivedAt));
}

TEST(AnswerValidityTest, StoredAnswerReplacesTheLongerRequest) {
    // A request longer than its answer leaves no bytes behind after the answer.
    ORtuMessage message;
    for (int i = 0; i < 20; ++i) {
        message.PutByte(0x41);
    }
    const Bytes frame = RtuFrame({0x01, 0x03, 0x02, 0x42, 0x43});
    message.SetAnswerLength(static_cast<std::uint16_t>(frame.size()));
    ASSERT_TRUE(message.StoreAnswer(frame, kReceivedAt));
    EXPECT_EQ(message.Length(), frame.size());
    EXPECT_EQ(message.GetString(0), "BC");
}

TEST(AnswerValidityTest, RtuExceptionAnswerIsNotValidEvenWithCorrectCrc) {
    auto message = Received(MessageFraming::kRtu, RtuFrame({0x01, 0x83, 0x02}));
    EXPECT_FALSE(message->IsValid());
    EXPECT_TRUE(message->IsComplete());
}

TEST(AnswerValidityTest, RtuWrongCrcOrShortFrameIsNotValid) {
    Bytes frame = RtuFrame({0x01, 0x03, 0x02, 0x12, 0x34});
    frame[3] ^= 0x01;
    EXPECT_FALSE(Received(MessageFraming::kRtu, frame)->IsValid());

    Bytes swapped = RtuFrame({0x01, 0x03, 0x02, 0x12, 0x34});
    std::swap(swapped[swapped.size() - 1], swapped[swapped.size() - 2]);
    EXPECT_FALSE(Received(MessageFraming::kRtu, swapped)->IsValid());

    EXPECT_FALSE(Received(MessageFraming::kRtu, RtuFrame({0x01}))->IsValid());
}

TEST(AnswerValidityTest, RtuAnswerWithoutCompleteFlagIsNotValid) {
    auto message = Received(MessageFraming::kRtu, RtuFrame({0x01, 0x03, 0x02, 0x12, 0x34}));
    message->SetComplete(false);
    EXPECT_FALSE(message->IsValid());
}

TEST(AnswerValidityTest, TcpTransactionIdentifierIsNotCompared) {
    auto message = Received(MessageFraming::kTcp, TcpFrame(0xBEEF, {0x01, 0x03, 0x02, 0x00, 0x07}));
    EXPECT_TRUE(message->IsValid());
    EXPECT_EQ(message->GetWord(0), 7);
}

TEST(AnswerValidityTest, TcpLengthFieldMustMatchTheFrame) {
    Bytes frame = TcpFrame(0, {0x01, 0x03, 0x02, 0x00, 0x07});
    frame[5] = static_cast<std::uint8_t>(frame[5] + 1);
    EXPECT_FALSE(Received(MessageFraming::kTcp, frame)->IsValid());

    Bytes highByte = TcpFrame(0, {0x01, 0x03, 0x02, 0x00, 0x07});
    highByte[4] = 1;  // 256 + 5 is not the 5 bytes that follow
    EXPECT_FALSE(Received(MessageFraming::kTcp, highByte)->IsValid());
}

TEST(AnswerValidityTest, TcpExceptionAndShortFramesAreNotValid) {
    EXPECT_FALSE(Received(MessageFraming::kTcp, TcpFrame(0, {0x01, 0x83, 0x02}))->IsValid());
    EXPECT_FALSE(Received(MessageFraming::kTcp, TcpFrame(0, {0x01}))->IsValid());
}

TEST(AnswerValidityTest, AsciiLowerCaseDigitsAreNotValid) {
    const std::string lower = ":01030212ab";
    // LRC over what the decoding makes of the lower-case pair, so that only the case of
    // the digits is wrong.
    const Bytes decoded = {0x01, 0x03, 0x02, 0x12, DecodeHexPair('a', 'b')};
    const std::string text = lower + HexText({Lrc(decoded)}) + "\r\n";
    EXPECT_FALSE(Received(MessageFraming::kAscii, Bytes(text.begin(), text.end()))->IsValid());

    // The same answer in upper case with its own LRC passes.
    EXPECT_TRUE(
        Received(MessageFraming::kAscii, AsciiFrame({0x01, 0x03, 0x02, 0x12, 0xAB}))->IsValid());
}

TEST(AnswerValidityTest, AsciiFramingFaultsAreNotValid) {
    const Bytes good = AsciiFrame({0x01, 0x03, 0x02, 0x12, 0x34});

    Bytes noColon = good;
    noColon[0] = ';';
    EXPECT_FALSE(Received(MessageFraming::kAscii, noColon)->IsValid());

    Bytes noLf = good;
    noLf.back() = '\r';
    EXPECT_FALSE(Received(MessageFraming::kAscii, noLf)->IsValid());

    Bytes wrongLrc = good;
    wrongLrc[wrongLrc.size() - 3] = wrongLrc[wrongLrc.size() - 3] == '0' ? '1' : '0';
    EXPECT_FALSE(Received(MessageFraming::kAscii, wrongLrc)->IsValid());

    Bytes wrongData = good;
    wrongData[8] = wrongData[8] == '0' ? '1' : '0';
    EXPECT_FALSE(Received(MessageFraming::kAscii, wrongData)->IsValid());

    const std::string shortText = ":0100\r\n";
    EXPECT_FALSE(
        Received(MessageFraming::kAscii, Bytes(shortText.begin(), shortText.end()))->IsValid());

    EXPECT_FALSE(Received(MessageFraming::kAscii, AsciiFrame({0x01, 0x83, 0x02}))->IsValid());
}

TEST(AnswerValidityTest, BroadcastRequestJudgesItself) {
    // A request that expects no answer keeps its own frame after the exchange.
    for (auto framing : {MessageFraming::kAscii, MessageFraming::kRtu}) {
        auto message = CreateMessage(framing);
        for (std::uint8_t byte : Bytes{0x00, 0x46, 0x08, 1, 2, 3, 4, 5, 6, 7, 8}) {
            message->PutByte(byte);
        }
        message->Finish();
        message->SetComplete(true);
        EXPECT_TRUE(message->IsValid()) << static_cast<int>(framing);
    }
}

// --- answer data -----------------------------------------------------------------------

class AnswerDataTest : public ::testing::TestWithParam<MessageFraming> {
  protected:
    // A read answer of slave 1, function code 3, carrying the data bytes.
    std::unique_ptr<OMessage> Answer(const Bytes& data) {
        Bytes body = {0x01, 0x03, static_cast<std::uint8_t>(data.size())};
        body.insert(body.end(), data.begin(), data.end());
        return Received(GetParam(), FrameFor(GetParam(), body));
    }
};

TEST_P(AnswerDataTest, GetBitFollowsCoilOrder) {
    auto message = Answer({0x00, 0x02});
    EXPECT_EQ(message->GetBit(9), 0xFFFF);
    EXPECT_EQ(message->GetBit(8), 0);
    EXPECT_EQ(message->GetBit(0), 0);
    auto low = Answer({0x81});
    EXPECT_EQ(low->GetBit(0), 0xFFFF);
    EXPECT_EQ(low->GetBit(7), 0xFFFF);
    EXPECT_EQ(low->GetBit(6), 0);
}

TEST_P(AnswerDataTest, GetWordAndDWordAreMostSignificantFirst) {
    auto message = Answer({0x12, 0x34, 0x56, 0x78});
    EXPECT_EQ(message->GetWord(0), 0x1234);
    EXPECT_EQ(message->GetWord(1), 0x5678);
    EXPECT_EQ(message->GetDWord(0), 0x12345678u);
}

TEST_P(AnswerDataTest, AccessBeyondTheDataGivesZero) {
    // The check field and the header must never be read as data.
    auto message = Answer({0xFF, 0xFF});
    EXPECT_EQ(message->GetWord(1), 0);
    EXPECT_EQ(message->GetDWord(0), 0u);
    EXPECT_EQ(message->GetBit(16), 0);
    EXPECT_EQ(message->GetBit(15), 0xFFFF);
}

TEST_P(AnswerDataTest, GetStringEndsAtZeroByteOrEndOfData) {
    auto message = Answer({0x41, 0x42, 0x00, 0x43});
    EXPECT_EQ(message->GetString(0), "AB");
    EXPECT_EQ(message->GetString(3), "C");
    EXPECT_EQ(message->GetString(4), "");
    auto full = Answer({0x48, 0x49});
    EXPECT_EQ(full->GetString(0), "HI");
}

INSTANTIATE_TEST_SUITE_P(EveryFraming, AnswerDataTest,
                         ::testing::Values(MessageFraming::kAscii, MessageFraming::kRtu,
                                           MessageFraming::kTcp));

TEST(AsciiAnswerDataTest, AsciiDataCharactersAreThePairsAfterTheByteCount) {
    auto message =
        Received(MessageFraming::kAscii, AsciiFrame({0x01, 0x03, 0x04, 0x12, 0x34, 0x56, 0x78}));
    EXPECT_EQ(Text(*message).substr(7, 8), "12345678");
    EXPECT_EQ(message->GetWord(1), 0x5678);
}

// --- byte-wise completeness ------------------------------------------------------------

std::unique_ptr<OMessage> Partial(MessageFraming framing, const Bytes& bytes) {
    auto message = CreateMessage(framing);
    message->Reset();
    message->SetAnswerLength(static_cast<std::uint16_t>(bytes.size()));
    message->StoreAnswer(bytes, kReceivedAt);
    return message;
}

TEST(IsCompleteTest, RtuFollowsTheFunctionCode) {
    const Bytes read = RtuFrame({0x01, 0x03, 0x02, 0x12, 0x34});
    EXPECT_TRUE(Partial(MessageFraming::kRtu, read)->IsComplete());
    EXPECT_FALSE(Partial(MessageFraming::kRtu, Bytes(read.begin(), read.end() - 1))->IsComplete());
    EXPECT_TRUE(Partial(MessageFraming::kRtu, RtuFrame({1, 6, 0, 1, 0, 2}))->IsComplete());
    EXPECT_FALSE(Partial(MessageFraming::kRtu, RtuFrame({1, 6, 0, 1, 0}))->IsComplete());
    EXPECT_TRUE(Partial(MessageFraming::kRtu, RtuFrame({1, 7, 0}))->IsComplete());
    EXPECT_TRUE(Partial(MessageFraming::kRtu, RtuFrame({1, 22, 0, 1, 0, 2, 0, 3}))->IsComplete());
    EXPECT_TRUE(Partial(MessageFraming::kRtu, RtuFrame({1, 0x90, 2}))->IsComplete());
    EXPECT_FALSE(Partial(MessageFraming::kRtu, RtuFrame({1, 8, 0, 0, 0xF0, 0xF0}))->IsComplete());
    EXPECT_FALSE(Partial(MessageFraming::kRtu, {0x01})->IsComplete());
}

TEST(IsCompleteTest, AsciiEndsWithLineFeed) {
    const Bytes frame = AsciiFrame({0x01, 0x03, 0x02, 0x12, 0x34});
    EXPECT_TRUE(Partial(MessageFraming::kAscii, frame)->IsComplete());
    EXPECT_FALSE(
        Partial(MessageFraming::kAscii, Bytes(frame.begin(), frame.end() - 1))->IsComplete());
}

TEST(IsCompleteTest, TcpFollowsTheLengthField) {
    const Bytes frame = TcpFrame(3, {0x01, 0x03, 0x02, 0x12, 0x34});
    EXPECT_TRUE(Partial(MessageFraming::kTcp, frame)->IsComplete());
    EXPECT_FALSE(
        Partial(MessageFraming::kTcp, Bytes(frame.begin(), frame.end() - 1))->IsComplete());
}

}  // namespace
}  // namespace velk
