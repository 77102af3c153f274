// Tag byte orders, 64-bit integers and register bits read and written by the scan engine
// over the real TCP channel against a libmodbus slave on loopback.
#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <memory>

#include "modbus/channel_settings.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/device_channels.h"
#include "modbus/scan_engine.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "tests/modbus/scan_libmodbus_slave.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"
#include "tests/support/memory_settings_store.h"
#include "tests/support/recording_exchange_observer.h"

namespace velk {
namespace {

using namespace velk::testing;
using Bytes = std::vector<std::uint8_t>;
using Words = std::vector<std::uint16_t>;

class ScanFieldPeer : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(slave.Start());
        ODevice& device = tags.device;
        device.params.modbusTcp = 1;
        device.params.primaryIpAddress = device.params.secondaryIpAddress = "127.0.0.1";
        settings.CreateKey(kTcpPortsKey);
        settings.WriteValue(kTcpPortsKey, "127.0.0.1",
                            RegValue::Dword(static_cast<std::uint32_t>(slave.Port())));
        channels.SetRunning(true);
    }
    void SetHolding(std::uint16_t at, const Words& words) {
        for (std::size_t k = 0; k < words.size(); ++k)
            slave.Mapping()->tab_registers[at + k] = words[k];
    }
    Words Holding(std::uint16_t at, std::size_t count) {
        return Words(slave.Mapping()->tab_registers + at,
                     slave.Mapping()->tab_registers + at + count);
    }

    LibmodbusSlave slave{300};
    FakeClock clock;
    RecordingExchangeObserver observer;
    RecordingPoster poster;
    MemorySettingsStore settings;
    TestTags tags;
    DeviceChannels channels{
        tags.device, ChannelServices{clock, observer, nullptr, &sockets, nullptr, &settings}};
    DeviceChannelExchange exchange{[this](ODevice&) { return &channels; }, &observer};
    ScanEngine engine{exchange, poster, clock};
    PosixTcpSockets sockets{2000, 2000};
};

// The same numbers in every byte order: read from the registers, and written back to them.
TEST_F(ScanFieldPeer, EveryByteOrderReadsAndWritesItsPattern) {
    struct Case {
        std::int16_t order;
        Words long32;  // 0x11223344
        Words long64;  // 0x0102030405060708
        Words text;    // "ABCD"
    };
    const Case cases[] = {
        {kByteOrderABCD, {0x1122, 0x3344}, {0x0102, 0x0304, 0x0506, 0x0708}, {0x4142, 0x4344}},
        {kByteOrderCDAB, {0x3344, 0x1122}, {0x0708, 0x0506, 0x0304, 0x0102}, {0x4142, 0x4344}},
        {kByteOrderBADC, {0x2211, 0x4433}, {0x0201, 0x0403, 0x0605, 0x0807}, {0x4241, 0x4443}},
        {kByteOrderDCBA, {0x4433, 0x2211}, {0x0807, 0x0605, 0x0403, 0x0201}, {0x4241, 0x4443}},
    };
    OModbusTag& asLong = tags.Add(kHoldingRegister, 0, VT_UI4, 2);
    OModbusTag& asReal = tags.Add(kHoldingRegister, 2, VT_R4, 2);
    OModbusTag& asLLong = tags.Add(kHoldingRegister, 4, VT_UI8, 4);
    OModbusTag& text = tags.Add(kHoldingRegister, 8, VT_BSTR, 4);
    const float real = std::bit_cast<float>(0x11223344u);
    for (const Case& c : cases) {
        SCOPED_TRACE(ByteOrderName(c.order));
        // The tag's own order wins over the device's Word Swap either way.
        tags.device.params.wordSwap = c.order == kByteOrderCDAB ? 1 : 0;
        for (OModbusTag* tag : tags.list) tag->byteOrder = c.order;
        SetHolding(0, c.long32);
        SetHolding(2, c.long32);
        SetHolding(4, c.long64);
        SetHolding(8, c.text);
        engine.ReadTags(tags.device, tags.list);
        EXPECT_EQ(asLong.value, Variant::UInt32(0x11223344u));
        EXPECT_EQ(asReal.value, Variant::Float(real));
        EXPECT_EQ(asLLong.value, Variant::UInt64(0x0102030405060708u));
        EXPECT_EQ(text.value, Variant::Text("ABCD"));

        SetHolding(0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
        EXPECT_EQ(engine.WriteTag(tags.device, asLong, Variant::UInt32(0x11223344u)), S_OK);
        EXPECT_EQ(engine.WriteTag(tags.device, asReal, Variant::Float(real)), S_OK);
        EXPECT_EQ(engine.WriteTag(tags.device, asLLong, Variant::UInt64(0x0102030405060708u)),
                  S_OK);
        EXPECT_EQ(engine.WriteTag(tags.device, text, Variant::Text("ABCD")), S_OK);
        EXPECT_EQ(Holding(0, 2), c.long32);
        EXPECT_EQ(Holding(2, 2), c.long32);
        EXPECT_EQ(Holding(4, 4), c.long64);
        EXPECT_EQ(Holding(8, 2), c.text);
    }
}

TEST_F(ScanFieldPeer, TagsWithoutAnOrderFollowTheDeviceWordSwap) {
    OModbusTag& value = tags.Add(kHoldingRegister, 0, VT_I8, 4);
    SetHolding(0, {0x0001, 0x0000, 0x0000, 0x0000});
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(value.value, Variant::Int64(1));  // least significant word first
    tags.device.params.wordSwap = 1;
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(value.value, Variant::Int64(std::int64_t{1} << 48));
}

TEST_F(ScanFieldPeer, SixtyFourBitValuesAtTheirLimits) {
    tags.device.params.wordSwap = 1;
    OModbusTag& signedTag = tags.Add(kHoldingRegister, 0, VT_I8, 4);
    OModbusTag& unsignedTag = tags.Add(kHoldingRegister, 4, VT_UI8, 4);
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kUMax = std::numeric_limits<std::uint64_t>::max();
    // Texts as a client writes them: converted exactly, not through a double.
    const struct {
        OModbusTag* tag;
        Variant written;
        Variant read;
        Words registers;
    } cases[] = {
        {&signedTag,
         Variant::Text("9223372036854775807"),
         Variant::Int64(kMax),
         {0x7FFF, 0xFFFF, 0xFFFF, 0xFFFF}},
        {&signedTag, Variant::Int64(kMin), Variant::Int64(kMin), {0x8000, 0, 0, 0}},
        {&signedTag, Variant::Int16(-1), Variant::Int64(-1), {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
        {&unsignedTag,
         Variant::Text("18446744073709551615"),
         Variant::UInt64(kUMax),
         {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}},
        {&unsignedTag,
         Variant::Text("9007199254740993"),
         Variant::UInt64(9007199254740993u),
         {0x0020, 0x0000, 0x0000, 0x0001}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written.ToText());
        ASSERT_EQ(engine.WriteTag(tags.device, *c.tag, c.written), S_OK);
        EXPECT_EQ(Holding(c.tag->address, 4), c.registers);
        c.tag->value = Variant();
        engine.ReadTags(tags.device, tags.list);
        EXPECT_EQ(c.tag->value, c.read);
    }
    // Out of range: refused before anything goes out.
    const std::size_t before = slave.Requests().size();
    EXPECT_EQ(engine.WriteTag(tags.device, unsignedTag, Variant::Int16(-1)), DISP_E_OVERFLOW);
    EXPECT_EQ(engine.WriteTag(tags.device, signedTag, Variant::Text("9223372036854775808")),
              DISP_E_OVERFLOW);
    EXPECT_EQ(slave.Requests().size(), before);
}

OModbusTag& AddBit(TestTags& tags, std::int32_t kind, std::uint16_t address, std::int16_t bit) {
    OModbusTag& tag = tags.Bit(kind, address);
    tag.registerBit = bit;
    return tag;
}

TEST_F(ScanFieldPeer, RegisterBitsShareTheRegistersBlockAndWriteOnlyTheirBit) {
    OModbusTag& word = tags.Add(kHoldingRegister, 50, VT_UI2);
    OModbusTag& bit0 = AddBit(tags, kHoldingRegister, 50, 0);
    OModbusTag& bit1 = AddBit(tags, kHoldingRegister, 50, 1);
    OModbusTag& bit15 = AddBit(tags, kHoldingRegister, 50, 15);
    OModbusTag& inputBit = AddBit(tags, kInputRegister, 7, 4);
    SetHolding(50, {0x8001});
    slave.Mapping()->tab_input_registers[7] = 0x0010;
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(word.value, Variant::UInt16(0x8001));
    EXPECT_EQ(bit0.value, Variant::Bool(true));
    EXPECT_EQ(bit1.value, Variant::Bool(false));
    EXPECT_EQ(bit15.value, Variant::Bool(true));
    EXPECT_EQ(inputBit.value, Variant::Bool(true));
    // One request for the input register, one for the holding register and its bits.
    EXPECT_EQ(slave.Requests(),
              (std::vector<Bytes>{{0x04, 0x00, 0x07, 0x00, 0x01}, {0x03, 0x00, 0x32, 0x00, 0x01}}));

    // The controller changed another bit since the read: the write keeps it.
    SetHolding(50, {0x8005});
    EXPECT_EQ(engine.WriteTag(tags.device, bit1, Variant::Bool(true)), S_OK);
    EXPECT_EQ(Holding(50, 1), Words{0x8007});
    EXPECT_EQ(engine.WriteTag(tags.device, bit15, Variant::Bool(false)), S_OK);
    EXPECT_EQ(Holding(50, 1), Words{0x0007});
    const auto requests = slave.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[2], (Bytes{0x03, 0x00, 0x32, 0x00, 0x01}));
    EXPECT_EQ(requests[3], (Bytes{0x06, 0x00, 0x32, 0x80, 0x07}));
    EXPECT_EQ(requests[5], (Bytes{0x06, 0x00, 0x32, 0x00, 0x07}));
    EXPECT_EQ(engine.WriteTag(tags.device, inputBit, Variant::Bool(false)), kTagNotWritable);
}

TEST_F(ScanFieldPeer, ADeviceThatAllowsMaskWritesGetsOneRequestPerBit) {
    tags.device.params.maskWrite = 1;
    OModbusTag& bit2 = AddBit(tags, kHoldingRegister, 60, 2);
    OModbusTag& bit8 = AddBit(tags, kHoldingRegister, 60, 8);
    SetHolding(60, {0xF00F});
    EXPECT_EQ(engine.WriteTag(tags.device, bit2, Variant::Bool(false)), S_OK);
    EXPECT_EQ(engine.WriteTag(tags.device, bit8, Variant::Bool(true)), S_OK);
    EXPECT_EQ(Holding(60, 1), Words{0xF10B});
    EXPECT_EQ(slave.Requests(), (std::vector<Bytes>{{0x16, 0x00, 0x3C, 0xFF, 0xFB, 0x00, 0x00},
                                                    {0x16, 0x00, 0x3C, 0xFE, 0xFF, 0x01, 0x00}}));
}

TEST_F(ScanFieldPeer, ADeviceForcedToFunction16WritesItsBitsBackWithIt) {
    // Function 16 for the write back of a bit; a mask write still goes out as function 22.
    tags.device.params.forceMultipleRegisterWrite = 1;
    OModbusTag& bit3 = AddBit(tags, kHoldingRegister, 70, 3);
    SetHolding(70, {0x1200});
    EXPECT_EQ(engine.WriteTag(tags.device, bit3, Variant::Bool(true)), S_OK);
    EXPECT_EQ(Holding(70, 1), Words{0x1208});
    tags.device.params.maskWrite = 1;
    EXPECT_EQ(engine.WriteTag(tags.device, bit3, Variant::Bool(false)), S_OK);
    EXPECT_EQ(Holding(70, 1), Words{0x1200});
    EXPECT_EQ(slave.Requests(),
              (std::vector<Bytes>{{0x03, 0x00, 0x46, 0x00, 0x01},
                                  {0x10, 0x00, 0x46, 0x00, 0x01, 0x02, 0x12, 0x08},
                                  {0x16, 0x00, 0x46, 0xFF, 0xF7, 0x00, 0x00}}));
}

}  // namespace
}  // namespace velk
