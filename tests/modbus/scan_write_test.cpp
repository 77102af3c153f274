// WriteTag: the request forms, access and location checks, engineering-to-raw conversion,
// qualities and failures.
#include <gtest/gtest.h>

#include <bit>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

#include "modbus/scan_engine.h"
#include "model/locks.h"
#include "model/o_analog_data.h"
#include "model/o_binary_data.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using namespace velk::testing;
using Bytes = std::vector<std::uint8_t>;
using Pdus = std::vector<Bytes>;

class ScanWrite : public ::testing::Test {
  protected:
    HRESULT Write(OModbusTag& tag, const Variant& value) {
        return engine.WriteTag(tags.device, tag, value);
    }

    ScanFakeExchange exchange;
    RecordingPoster poster;
    FakeClock clock;
    ScanEngine engine{exchange, poster, clock};
    TestTags tags;
};

TEST_F(ScanWrite, CoilsTakeFunctionFiveWithOnOrOff) {
    OModbusTag& coil = tags.Bit(kOutputCoil, 12);
    EXPECT_EQ(Write(coil, Variant::Bool(true)), S_OK);
    EXPECT_EQ(Write(coil, Variant::Bool(false)), S_OK);
    EXPECT_EQ(Write(coil, Variant::Int32(0x10000)), S_OK);  // made a BOOL first: on
    EXPECT_EQ(exchange.Requests(), (Pdus{Bytes{5, 0, 12, 0xFF, 0x00}, Bytes{5, 0, 12, 0, 0},
                                         Bytes{5, 0, 12, 0xFF, 0x00}}));
    EXPECT_EQ(coil.value, Variant::Bool(true));
}

TEST_F(ScanWrite, SixteenBitRegistersTakeFunctionSix) {
    OModbusTag& asInt = tags.Add(kHoldingRegister, 3);
    OModbusTag& asUInt = tags.Add(kHoldingRegister, 4, VT_UI2);
    OModbusTag& asBool = tags.Add(kHoldingRegister, 5, VT_BOOL);
    EXPECT_EQ(Write(asInt, Variant::Int16(-2)), S_OK);
    EXPECT_EQ(Write(asUInt, Variant::Double(65535.0)), S_OK);
    EXPECT_EQ(Write(asBool, Variant::Bool(true)), S_OK);
    EXPECT_EQ(exchange.Requests(), (Pdus{Bytes{6, 0, 3, 0xFF, 0xFE}, Bytes{6, 0, 4, 0xFF, 0xFF},
                                         Bytes{6, 0, 5, 0xFF, 0xFF}}));
    EXPECT_EQ(exchange.image.holding[3], 0xFFFE);
}

TEST_F(ScanWrite, ThirtyTwoBitValuesTakeFunctionSixteenInTheDeviceWordOrder) {
    OModbusTag& real = tags.Add(kHoldingRegister, 8, VT_R4, 2);
    OModbusTag& asLong = tags.Add(kHoldingRegister, 10, VT_I4, 2);
    OModbusTag& asULong = tags.Add(kHoldingRegister, 12, VT_UI4, 2);
    EXPECT_EQ(Write(real, Variant::Double(1.5)), S_OK);
    EXPECT_EQ(Write(asLong, Variant::Int32(0x12345678)), S_OK);
    EXPECT_EQ(Write(asULong, Variant::UInt32(0xFFFE0001u)), S_OK);
    tags.device.params.wordSwap = 1;
    EXPECT_EQ(Write(real, Variant::Float(1.5f)), S_OK);
    EXPECT_EQ(exchange.Requests(), (Pdus{Bytes{16, 0, 8, 0, 2, 4, 0x00, 0x00, 0x3F, 0xC0},
                                         Bytes{16, 0, 10, 0, 2, 4, 0x56, 0x78, 0x12, 0x34},
                                         Bytes{16, 0, 12, 0, 2, 4, 0x00, 0x01, 0xFF, 0xFE},
                                         Bytes{16, 0, 8, 0, 2, 4, 0x3F, 0xC0, 0x00, 0x00}}));
}

TEST_F(ScanWrite, WhatIsWrittenReadsBackTheSame) {
    OModbusTag& real = tags.Add(kHoldingRegister, 0, VT_R4, 2);
    OModbusTag& wide = tags.Add(kHoldingRegister, 2, VT_R8, 4);
    OModbusTag& text = tags.Add(kHoldingRegister, 6, VT_BSTR, 7);
    for (int swap : {0, 1}) {
        tags.device.params.wordSwap = static_cast<std::int16_t>(swap);
        ASSERT_EQ(Write(real, Variant::Float(-3.25f)), S_OK);
        ASSERT_EQ(Write(wide, Variant::Double(6.02214076e23)), S_OK);
        ASSERT_EQ(Write(text, Variant::Text("Hallo\xC3\xA4")), S_OK);
        real.value = wide.value = text.value = Variant();
        engine.ReadTags(tags.device, tags.list);
        EXPECT_EQ(real.value, Variant::Float(-3.25f));
        EXPECT_EQ(wide.value, Variant::Double(6.02214076e23));
        EXPECT_EQ(text.value, Variant::Text("Hallo\xC3\xA4"));
    }
}

TEST_F(ScanWrite, TextsSendTheirCharactersMadeEvenWithAZeroByte) {
    OModbusTag& text = tags.Add(kHoldingRegister, 20, VT_BSTR, 10);
    OModbusTag& shortTag = tags.Add(kHoldingRegister, 30, VT_BSTR, 2);
    EXPECT_EQ(Write(text, Variant::Text("ABC")), S_OK);
    EXPECT_EQ(Write(shortTag, Variant::Text("XYZ")), S_OK);  // cut to the tag's length
    EXPECT_EQ(Write(text, Variant::Text("")), S_OK);         // one register of zero bytes
    EXPECT_EQ(exchange.Requests(),
              (Pdus{Bytes{16, 0, 20, 0, 2, 4, 0x41, 0x42, 0x43, 0x00},
                    Bytes{16, 0, 30, 0, 1, 2, 0x58, 0x59}, Bytes{16, 0, 20, 0, 1, 2, 0, 0}}));
}

TEST_F(ScanWrite, ALongTextGoesOutInRequestsOfAtMost123Registers) {
    std::string text(300, 'q');
    OModbusTag& tag = tags.Add(kHoldingRegister, 1000, VT_BSTR, 300);
    EXPECT_EQ(Write(tag, Variant::Text(text)), S_OK);
    const Pdus requests = exchange.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(Bytes(requests[0].begin(), requests[0].begin() + 6),
              (Bytes{16, 0x03, 0xE8, 0, 123, 246}));
    EXPECT_EQ(Bytes(requests[1].begin(), requests[1].begin() + 6),
              (Bytes{16, 0x04, 0x63, 0, 27, 54}));
    engine.ReadTags(tags.device, tags.list);
    EXPECT_EQ(tag.value, Variant::Text(text));
}

TEST_F(ScanWrite, ADoubleOnOneRegisterIsASignedSixteenBitNumberAndRefusesMore) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0, VT_R8, 1);
    EXPECT_EQ(Write(tag, Variant::Double(-7.0)), S_OK);
    EXPECT_EQ(exchange.Requests(), (Pdus{Bytes{6, 0, 0, 0xFF, 0xF9}}));
    tag.value = Variant::Double(-7.0);
    EXPECT_EQ(Write(tag, Variant::Double(70000.0)), DISP_E_OVERFLOW);
    EXPECT_EQ(exchange.RequestCount(), 1u);
    EXPECT_EQ(tag.value, Variant::Double(-7.0));
}

TEST_F(ScanWrite, WithoutWriteAccessNothingIsStoredOrSent) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0, VT_I2, 1, kAccessReadable);
    tag.value = Variant::Int16(9);
    tag.quality = kQualityCommFailure;
    EXPECT_EQ(Write(tag, Variant::Int16(1)), kTagNotWritable);
    EXPECT_EQ(exchange.RequestCount(), 0u);
    EXPECT_EQ(tag.value, Variant::Int16(9));
    EXPECT_EQ(tag.quality, kQualityCommFailure);
}

TEST_F(ScanWrite, ReadOnlyLocationsAreRefusedEvenWithWriteAccess) {
    OModbusTag& input = tags.Add(kInputRegister, 0);
    OModbusTag& status = tags.Bit(kInputStatus, 0);
    OModbusTag& signal = tags.Bit(kEventSignal, 0);
    status.accessRights = signal.accessRights = kAccessReadable | kAccessWritable;
    EXPECT_EQ(Write(input, Variant::Int16(1)), kTagNotWritable);
    EXPECT_EQ(Write(status, Variant::Bool(true)), kTagNotWritable);
    EXPECT_EQ(Write(signal, Variant::Bool(true)), kTagNotWritable);
    EXPECT_EQ(exchange.RequestCount(), 0u);
    EXPECT_TRUE(input.value.IsEmpty());
}

TEST_F(ScanWrite, EngineeringValuesAreSentRawAndKeptInEngineeringUnits) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    dynamic_cast<OAnalogData&>(*tag.scaling).conversion = OAnalogData::kLinear;
    EXPECT_EQ(Write(tag, Variant::Double(42.5)), S_OK);
    EXPECT_EQ(exchange.Requests(), (Pdus{Bytes{6, 0, 0, 0x10, 0x9A}}));  // 4250
    EXPECT_EQ(tag.value, Variant::Double(42.5));

    OModbusTag& inverted = tags.Bit(kOutputCoil, 1);
    inverted.scaling->conversion = OBinaryData::kInverted;
    EXPECT_EQ(Write(inverted, Variant::Bool(true)), S_OK);
    EXPECT_EQ(exchange.Requests().back(), (Bytes{5, 0, 1, 0, 0}));
    EXPECT_EQ(inverted.value, Variant::Bool(true));
}

// The tag sheet replaces the scaling object and moves the tag under TagDataLock; a write
// made meanwhile waits for it and is sent by the new definition.
TEST_F(ScanWrite, AWriteDuringATagSheetApplyIsSentByTheNewDefinition) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    dynamic_cast<OAnalogData&>(*tag.scaling).conversion = OAnalogData::kLinear;
    std::future<HRESULT> written;
    {
        std::lock_guard<std::recursive_mutex> sheet(tags.device.Locks().tagData);
        written = std::async(std::launch::async, [&] { return Write(tag, Variant::Double(42.5)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // let the write begin
        auto scaling = std::make_unique<OAnalogData>();
        scaling->conversion = OAnalogData::kLinear;
        scaling->engineeringMaximum = 1000.0;
        tag.scaling = std::move(scaling);  // the old object is destroyed here
        tag.address = 7;
    }
    EXPECT_EQ(written.get(), S_OK);
    EXPECT_EQ(exchange.Requests(), (Pdus{Bytes{6, 0, 7, 0x01, 0xA9}}));  // 425
}

TEST_F(ScanWrite, ConversionErrorsAreReturnedAndNothingIsSent) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    EXPECT_EQ(Write(tag, Variant::Text("abc")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Write(tag, Variant::Int32(40000)), DISP_E_OVERFLOW);
    dynamic_cast<OAnalogData&>(*tag.scaling).conversion = OAnalogData::kLinear;
    EXPECT_EQ(Write(tag, Variant::Text("abc")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(exchange.RequestCount(), 0u);
}

TEST_F(ScanWrite, AGoodWriteIsStampedNowWithGoodQuality) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    tag.quality = kQualityCommFailure;
    EXPECT_EQ(Write(tag, Variant::Int16(5)), S_OK);
    EXPECT_EQ(tag.value, Variant::Int16(5));
    EXPECT_EQ(tag.quality, kQualityGood);
    EXPECT_EQ(tag.timestamp, clock.NowUtc());
}

TEST_F(ScanWrite, AnUnconfirmedWriteKeepsTheValueWithBadQualityAndFails) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    exchange.FailNext();
    EXPECT_EQ(Write(tag, Variant::Int16(5)), E_FAIL);
    EXPECT_EQ(tag.value, Variant::Int16(5));
    EXPECT_EQ(tag.quality, kQualityBad);

    OModbusTag& text = tags.Add(kHoldingRegister, 100, VT_BSTR, 400);
    exchange.ClearRequests();
    exchange.FailRequestIndex(0);
    EXPECT_EQ(Write(text, Variant::Text(std::string(400, 'x'))), E_FAIL);
    EXPECT_EQ(exchange.RequestCount(), 1u);  // the parts after a failure are not sent
    EXPECT_EQ(text.quality, kQualityBad);
}

TEST_F(ScanWrite, AnAddressBeyondTheSpaceFailsWithoutARequest) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 65535, VT_I4, 2);
    EXPECT_EQ(Write(tag, Variant::Int32(1)), E_FAIL);
    EXPECT_EQ(exchange.RequestCount(), 0u);
    EXPECT_EQ(tag.quality, kQualityBad);
}

TEST_F(ScanWrite, InSimulationTheValueIsStoredAndNothingSent) {
    tags.device.simulationEnabled = 1;
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    EXPECT_EQ(Write(tag, Variant::Int16(8)), S_OK);
    EXPECT_EQ(exchange.RequestCount(), 0u);
    EXPECT_EQ(tag.value, Variant::Int16(8));
    EXPECT_EQ(tag.quality, kQualityGood);
}

}  // namespace
}  // namespace velk
