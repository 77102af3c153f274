// The simulator's slave logic, event buffers and request framing, without sockets.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "modbus/crc16.h"
#include "modbus/modbus_requests.h"
#include "modbus/o_ascii_message.h"
#include "tools/plcsim/controller_event_buffer.h"
#include "tools/plcsim/modbus_slave.h"
#include "tools/plcsim/request_assembler.h"

namespace velk::plcsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

class ModbusSlaveTest : public ::testing::Test {
  protected:
    Bytes Handle(const Bytes& pdu) { return *slave_.Handle(pdu, 1); }

    ProcessImage image_{100};
    ModbusSlave slave_{image_, 1};
};

TEST_F(ModbusSlaveTest, ReadsPackBitsLeastSignificantFirst) {
    image_.SetBit(Table::kCoil, 1, true);
    image_.SetBit(Table::kCoil, 8, true);
    EXPECT_EQ(Handle({1, 0, 0, 0, 10}), (Bytes{1, 2, 0x02, 0x01}));
    image_.SetBit(Table::kDiscrete, 0, true);
    EXPECT_EQ(Handle({2, 0, 0, 0, 1}), (Bytes{2, 1, 0x01}));
}

TEST_F(ModbusSlaveTest, ReadsRegistersMostSignificantFirst) {
    image_.SetWord(Table::kHolding, 3, 0x1234);
    image_.SetWord(Table::kInput, 3, 0xABCD);
    EXPECT_EQ(Handle({3, 0, 3, 0, 1}), (Bytes{3, 2, 0x12, 0x34}));
    EXPECT_EQ(Handle({4, 0, 3, 0, 1}), (Bytes{4, 2, 0xAB, 0xCD}));
}

TEST_F(ModbusSlaveTest, ImageBoundsGiveIllegalAddress) {
    EXPECT_EQ(Handle({3, 0, 99, 0, 1}), (Bytes{3, 2, 0x00, 0x00}));
    EXPECT_EQ(Handle({3, 0, 99, 0, 2}), (Bytes{0x83, 2}));
    EXPECT_EQ(Handle({1, 0, 100, 0, 1}), (Bytes{0x81, 2}));
    EXPECT_EQ(Handle({6, 0, 100, 0, 1}), (Bytes{0x86, 2}));
    EXPECT_EQ(Handle({5, 0, 100, 0xFF, 0}), (Bytes{0x85, 2}));
}

TEST_F(ModbusSlaveTest, BadCountsAndValuesGiveIllegalValue) {
    EXPECT_EQ(Handle({3, 0, 0, 0, 0}), (Bytes{0x83, 3}));
    EXPECT_EQ(Handle({3, 0, 0, 0, 126}), (Bytes{0x83, 3}));
    EXPECT_EQ(Handle({5, 0, 0, 0x12, 0x34}), (Bytes{0x85, 3}));
    // Byte count that does not match the register count.
    EXPECT_EQ(Handle({16, 0, 0, 0, 2, 2, 0, 1}), (Bytes{0x90, 3}));
    EXPECT_EQ(Handle({3, 0, 0}), (Bytes{0x83, 3}));
}

TEST_F(ModbusSlaveTest, WritesChangeTheImageAndEchoTheHeader) {
    EXPECT_EQ(Handle({5, 0, 4, 0xFF, 0}), (Bytes{5, 0, 4, 0xFF, 0}));
    EXPECT_TRUE(image_.Bit(Table::kCoil, 4));
    EXPECT_EQ(Handle({6, 0, 7, 0xBE, 0xEF}), (Bytes{6, 0, 7, 0xBE, 0xEF}));
    EXPECT_EQ(image_.Word(Table::kHolding, 7), 0xBEEF);
    EXPECT_EQ(Handle({16, 0, 10, 0, 2, 4, 0, 1, 0, 2}), (Bytes{16, 0, 10, 0, 2}));
    EXPECT_EQ(image_.Word(Table::kHolding, 11), 2);
    EXPECT_EQ(Handle({15, 0, 20, 0, 10, 2, 0x05, 0x02}), (Bytes{15, 0, 20, 0, 10}));
    EXPECT_TRUE(image_.Bit(Table::kCoil, 20));
    EXPECT_FALSE(image_.Bit(Table::kCoil, 21));
    EXPECT_TRUE(image_.Bit(Table::kCoil, 22));
    EXPECT_TRUE(image_.Bit(Table::kCoil, 29));
}

TEST_F(ModbusSlaveTest, DiagnosticEchoAndUnknownFunctions) {
    EXPECT_EQ(Handle({8, 0, 0, 0xF0, 0xF0}), (Bytes{8, 0, 0, 0xF0, 0xF0}));
    EXPECT_EQ(Handle({8, 0, 1, 0, 0}), (Bytes{0x88, 1}));
    EXPECT_EQ(Handle({43, 14, 1, 0}), (Bytes{43 | 0x80, 1}));
    EXPECT_EQ(slave_.Counters().requests, 3u);
    EXPECT_EQ(slave_.Counters().exceptions, 2u);
}

TEST_F(ModbusSlaveTest, TimeSyncIsRememberedWithItsChannel) {
    EXPECT_EQ(*slave_.Handle(Bytes{70, 8, 50, 2, 7, 3, 14, 9, 12, 26}, 2), (Bytes{70, 8}));
    ASSERT_TRUE(slave_.LastTimeSync());
    const TimeSyncRecord& sync = *slave_.LastTimeSync();
    EXPECT_EQ(sync.time.year, 2026);
    EXPECT_EQ(sync.time.month, 12);
    EXPECT_EQ(sync.time.day, 9);
    EXPECT_EQ(sync.time.hour, 14);
    EXPECT_EQ(sync.time.minute, 3);
    EXPECT_EQ(sync.time.second, 7);
    EXPECT_EQ(sync.time.millisecond, 250);
    EXPECT_EQ(sync.channel, 2);
    EXPECT_EQ(Handle({70, 7, 0, 0, 0, 0, 0, 0, 0}), (Bytes{70 | 0x80, 3}));
    EXPECT_EQ(slave_.LastTimeSync()->count, 1u);
}

TEST_F(ModbusSlaveTest, AcceptsItsUnitAndBroadcast) {
    EXPECT_TRUE(slave_.Accepts(1, false));
    EXPECT_TRUE(slave_.Accepts(0, false));
    EXPECT_FALSE(slave_.Accepts(2, false));
    EXPECT_FALSE(slave_.Accepts(255, false));
    EXPECT_TRUE(slave_.Accepts(255, true));
}

TEST(ControllerEventBufferTest, RecordsEndMarkAndOverrun) {
    ProcessImage image;
    ControllerEventBuffer events(image, kDeviceTypeTessera);
    const std::uint16_t base = 0x0CA0;
    EXPECT_EQ(image.Word(Table::kHolding, base), kEventEndMark);
    EXPECT_EQ(events.Capacity(0), 30u);  // 124 registers: 31 slots, one for the mark

    EventRecord record;
    record.signal = 12;
    record.state = true;
    record.hour = 23;
    events.Append(0, record);
    EXPECT_EQ(image.Word(Table::kHolding, base), 12);
    EXPECT_EQ(image.Word(Table::kHolding, base + 4), kEventEndMark);
    EXPECT_TRUE(image.Bit(Table::kCoil, 0x0800 + 12));
    // Master 2 untouched.
    EXPECT_EQ(image.Word(Table::kHolding, 0x0EA0), kEventEndMark);

    for (int i = 0; i < 30; ++i) {
        events.Append(0, record);
    }
    EXPECT_TRUE(events.Overrun(0));
    EXPECT_EQ(events.Records(0).size(), 30u);
    EXPECT_EQ(image.Word(Table::kHolding, base + 4 * 30), kEventOverrunMark);
    // The buffer never writes past its end.
    EXPECT_EQ(image.Word(Table::kHolding, base + 124), 0);

    events.Clear(0);
    EXPECT_FALSE(events.Overrun(0));
    EXPECT_EQ(image.Word(Table::kHolding, base), kEventEndMark);
    EXPECT_EQ(image.Word(Table::kHolding, base + 4), 0);
}

Bytes Frame(const OMessage& message) {
    return Bytes(message.Frame().begin(), message.Frame().end());
}

TEST(RequestAssemblerTest, RtuCutsFramesByFunctionCode) {
    RequestAssembler assembler(MessageFraming::kRtu);
    const Bytes read =
        Frame(*BuildReadRequest(MessageFraming::kRtu, 1, ReadArea::kHoldingRegister, 0, 2));
    const std::vector<std::uint16_t> values = {1, 2, 3};
    const Bytes write = Frame(*BuildWriteRegistersRequest(MessageFraming::kRtu, 1, 0, values));
    Bytes stream = read;
    stream.insert(stream.end(), write.begin(), write.end());
    assembler.Feed(std::span(stream).first(5));
    EXPECT_FALSE(assembler.Next());
    assembler.Feed(std::span(stream).subspan(5));
    auto first = assembler.Next();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->unit, 1);
    EXPECT_EQ(first->pdu, (Bytes{3, 0, 0, 0, 2}));
    auto second = assembler.Next();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->pdu.size(), 6u + 6u);
    EXPECT_FALSE(assembler.Next());
    EXPECT_FALSE(assembler.HasPartial());
}

TEST(RequestAssemblerTest, RtuDropsBadCrcAndTakesUnknownFunctionsAtIdle) {
    RequestAssembler assembler(MessageFraming::kRtu);
    Bytes bad = Frame(*BuildDiagnosticRequest(MessageFraming::kRtu, 1));
    bad[3] ^= 1;
    assembler.Feed(bad);
    EXPECT_FALSE(assembler.Next());
    EXPECT_EQ(assembler.Dropped(), 1u);

    Bytes unknown = {1, 43, 14, 1};
    const std::uint16_t crc = Crc16(unknown);
    unknown.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    unknown.push_back(static_cast<std::uint8_t>(crc >> 8));
    assembler.Feed(unknown);
    EXPECT_FALSE(assembler.Next());
    auto request = assembler.Idle();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->pdu, (Bytes{43, 14, 1}));
}

TEST(RequestAssemblerTest, AsciiChecksLrcAndSkipsNoise) {
    RequestAssembler assembler(MessageFraming::kAscii);
    const std::string text = "xx:010300000001FB\r\n:010300000001FC\r\n";
    assembler.Feed(Bytes(text.begin(), text.end()));
    auto request = assembler.Next();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->pdu, (Bytes{3, 0, 0, 0, 1}));
    EXPECT_FALSE(assembler.Next());
    EXPECT_EQ(assembler.Dropped(), 1u);
}

TEST(RequestAssemblerTest, TcpKeepsTransactionAndRejectsForeignProtocol) {
    RequestAssembler assembler(MessageFraming::kTcp);
    assembler.Feed(Bytes{0x12, 0x34, 0, 0, 0, 6, 9, 3, 0, 1, 0, 2});
    auto request = assembler.Next();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->transactionId, 0x1234);
    EXPECT_EQ(request->unit, 9);
    EXPECT_EQ(request->pdu, (Bytes{3, 0, 1, 0, 2}));
    assembler.Feed(Bytes{0, 1, 0, 7, 0, 6, 9, 3, 0, 1, 0, 2});
    EXPECT_FALSE(assembler.Next());
    EXPECT_TRUE(assembler.Broken());
}

TEST(EncodeAnswerTest, FramesCarryTheirCheckFields) {
    const Bytes pdu = {3, 2, 0x12, 0x34};
    const Bytes tcp = EncodeAnswer(MessageFraming::kTcp, 0xABCD, 1, pdu);
    EXPECT_EQ(tcp, (Bytes{0xAB, 0xCD, 0, 0, 0, 5, 1, 3, 2, 0x12, 0x34}));

    const Bytes rtu = EncodeAnswer(MessageFraming::kRtu, 0, 1, pdu);
    ASSERT_EQ(rtu.size(), 7u);
    const std::uint16_t crc = Crc16(std::span(rtu).first(5));
    EXPECT_EQ(rtu[5], crc & 0xFF);
    EXPECT_EQ(rtu[6], crc >> 8);

    const Bytes ascii = EncodeAnswer(MessageFraming::kAscii, 0, 1, pdu);
    OAsciiMessage message;
    message.SetAnswerLength(static_cast<std::uint16_t>(ascii.size()));
    ASSERT_TRUE(message.StoreAnswer(ascii, 1));
    EXPECT_TRUE(message.IsValid());
    EXPECT_EQ(message.GetWord(0), 0x1234);
}

}  // namespace
}  // namespace velk::plcsim
