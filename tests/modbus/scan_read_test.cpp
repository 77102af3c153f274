// ReadTags: block building (the exact requests), decoding by kind and type, scaling, time
// stamps, qualities, alarm evaluation and the locking around exchanges.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <future>
#include <thread>
#include <utility>
#include <vector>

#include "modbus/scan_engine.h"
#include "model/locks.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"
#include "tests/support/lock_probe.h"

namespace velk {
namespace {

using namespace velk::testing;
using Pdus = std::vector<std::vector<std::uint8_t>>;

class ScanRead : public ::testing::Test {
  protected:
    void Read() { engine.ReadTags(tags.device, tags.list); }

    // Two overlapping reads: the first has its answer (or failure) but cannot store it until a
    // second read, made by `second` under TagDataLock, has stored its own.
    void OverlapTwoReads(const std::function<void()>& second) {
        std::promise<void> firstAsked, firstAnswered, letFirstAnswer;
        std::shared_future<void> go = letFirstAnswer.get_future().share();
        std::atomic<int> calls{0};
        exchange.beforeAnswer = [&](ODevice&, const OMessage&) {
            if (calls++ != 0) return;
            firstAsked.set_value();
            go.wait();
        };
        std::atomic<int> answers{0};
        exchange.afterAnswer = [&](ODevice&, const OMessage&) {
            if (answers++ == 0) firstAnswered.set_value();
        };
        std::thread first([&] { Read(); });
        firstAsked.get_future().wait();
        {
            std::lock_guard<std::recursive_mutex> hold(tags.device.Locks().tagData);
            letFirstAnswer.set_value();
            firstAnswered.get_future().wait();
            second();
        }
        first.join();
    }

    ScanFakeExchange exchange;
    RecordingPoster poster;
    FakeClock clock;
    ScanEngine engine{exchange, poster, clock};
    TestTags tags;
};

// --- blocks --------------------------------------------------------------------------

TEST_F(ScanRead, RegistersWithinTheGapShareABlockAndAFarOneOpensTheNext) {
    for (std::uint16_t a : {0, 10, 40}) tags.Add(kHoldingRegister, a);
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 0, 11), ReadPdu(3, 40, 1)}));
}

TEST_F(ScanRead, RegisterGapOf24JoinsAndOf25Splits) {
    for (std::uint16_t a : {0, 24, 49}) tags.Add(kInputRegister, a);
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(4, 0, 25), ReadPdu(4, 49, 1)}));
}

TEST_F(ScanRead, CoilGapOf99JoinsAndOf100Splits) {
    tags.Bit(kOutputCoil, 0);
    tags.Bit(kOutputCoil, 99);
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(1, 0, 100)}));

    TestTags apart;
    apart.Bit(kInputStatus, 0);
    apart.Bit(kInputStatus, 100);
    exchange.ClearRequests();
    engine.ReadTags(apart.device, apart.list);
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(2, 0, 1), ReadPdu(2, 100, 1)}));
}

TEST_F(ScanRead, TesseraControllersTakeGapsBelowTwoOnly) {
    tags.device.params.deviceType = 2;
    for (std::uint16_t a : {0, 1, 3}) tags.Add(kHoldingRegister, a);
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 0, 2), ReadPdu(3, 3, 1)}));
}

TEST_F(ScanRead, RegisterBlocksStopBeforeTheirEndReaches124) {
    for (std::uint16_t a : {0, 20, 40, 60, 80, 100, 120, 123}) tags.Add(kHoldingRegister, a);
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 0, 121), ReadPdu(3, 123, 1)}));

    TestTags full;
    for (std::uint16_t a : {0, 20, 40, 60, 80, 100, 120, 122}) full.Add(kHoldingRegister, a);
    exchange.ClearRequests();
    engine.ReadTags(full.device, full.list);
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 0, 123)}));
}

TEST_F(ScanRead, BitBlocksReadAtMost495Bits) {
    for (std::uint16_t a : {0, 99, 198, 297, 396, 494, 495}) tags.Bit(kOutputCoil, a);
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(1, 0, 495), ReadPdu(1, 495, 1)}));
}

TEST_F(ScanRead, KindsFormTheirOwnBlocksAndEventSignalsAreLeftToTheEventScan) {
    tags.Bit(kInputStatus, 3);
    tags.Bit(kOutputCoil, 3);
    tags.Add(kInputRegister, 3);
    tags.Add(kHoldingRegister, 3);
    OModbusTag& signal = tags.Bit(kEventSignal, 3);
    Read();
    EXPECT_EQ(exchange.Requests(),
              (Pdus{ReadPdu(2, 3, 1), ReadPdu(1, 3, 1), ReadPdu(4, 3, 1), ReadPdu(3, 3, 1)}));
    EXPECT_EQ(signal.quality, kQualityUncertain);
}

TEST_F(ScanRead, SpansOfWideTypesAndTextsSetTheCount) {
    tags.Add(kHoldingRegister, 0, VT_BSTR, 5);    // 3 registers
    tags.Add(kHoldingRegister, 4, VT_I4, 2);      // ends at 6
    tags.Add(kHoldingRegister, 30, VT_BSTR, 20);  // 10 registers
    tags.Add(kHoldingRegister, 32, VT_I2, 1);     // inside the text: the count stays 10
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 0, 6), ReadPdu(3, 30, 10)}));
}

TEST_F(ScanRead, TagsAtOneAddressAreReadOnceAndBothUpdated) {
    exchange.image.holding[7] = 42;
    OModbusTag& a = tags.Add(kHoldingRegister, 7);
    OModbusTag& b = tags.Add(kHoldingRegister, 7, VT_UI2);
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 7, 1)}));
    EXPECT_EQ(a.value, Variant::Int16(42));
    EXPECT_EQ(b.value, Variant::UInt16(42));
}

TEST_F(ScanRead, AReadProtectedTagBetweenTwoReadableOnesKeepsTheBlockAndItsState) {
    exchange.image.holding[0] = 1;
    exchange.image.holding[5] = 5;
    exchange.image.holding[10] = 10;
    OModbusTag& first = tags.Add(kHoldingRegister, 0);
    OModbusTag& hidden = tags.Add(kHoldingRegister, 5, VT_I2, 1, kAccessWritable);
    OModbusTag& last = tags.Add(kHoldingRegister, 10);
    hidden.value = Variant::Int16(-3);
    hidden.quality = kQualityCommFailure;
    hidden.timestamp = 77;
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 0, 11)}));
    EXPECT_EQ(first.value, Variant::Int16(1));
    EXPECT_EQ(last.value, Variant::Int16(10));
    EXPECT_EQ(hidden.value, Variant::Int16(-3));
    EXPECT_EQ(hidden.quality, kQualityCommFailure);
    EXPECT_EQ(hidden.timestamp, 77u);
}

TEST_F(ScanRead, AProtectedTagDoesNotCountAsThePreviousTagForTheGap) {
    tags.Add(kHoldingRegister, 0);
    tags.Add(kHoldingRegister, 20, VT_I2, 1, 0);
    tags.Add(kHoldingRegister, 30);  // 30 from the last readable tag
    Read();
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 0, 1), ReadPdu(3, 30, 1)}));
}

TEST_F(ScanRead, AListOutOfOrderStartsANewBlockInsteadOfReadingBelowItsStart) {
    OModbusTag& high = tags.Add(kHoldingRegister, 10);
    OModbusTag& low = tags.Add(kHoldingRegister, 4);
    TagList reversed{&high, &low};
    exchange.image.holding[4] = 4;
    exchange.image.holding[10] = 10;
    engine.ReadTags(tags.device, reversed);
    EXPECT_EQ(exchange.Requests(), (Pdus{ReadPdu(3, 10, 1), ReadPdu(3, 4, 1)}));
    EXPECT_EQ(low.value, Variant::Int16(4));
}

TEST_F(ScanRead, RequestsCarryTheSlaveAddress) {
    tags.device.params.slaveAddress = 17;
    tags.Add(kHoldingRegister, 0);
    std::uint8_t unit = 0;
    exchange.beforeAnswer = [&](ODevice&, const OMessage& m) { unit = m.GetSlave(); };
    Read();
    EXPECT_EQ(unit, 17);
}

TEST_F(ScanRead, AnEmptyListSendsNothing) {
    Read();
    EXPECT_EQ(exchange.RequestCount(), 0u);
}

// --- long texts ----------------------------------------------------------------------

TEST_F(ScanRead, ATextLongerThanOneRequestIsReadInParts) {
    std::string text;
    for (int n = 0; n < 300; ++n) text.push_back(static_cast<char>('A' + n % 26));
    for (std::size_t k = 0; k < text.size(); k += 2)
        exchange.image.holding[100 + k / 2] =
            static_cast<std::uint16_t>(text[k] << 8 | text[k + 1]);
    OModbusTag& tag = tags.Add(kHoldingRegister, 100, VT_BSTR, 300);
    OModbusTag& after = tags.Add(kHoldingRegister, 260);
    Read();
    EXPECT_EQ(exchange.Requests(),
              (Pdus{ReadPdu(3, 100, 123), ReadPdu(3, 223, 27), ReadPdu(3, 260, 1)}));
    EXPECT_EQ(tag.value, Variant::Text(text));
    EXPECT_EQ(tag.quality, kQualityGood);
    EXPECT_EQ(after.quality, kQualityGood);
}

TEST_F(ScanRead, ALongTextWithOneFailedPartKeepsItsValueWithBadQuality) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0, VT_BSTR, 400);
    tag.value = Variant::Text("old");
    exchange.FailRequestIndex(1);
    Read();
    EXPECT_EQ(exchange.RequestCount(), 2u);  // the rest is not asked for
    EXPECT_EQ(tag.value, Variant::Text("old"));
    EXPECT_EQ(tag.quality, kQualityCommFailure);
}

// --- decoding ------------------------------------------------------------------------

TEST_F(ScanRead, ThirtyTwoBitValuesFollowTheWordOrder) {
    exchange.image.holding[5] = 0x1234;
    exchange.image.holding[6] = 0x5678;
    exchange.image.holding[7] = 0x0000;
    exchange.image.holding[8] = 0x3F80;
    exchange.image.holding[9] = 0xFFFF;
    exchange.image.holding[10] = 0xFFFE;
    OModbusTag& asLong = tags.Add(kHoldingRegister, 5, VT_I4, 2);
    OModbusTag& asReal = tags.Add(kHoldingRegister, 7, VT_R4, 2);
    OModbusTag& asULong = tags.Add(kHoldingRegister, 9, VT_UI4, 2);
    Read();
    EXPECT_EQ(asLong.value, Variant::Int32(0x56781234));
    EXPECT_EQ(asReal.value, Variant::Float(1.0f));
    EXPECT_EQ(asULong.value, Variant::UInt32(0xFFFEFFFFu));

    tags.device.params.wordSwap = 1;
    exchange.image.holding[7] = 0x3F80;
    exchange.image.holding[8] = 0x0000;
    exchange.image.holding[9] = 0x8000;
    exchange.image.holding[10] = 0x0001;
    Read();
    EXPECT_EQ(asLong.value, Variant::Int32(0x12345678));
    EXPECT_EQ(asReal.value, Variant::Float(1.0f));
    EXPECT_EQ(asULong.value, Variant::UInt32(0x80000001u));
}

TEST_F(ScanRead, SignedLongsAndSixteenBitTypes) {
    exchange.image.input[0] = 0xFFFF;
    exchange.image.input[1] = 0xFFFF;
    exchange.image.input[2] = 0x8000;
    exchange.image.input[3] = 0x8000;
    exchange.image.input[4] = 0x0002;
    exchange.image.input[5] = 0x0000;
    OModbusTag& asLong = tags.Add(kInputRegister, 0, VT_I4, 2);
    OModbusTag& asInt = tags.Add(kInputRegister, 2, VT_I2);
    OModbusTag& asUInt = tags.Add(kInputRegister, 3, VT_UI2);
    OModbusTag& boolSet = tags.Add(kInputRegister, 4, VT_BOOL);
    OModbusTag& boolClear = tags.Add(kInputRegister, 5, VT_BOOL);
    Read();
    EXPECT_EQ(asLong.value, Variant::Int32(-1));
    EXPECT_EQ(asInt.value, Variant::Int16(-32768));
    EXPECT_EQ(asUInt.value, Variant::UInt16(0x8000));
    EXPECT_EQ(boolSet.value, Variant::Bool(true));
    EXPECT_EQ(boolClear.value, Variant::Bool(false));
}

TEST_F(ScanRead, TextsComeHighByteFirstCutToTheirLength) {
    exchange.image.holding[0] = 0x4142;
    exchange.image.holding[1] = 0x4344;
    exchange.image.holding[2] = 0x4500;
    exchange.image.holding[3] = 0x5859;  // beyond the tag
    exchange.image.holding[10] = 0x4142;
    exchange.image.holding[11] = 0x0043;  // a zero byte ends the text
    exchange.image.holding[20] = 0x4142;
    exchange.image.holding[21] = 0x4344;
    exchange.image.holding[30] = 0xE941;  // Latin-1 e acute
    OModbusTag& five = tags.Add(kHoldingRegister, 0, VT_BSTR, 5);
    OModbusTag& stopped = tags.Add(kHoldingRegister, 10, VT_BSTR, 4);
    OModbusTag& cut = tags.Add(kHoldingRegister, 20, VT_BSTR, 3);
    OModbusTag& latin = tags.Add(kHoldingRegister, 30, VT_BSTR, 2);
    Read();
    EXPECT_EQ(five.value, Variant::Text("ABCDE"));
    EXPECT_EQ(stopped.value, Variant::Text("AB"));
    EXPECT_EQ(cut.value, Variant::Text("ABC"));
    EXPECT_EQ(latin.value, Variant::Text("\xC3\xA9"
                                         "A"));
}

TEST_F(ScanRead, BitsReadAsBooleansWhateverTheType) {
    exchange.image.coils[3] = 1;
    exchange.image.discretes[9] = 1;
    OModbusTag& coil = tags.Bit(kOutputCoil, 3);
    OModbusTag& clear = tags.Bit(kOutputCoil, 4);
    OModbusTag& input = tags.Add(kInputStatus, 9, VT_I2);
    Read();
    EXPECT_EQ(coil.value, Variant::Bool(true));
    EXPECT_EQ(clear.value, Variant::Bool(false));
    EXPECT_EQ(input.value, Variant::Bool(true));
}

TEST_F(ScanRead, DoublesOverFourRegistersKeepEveryBitInTheDeviceWordOrder) {
    const double x = -1234.5678901234;
    const auto bits = std::bit_cast<std::uint64_t>(x);
    for (int k = 0; k < 4; ++k)
        exchange.image.holding[k] = static_cast<std::uint16_t>(bits >> (16 * k));
    for (int k = 0; k < 4; ++k)
        exchange.image.holding[10 + k] = static_cast<std::uint16_t>(bits >> (16 * (3 - k)));
    exchange.image.holding[20] = 0xFFFE;
    OModbusTag& wide = tags.Add(kHoldingRegister, 0, VT_R8, 4);
    OModbusTag& narrow = tags.Add(kHoldingRegister, 20, VT_R8, 1);
    Read();
    EXPECT_EQ(wide.value, Variant::Double(x));
    EXPECT_EQ(narrow.value, Variant::Double(-2.0));

    tags.device.params.wordSwap = 1;
    TagList swapped{&tags.Add(kHoldingRegister, 10, VT_R8, 4)};
    engine.ReadTags(tags.device, swapped);
    EXPECT_EQ(swapped[0]->value, Variant::Double(x));
}

TEST_F(ScanRead, TheScalingTurnsRawIntoEngineeringUnits) {
    exchange.image.holding[0] = 2500;
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    auto& scaling = dynamic_cast<OAnalogData&>(*tag.scaling);
    scaling.conversion = OAnalogData::kLinear;
    Read();
    EXPECT_EQ(tag.value, Variant::Double(25.0));
}

// --- stamps, qualities, alarms -------------------------------------------------------

TEST_F(ScanRead, AGoodAnswerStampsItsOwnTimeAndGoodQuality) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    Read();
    EXPECT_EQ(tag.quality, kQualityGood);
    EXPECT_EQ(tag.timestamp, ScanFakeExchange::kAnswerTime);
    EXPECT_NE(tag.timestamp, clock.NowUtc());
}

TEST_F(ScanRead, AFailedBlockMarksOnlyItsTagsBadAndKeepsTheirValues) {
    exchange.image.holding[0] = 11;
    exchange.image.holding[50] = 22;
    OModbusTag& failed = tags.Add(kHoldingRegister, 0);
    OModbusTag& good = tags.Add(kHoldingRegister, 50);
    failed.value = Variant::Int16(-1);
    failed.quality = kQualityGood;
    failed.timestamp = 5;
    exchange.FailNext();
    Read();
    EXPECT_EQ(failed.value, Variant::Int16(-1));
    EXPECT_EQ(failed.quality, kQualityCommFailure);
    EXPECT_EQ(failed.timestamp, 5u);
    EXPECT_EQ(good.value, Variant::Int16(22));
    EXPECT_EQ(good.quality, kQualityGood);

    Read();  // a later good read restores the quality
    EXPECT_EQ(failed.value, Variant::Int16(11));
    EXPECT_EQ(failed.quality, kQualityGood);
}

TEST_F(ScanRead, ARequestThatCannotBeFormedFailsItsBlock) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 65535, VT_I4, 2);  // beyond the space
    Read();
    EXPECT_EQ(exchange.RequestCount(), 0u);
    EXPECT_EQ(tag.quality, kQualityCommFailure);
}

TEST_F(ScanRead, AlarmsAreEvaluatedForFreshValuesOnlyWhenEnabled) {
    OModbusTag& alarmed = tags.Add(kHoldingRegister, 0);
    OModbusTag& quiet = tags.Add(kHoldingRegister, 1);
    auto& alarm = dynamic_cast<OAnalogAlarm&>(*alarmed.alarm);
    alarm.enableFlags = OAnalogAlarm::kHighBit;
    alarm.levelLimit[OAnalogAlarm::kHigh] = 100;
    dynamic_cast<OAnalogAlarm&>(*quiet.alarm).levelLimit[OAnalogAlarm::kHigh] = 100;
    exchange.image.holding[0] = 150;
    exchange.image.holding[1] = 150;
    Read();
    ASSERT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(poster.events[0]->tag, &alarmed);
    EXPECT_EQ(poster.events[0]->active, 1);
    EXPECT_EQ(alarmed.alarmState, OAnalogAlarm::kHighBit);

    exchange.image.holding[0] = 50;
    exchange.FailNext();
    Read();  // no value, no evaluation
    EXPECT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(alarmed.alarmState, OAnalogAlarm::kHighBit);
    Read();
    EXPECT_EQ(alarmed.alarmState, 0);
}

TEST_F(ScanRead, ADeviceInSimulationSendsNothingAndSimulates) {
    tags.device.simulationEnabled = 1;
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    tag.simulationKind = kSimulationRamp;
    tag.rampCounter = 41;
    Read();
    EXPECT_EQ(exchange.RequestCount(), 0u);
    EXPECT_EQ(tag.value, Variant::Int16(41));
    EXPECT_EQ(tag.timestamp, clock.NowUtc());
}

// --- locking -------------------------------------------------------------------------

TEST_F(ScanRead, ExchangesRunWithoutTagDataLock) {
    tags.Add(kHoldingRegister, 0);
    tags.Add(kHoldingRegister, 100);
    std::vector<bool> freeDuringExchange;
    exchange.beforeAnswer = [&](ODevice& device, const OMessage&) {
        freeDuringExchange.push_back(FreeForOthers(device.Locks().tagData));
    };
    Read();
    EXPECT_EQ(freeDuringExchange, (std::vector<bool>{true, true}));
}

TEST_F(ScanRead, AControllerThatDoesNotAnswerDoesNotHoldUpAnotherDevice) {
    TestTags dead;
    OModbusTag& deadTag = dead.Add(kHoldingRegister, 0);
    OModbusTag& healthy = tags.Add(kHoldingRegister, 0);
    std::promise<void> deadAsked;
    std::promise<void> releaseDead;
    std::shared_future<void> released = releaseDead.get_future().share();
    exchange.beforeAnswer = [&](ODevice& device, const OMessage&) {
        if (&device != &dead.device) return;
        deadAsked.set_value();
        // Bounded so that an engine that holds up the other device fails instead of hanging.
        released.wait_for(std::chrono::seconds(30));
        exchange.FailNext();
    };
    std::atomic<bool> deadReturned{false};
    std::thread deadReader([&] {
        engine.ReadTags(dead.device, dead.list);
        deadReturned = true;
    });
    deadAsked.get_future().wait();

    std::vector<Variant> seen;
    for (std::int16_t v : {1, 2, 3}) {
        exchange.image.holding[0] = static_cast<std::uint16_t>(v);
        engine.ReadTags(tags.device, tags.list);
        std::lock_guard<std::recursive_mutex> lock(tags.device.Locks().tagData);
        seen.push_back(healthy.value);
    }
    const bool deadStillWaiting = !deadReturned;
    releaseDead.set_value();
    deadReader.join();

    EXPECT_TRUE(deadStillWaiting);
    EXPECT_EQ(seen,
              (std::vector<Variant>{Variant::Int16(1), Variant::Int16(2), Variant::Int16(3)}));
    EXPECT_EQ(healthy.quality, kQualityGood);
    EXPECT_EQ(deadTag.quality, kQualityCommFailure);
}

TEST_F(ScanRead, AnEarlierAnswerStoredLateDoesNotReplaceALaterOne) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    exchange.image.holding[0] = 10;
    exchange.answerTime = 1000;
    OverlapTwoReads([&] {
        // The first read holds 10 at 1000; the second stores 20 at 2000 meanwhile.
        exchange.image.holding[0] = 20;
        exchange.answerTime = 2000;
        Read();
        EXPECT_EQ(tag.value, Variant::Int16(20));
    });
    EXPECT_EQ(tag.value, Variant::Int16(20));
    EXPECT_EQ(tag.timestamp, 2000u);
    EXPECT_EQ(tag.quality, kQualityGood);
}

TEST_F(ScanRead, AnEarlierFailureStoredLateDoesNotSpoilALaterGoodValue) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    exchange.image.holding[0] = 20;
    exchange.answerTime = clock.NowUtc() + 1;  // after the first read began
    exchange.FailRequestIndex(0);
    // The first read fails but holds its failure; the second stores a good answer meanwhile.
    OverlapTwoReads([&] { Read(); });
    EXPECT_EQ(tag.value, Variant::Int16(20));
    EXPECT_EQ(tag.quality, kQualityGood);
}

TEST_F(ScanRead, AReadOnItsOwnStoresItsAnswerEvenWhenTheClockWentBack) {
    OModbusTag& tag = tags.Add(kHoldingRegister, 0);
    exchange.image.holding[0] = 1;
    exchange.answerTime = 5000;
    Read();
    exchange.image.holding[0] = 2;
    exchange.answerTime = 4000;
    Read();
    EXPECT_EQ(tag.value, Variant::Int16(2));
    EXPECT_EQ(tag.timestamp, 4000u);
}

// A tag redefined (by the tag sheet, under TagDataLock) while its block is on the wire takes
// nothing from that block's answer; the next read, planned anew, gives its new value.
TEST_F(ScanRead, ATagRedefinedWhileItsBlockIsReadWaitsForTheNextRead) {
    struct Case {
        const char* what;
        std::function<void(OModbusTag&)> redefine;
        Variant next;
    };
    const std::vector<Case> cases{
        {"INT becomes REAL (two registers, one read)",
         [](OModbusTag& t) {
             t.SetDataType(VT_R4);
             t.size = 2;
         },
         Variant::Float(1.0f)},
        {"holding becomes input register",
         [](OModbusTag& t) {
             t.locationKind = kInputRegister;
             t.SetDataType(VT_UI2);
         },
         Variant::UInt16(77)},
        {"moved below the block", [](OModbusTag& t) { t.address = 4; }, Variant::Int16(-3)},
        {"moved past the block", [](OModbusTag& t) { t.address = 30; }, Variant::Int16(30)},
    };
    exchange.image.holding[10] = 0x0000;
    exchange.image.holding[11] = 0x3F80;
    exchange.image.holding[4] = 0xFFFD;
    exchange.image.holding[30] = 30;
    exchange.image.input[10] = 77;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TestTags own;
        OModbusTag& tag = own.Add(kHoldingRegister, 10);
        tag.value = Variant::Int16(123);
        tag.quality = kQualityUncertain;
        bool redefined = false;
        exchange.beforeAnswer = [&](ODevice& device, const OMessage&) {
            if (std::exchange(redefined, true)) return;
            std::lock_guard<std::recursive_mutex> data(device.Locks().tagData);
            c.redefine(tag);
        };
        engine.ReadTags(own.device, own.list);
        EXPECT_TRUE(redefined);
        EXPECT_EQ(tag.value, Variant::Int16(123));
        EXPECT_EQ(tag.quality, kQualityUncertain);

        own.list.clear();
        InsertSorted(&tag, own.list);
        clock.Advance(1000);
        engine.ReadTags(own.device, own.list);
        EXPECT_EQ(tag.value, c.next);
        EXPECT_EQ(tag.quality, kQualityGood);
    }
    exchange.beforeAnswer = nullptr;
}

}  // namespace
}  // namespace velk
