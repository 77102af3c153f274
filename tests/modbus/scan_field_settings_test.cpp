// The field settings of a device in the scan engine: block limits and gaps, the write
// function codes, and the back-off of a device that stopped answering.
#include <gtest/gtest.h>

#include <vector>

#include "modbus/scan_engine.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using namespace velk::testing;
using Pdus = std::vector<std::vector<std::uint8_t>>;

class ScanFieldSettings : public ::testing::Test {
  protected:
    void Read() { engine.ReadTags(tags.device, tags.list); }

    ScanFakeExchange exchange;
    RecordingPoster poster;
    FakeClock clock;
    ScanEngine engine{exchange, poster, clock};
    TestTags tags;
};

TEST_F(ScanFieldSettings, BlockLimitsAndGaps) {
    struct Case {
        const char* what;
        std::int32_t registers, bits, gap;
        std::vector<std::uint16_t> registerTags, coilTags;
        Pdus expected;
    };
    const std::vector<Case> cases = {
        {"60 registers per read",
         60,
         495,
         -1,
         {0, 20, 40, 59, 60},
         {},
         {ReadPdu(3, 0, 60), ReadPdu(3, 60, 1)}},
        {"16 bits per read", 123, 16, -1, {}, {0, 15, 16}, {ReadPdu(1, 0, 16), ReadPdu(1, 16, 1)}},
        {"gap 0 joins adjacent tags only",
         123,
         495,
         0,
         {0, 1, 3},
         {},
         {ReadPdu(3, 0, 2), ReadPdu(3, 3, 1)}},
        {"gap 40 joins beyond the usual 25",
         123,
         495,
         40,
         {0, 41, 83},
         {},
         {ReadPdu(3, 0, 42), ReadPdu(3, 83, 1)}},
        {"gap 5 in bits", 123, 495, 5, {}, {0, 6, 13}, {ReadPdu(1, 0, 7), ReadPdu(1, 13, 1)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestTags set;
        set.device.params.maxReadRegisters = c.registers;
        set.device.params.maxReadBits = c.bits;
        set.device.params.maxBlockGap = c.gap;
        for (std::uint16_t a : c.registerTags) set.Add(kHoldingRegister, a);
        for (std::uint16_t a : c.coilTags) set.Bit(kOutputCoil, a);
        exchange.ClearRequests();
        engine.ReadTags(set.device, set.list);
        EXPECT_EQ(exchange.Requests(), c.expected);
    }
}

TEST_F(ScanFieldSettings, ALongTextIsReadInPartsOfTheRegisterLimit) {
    tags.device.params.maxReadRegisters = 60;
    OModbusTag& text = tags.Add(kHoldingRegister, 100, VT_BSTR, 250);
    for (int k = 0; k < 125; ++k) exchange.image.holding[100 + k] = 0x4142;
    Read();
    EXPECT_EQ(exchange.Requests(),
              (Pdus{ReadPdu(3, 100, 60), ReadPdu(3, 160, 60), ReadPdu(3, 220, 5)}));
    EXPECT_EQ(text.quality, kQualityGood);
}

TEST_F(ScanFieldSettings, SingleWritesTakeTheForcedFunctionCodes) {
    tags.device.params.forceMultipleRegisterWrite = 1;
    tags.device.params.forceMultipleCoilWrite = 1;
    OModbusTag& coil = tags.Bit(kOutputCoil, 7);
    OModbusTag& reg = tags.Add(kHoldingRegister, 9, VT_UI2);
    OModbusTag& small = tags.Add(kHoldingRegister, 11, VT_R8);
    ASSERT_EQ(engine.WriteTag(tags.device, coil, Variant::Bool(true)), S_OK);
    ASSERT_EQ(engine.WriteTag(tags.device, reg, Variant::UInt16(0x1234)), S_OK);
    ASSERT_EQ(engine.WriteTag(tags.device, small, Variant::Double(-2.0)), S_OK);
    EXPECT_EQ(exchange.Requests(), (Pdus{{15, 0, 7, 0, 1, 1, 1},
                                         {16, 0, 9, 0, 1, 2, 0x12, 0x34},
                                         {16, 0, 11, 0, 1, 2, 0xFF, 0xFE}}));
    EXPECT_EQ(exchange.image.coils[7], 0xFFFF);
    EXPECT_EQ(exchange.image.holding[9], 0x1234);
}

TEST_F(ScanFieldSettings, ADeadDeviceIsPolledOnceInItsBackoffCyclesUntilItAnswers) {
    tags.device.params.backoffFailures = 3;
    tags.device.params.backoffCycles = 4;
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    exchange.image.holding[0] = 77;
    std::vector<int> sent;
    auto cycle = [&] {
        const std::size_t before = exchange.RequestCount();
        Read();
        clock.Advance(1000);
        sent.push_back(static_cast<int>(exchange.RequestCount() - before));
    };
    exchange.FailNext(1000);
    for (int n = 0; n < 11; ++n) cycle();
    // Three failures, then one cycle in four on the wire.
    EXPECT_EQ(sent, (std::vector<int>{1, 1, 1, 0, 0, 0, 1, 0, 0, 0, 1}));
    EXPECT_EQ(tag.quality, kQualityCommFailure);
    EXPECT_TRUE(engine.Backoff().BackedOff(tags.device));

    // The device answers again at its next cycle on the wire: back to every cycle.
    exchange.FailNext(0);
    sent.clear();
    for (int n = 0; n < 6; ++n) cycle();
    EXPECT_EQ(sent, (std::vector<int>{0, 0, 0, 1, 1, 1}));
    EXPECT_EQ(tag.value, Variant::Int16(77));
    EXPECT_EQ(tag.quality, kQualityGood);
    EXPECT_FALSE(engine.Backoff().BackedOff(tags.device));
}

TEST_F(ScanFieldSettings, ARequestThatCannotBeFormedIsNoFailureForTheBackoff) {
    tags.device.params.backoffFailures = 1;
    tags.Add(kHoldingRegister, 65535, VT_UI4, 2);  // beyond the register space: no request
    tags.Add(kInputRegister, 3);
    for (int n = 0; n < 3; ++n) Read();
    EXPECT_EQ(exchange.RequestCount(), 3u);
}

}  // namespace
}  // namespace velk
