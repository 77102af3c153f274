// The request catalogue: function codes, field layout and the exact answer lengths.
#include "modbus/modbus_requests.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "modbus/o_rtu_message.h"

namespace velk {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The PDU of an RTU request: everything between the slave address and the CRC.
Bytes RtuFields(const OMessage& message) {
    const auto frame = message.Frame();
    return Bytes(frame.begin() + 1, frame.end() - 2);
}

struct Lengths {
    std::uint16_t tcp;
    std::uint16_t rtu;
    std::uint16_t ascii;
};

template <typename Builder>
void ExpectAnswerLengths(Builder build, Lengths expected) {
    auto tcp = build(MessageFraming::kTcp);
    auto rtu = build(MessageFraming::kRtu);
    auto ascii = build(MessageFraming::kAscii);
    ASSERT_TRUE(tcp && rtu && ascii);
    EXPECT_EQ(tcp->GetAnswerLength(), expected.tcp);
    EXPECT_EQ(rtu->GetAnswerLength(), expected.rtu);
    EXPECT_EQ(ascii->GetAnswerLength(), expected.ascii);
    for (const OMessage* message : {tcp.get(), rtu.get(), ascii.get()}) {
        EXPECT_TRUE(message->Complete());
    }
}

TEST(ReadRequestTest, FunctionCodesFollowTheArea) {
    const struct {
        ReadArea area;
        std::uint8_t function;
        std::uint16_t address;
    } cases[] = {
        {ReadArea::kInputStatus, 2, 10},     {ReadArea::kOutputCoil, 1, 10},
        {ReadArea::kInputRegister, 4, 10},   {ReadArea::kHoldingRegister, 3, 10},
        {ReadArea::kEventSignal, 1, 0x080A},
    };
    for (const auto& c : cases) {
        auto message = BuildReadRequest(MessageFraming::kRtu, 17, c.area, 10, 3);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->GetSlave(), 17);
        EXPECT_EQ(RtuFields(*message), (Bytes{c.function, static_cast<std::uint8_t>(c.address >> 8),
                                              static_cast<std::uint8_t>(c.address & 0xFF), 0, 3}));
    }
}

TEST(ReadRequestTest, BitAnswerLengthsRoundUpToWholeBytes) {
    // 9 bits need 2 data bytes.
    ExpectAnswerLengths(
        [](MessageFraming f) { return BuildReadRequest(f, 1, ReadArea::kOutputCoil, 0, 9); },
        {11, 7, 15});
    ExpectAnswerLengths(
        [](MessageFraming f) { return BuildReadRequest(f, 1, ReadArea::kInputStatus, 0, 8); },
        {10, 6, 13});
    ExpectAnswerLengths(
        [](MessageFraming f) { return BuildReadRequest(f, 1, ReadArea::kEventSignal, 5, 495); },
        {71, 67, 135});
}

TEST(ReadRequestTest, RegisterAnswerLengths) {
    ExpectAnswerLengths(
        [](MessageFraming f) { return BuildReadRequest(f, 1, ReadArea::kHoldingRegister, 0, 1); },
        {11, 7, 15});
    // The longest answer of the scan: 123 registers, 503 characters in ASCII.
    ExpectAnswerLengths(
        [](MessageFraming f) { return BuildReadRequest(f, 1, ReadArea::kInputRegister, 100, 123); },
        {255, 251, 503});
}

TEST(ReadRequestTest, OutOfRangeCountsAndAddressesAreRefused) {
    EXPECT_FALSE(BuildReadRequest(MessageFraming::kRtu, 1, ReadArea::kHoldingRegister, 0, 0));
    EXPECT_FALSE(BuildReadRequest(MessageFraming::kRtu, 1, ReadArea::kHoldingRegister, 0, 126));
    EXPECT_FALSE(BuildReadRequest(MessageFraming::kRtu, 1, ReadArea::kOutputCoil, 0, 2001));
    EXPECT_TRUE(BuildReadRequest(MessageFraming::kAscii, 1, ReadArea::kOutputCoil, 0, 2000));
    EXPECT_FALSE(BuildReadRequest(MessageFraming::kRtu, 1, ReadArea::kHoldingRegister, 0xFFFF, 2));
    EXPECT_TRUE(BuildReadRequest(MessageFraming::kRtu, 1, ReadArea::kHoldingRegister, 0xFFFF, 1));
    // The event-signal offset must not wrap the address space.
    EXPECT_FALSE(BuildReadRequest(MessageFraming::kRtu, 1, ReadArea::kEventSignal, 0xF800, 1));
}

TEST(StatusRequestTest, Reads640CoilsFrom0x0800) {
    auto message = BuildStatusRequest(MessageFraming::kRtu, 4);
    ASSERT_TRUE(message);
    EXPECT_EQ(RtuFields(*message), (Bytes{1, 0x08, 0x00, 0x02, 0x80}));
    ExpectAnswerLengths([](MessageFraming f) { return BuildStatusRequest(f, 4); }, {89, 85, 171});
}

TEST(EventBufferRequestTest, ReadsHoldingRegistersAtBasePlusOffset) {
    auto message = BuildEventBufferRequest(MessageFraming::kRtu, 2, 0x0C00, 124, 124);
    ASSERT_TRUE(message);
    EXPECT_EQ(RtuFields(*message), (Bytes{3, 0x0C, 0x7C, 0x00, 0x7C}));
    ExpectAnswerLengths(
        [](MessageFraming f) { return BuildEventBufferRequest(f, 2, 0x0CA0, 64, 60); },
        {129, 125, 251});
}

TEST(DiagnosticRequestTest, ExpectsItsOwnEcho) {
    auto rtu = BuildDiagnosticRequest(MessageFraming::kRtu, 9);
    ASSERT_TRUE(rtu);
    EXPECT_EQ(RtuFields(*rtu), (Bytes{8, 0x00, 0x00, 0xF0, 0xF0}));
    ExpectAnswerLengths([](MessageFraming f) { return BuildDiagnosticRequest(f, 9); }, {12, 8, 17});
    for (auto framing : {MessageFraming::kTcp, MessageFraming::kRtu, MessageFraming::kAscii}) {
        auto message = BuildDiagnosticRequest(framing, 9);
        EXPECT_EQ(message->GetAnswerLength(), message->Length());
    }
}

TEST(WriteRequestTest, SingleCoilUsesFF00AndZero) {
    auto on = BuildWriteCoilRequest(MessageFraming::kRtu, 1, 0x0013, true);
    auto off = BuildWriteCoilRequest(MessageFraming::kRtu, 1, 0x0013, false);
    EXPECT_EQ(RtuFields(*on), (Bytes{5, 0x00, 0x13, 0xFF, 0x00}));
    EXPECT_EQ(RtuFields(*off), (Bytes{5, 0x00, 0x13, 0x00, 0x00}));
    ExpectAnswerLengths([](MessageFraming f) { return BuildWriteCoilRequest(f, 1, 0, true); },
                        {12, 8, 17});
}

TEST(WriteRequestTest, SingleRegister) {
    auto message = BuildWriteRegisterRequest(MessageFraming::kRtu, 1, 0x0102, 0xA0B0);
    EXPECT_EQ(RtuFields(*message), (Bytes{6, 0x01, 0x02, 0xA0, 0xB0}));
    ExpectAnswerLengths([](MessageFraming f) { return BuildWriteRegisterRequest(f, 1, 0, 7); },
                        {12, 8, 17});
}

TEST(WriteRequestTest, SeveralRegistersCarryCountAndByteCount) {
    const std::vector<std::uint16_t> values = {0x0102, 0x0304};
    auto message = BuildWriteRegistersRequest(MessageFraming::kRtu, 1, 0x0010, values);
    ASSERT_TRUE(message);
    EXPECT_EQ(RtuFields(*message), (Bytes{16, 0x00, 0x10, 0x00, 0x02, 4, 1, 2, 3, 4}));
    ExpectAnswerLengths(
        [&](MessageFraming f) { return BuildWriteRegistersRequest(f, 1, 0, values); }, {12, 8, 17});
}

TEST(WriteRequestTest, LargestWriteFitsEveryFraming) {
    const std::vector<std::uint16_t> values(123, 0xFFFF);
    auto ascii = BuildWriteRegistersRequest(MessageFraming::kAscii, 1, 0, values);
    auto tcp = BuildWriteRegistersRequest(MessageFraming::kTcp, 1, 0, values);
    ASSERT_TRUE(ascii && tcp);
    EXPECT_EQ(ascii->Length(), 511);
    EXPECT_EQ(tcp->Length(), 6 + 253);
    EXPECT_EQ(tcp->Frame()[5], 253);

    const std::vector<std::uint16_t> tooMany(124, 1);
    EXPECT_FALSE(BuildWriteRegistersRequest(MessageFraming::kTcp, 1, 0, tooMany));
    EXPECT_FALSE(BuildWriteRegistersRequest(MessageFraming::kTcp, 1, 0, {}));
    EXPECT_FALSE(BuildWriteRegistersRequest(MessageFraming::kTcp, 1, 0xFFFF, values));
}

TEST(TimeSyncRequestTest, BroadcastsTheLocalTimeBytes) {
    LocalTime local;
    local.year = 2026;
    local.month = 12;
    local.day = 9;
    local.hour = 14;
    local.minute = 3;
    local.second = 7;
    local.millisecond = 250;
    auto message = BuildTimeSyncRequest(MessageFraming::kRtu, local);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->GetSlave(), 0);
    EXPECT_EQ(RtuFields(*message), (Bytes{70, 8, 50, 2, 7, 3, 14, 9, 12, 26}));
    EXPECT_EQ(message->GetAnswerLength(), 0);
    // With no answer expected the request itself passes as accepted.
    EXPECT_TRUE(message->IsValid());

    ExpectAnswerLengths([&](MessageFraming f) { return BuildTimeSyncRequest(f, local); },
                        {9, 0, 0});
}

TEST(FramingChoiceTest, TcpFlagWinsThenDataBits) {
    EXPECT_EQ(ChooseFraming(true, 7), MessageFraming::kTcp);
    EXPECT_EQ(ChooseFraming(false, 8), MessageFraming::kRtu);
    EXPECT_EQ(ChooseFraming(false, 7), MessageFraming::kAscii);
    EXPECT_EQ(ChooseFraming(false, 5), MessageFraming::kAscii);
}

}  // namespace
}  // namespace velk
