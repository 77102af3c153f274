// SimulateTags: every data type and simulation kind, ramp ranges and their wrap, stamps and
// alarm evaluation.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "modbus/scan_engine.h"
#include "model/o_analog_alarm.h"
#include "model/o_analog_data.h"
#include "tests/modbus/scan_fake_exchange.h"
#include "tests/modbus/scan_test_tags.h"
#include "tests/model/recording_poster.h"
#include "tests/support/fake_clock.h"

namespace velk {
namespace {

using namespace velk::testing;

class Simulation : public ::testing::Test {
  protected:
    OModbusTag& Tag(std::uint16_t type, std::int16_t kind) {
        OModbusTag& tag = tags.Add(kHoldingRegister, next++, type, 2);
        tag.simulationKind = kind;
        return tag;
    }
    void Step() { engine.SimulateTags(tags.device, tags.list); }

    ScanFakeExchange exchange;
    RecordingPoster poster;
    FakeClock clock;
    std::uint16_t random = 1234;
    ScanEngine engine{exchange, poster, clock, [this] { return random; }};
    TestTags tags;
    std::uint16_t next = 0;
};

TEST_F(Simulation, RampsCountUpFromTheCounterByType) {
    OModbusTag& asInt = Tag(VT_I2, kSimulationRamp);
    OModbusTag& asLong = Tag(VT_I4, kSimulationRamp);
    OModbusTag& asUInt = Tag(VT_UI2, kSimulationRamp);
    OModbusTag& asReal = Tag(VT_R4, kSimulationRamp);
    OModbusTag& asDouble = Tag(VT_R8, kSimulationRamp);
    Step();
    Step();
    EXPECT_EQ(asInt.value, Variant::Int16(1));
    EXPECT_EQ(asLong.value, Variant::Int32(1));
    EXPECT_EQ(asUInt.value, Variant::UInt16(1));
    EXPECT_EQ(asReal.value, Variant::Float(1.0f));
    EXPECT_EQ(asDouble.value, Variant::Double(1.0));
    EXPECT_EQ(asInt.rampCounter, 2);
}

TEST_F(Simulation, RampsRestartAtTheLowEndOfTheirRange) {
    OModbusTag& asInt = Tag(VT_I2, kSimulationRamp);
    OModbusTag& asLong = Tag(VT_I4, kSimulationRamp);
    asInt.rampCounter = 32767;
    asLong.rampCounter = 65535;
    Step();
    EXPECT_EQ(asInt.value, Variant::Int16(32767));
    EXPECT_EQ(asInt.rampCounter, -32767);
    EXPECT_EQ(asLong.value, Variant::Int32(65535));
    EXPECT_EQ(asLong.rampCounter, 0);
    Step();
    EXPECT_EQ(asInt.value, Variant::Int16(-32767));
}

TEST_F(Simulation, AScaledRampRunsOverTheRawRangeAndIsScaled) {
    OModbusTag& tag = Tag(VT_I2, kSimulationRamp);
    auto& scaling = dynamic_cast<OAnalogData&>(*tag.scaling);
    scaling.conversion = OAnalogData::kLinear;
    scaling.rawMinimum = 100.7;
    scaling.rawMaximum = 200.0;
    scaling.engineeringMinimum = 0.0;
    scaling.engineeringMaximum = 1.0;
    tag.rampCounter = 200;
    Step();
    EXPECT_DOUBLE_EQ(tag.value.AsDouble(), (200 - 100.7) / (200 - 100.7));
    EXPECT_EQ(tag.rampCounter, 100);  // the low limit truncated
}

TEST_F(Simulation, SinesFollowTheTickCount) {
    clock.SetTick(30000);  // t = 5: sin(pi / 2)
    OModbusTag& asInt = Tag(VT_I2, kSimulationSine);
    OModbusTag& asLong = Tag(VT_I4, kSimulationSine);
    OModbusTag& asReal = Tag(VT_R4, kSimulationSine);
    OModbusTag& asDouble = Tag(VT_R8, kSimulationSine);
    Step();
    EXPECT_EQ(asInt.value, Variant::Int16(100));
    EXPECT_EQ(asLong.value, Variant::Int32(100));
    EXPECT_NEAR(asReal.value.AsFloat(), 1.0f, 1e-6f);
    EXPECT_NEAR(asDouble.value.AsDouble(), 1.0, 1e-9);

    clock.SetTick(1000);  // t = 1/6: sin(pi / 60) * 50 + 50 = 52.6..., truncated
    Step();
    EXPECT_EQ(asInt.value, Variant::Int16(52));

    clock.SetTick(90000);  // t = 15: sin(3 pi / 2)
    Step();
    EXPECT_EQ(asInt.value, Variant::Int16(0));
    EXPECT_NEAR(asDouble.value.AsDouble(), -1.0, 1e-9);
    EXPECT_EQ(asInt.rampCounter, 0);  // a sine does not move the counter
}

TEST_F(Simulation, RandomValuesComeFromTheGenerator) {
    OModbusTag& asInt = Tag(VT_I2, kSimulationRandom);
    OModbusTag& asUInt = Tag(VT_UI2, kSimulationRandom);
    OModbusTag& asReal = Tag(VT_R4, kSimulationRandom);
    OModbusTag& asDouble = Tag(VT_R8, kSimulationRandom);
    OModbusTag& asBool = Tag(VT_BOOL, kSimulationRandom);
    random = 1235;
    Step();
    EXPECT_EQ(asInt.value, Variant::Int16(35));
    EXPECT_EQ(asUInt.value, Variant::UInt16(35));
    EXPECT_EQ(asReal.value, Variant::Float(static_cast<float>(35 / 3.0)));
    EXPECT_EQ(asDouble.value, Variant::Double(35 / 3.0));
    EXPECT_EQ(asBool.value, Variant::Bool(true));
    random = 1236;
    Step();
    EXPECT_EQ(asBool.value, Variant::Bool(false));
}

TEST_F(Simulation, BooleansChangeEverySixSeconds) {
    OModbusTag& ramp = Tag(VT_BOOL, kSimulationRamp);
    OModbusTag& sine = Tag(VT_BOOL, kSimulationSine);
    clock.SetTick(6000);
    Step();
    EXPECT_EQ(ramp.value, Variant::Bool(true));
    EXPECT_EQ(sine.value, Variant::Bool(true));
    clock.SetTick(11999);
    Step();
    EXPECT_EQ(ramp.value, Variant::Bool(true));
    clock.SetTick(12000);
    Step();
    EXPECT_EQ(ramp.value, Variant::Bool(false));
}

TEST_F(Simulation, TextsGetTheTestTextForEveryKind) {
    for (std::int16_t kind : {kSimulationRamp, kSimulationSine, kSimulationRandom}) {
        OModbusTag& text = Tag(VT_BSTR, kind);
        Step();
        EXPECT_EQ(text.value, Variant::Text("This is a Test String."));
    }
}

TEST_F(Simulation, KindNoneAndUnsimulatedTypesKeepTheirValueButAreStamped) {
    OModbusTag& none = Tag(VT_R8, kSimulationNone);
    none.value = Variant::Double(12.5);
    dynamic_cast<OAnalogData&>(*none.scaling).conversion = OAnalogData::kLinear;
    OModbusTag& ulong = Tag(VT_UI4, kSimulationRamp);
    ulong.value = Variant::UInt32(7);
    none.quality = ulong.quality = kQualityCommFailure;
    clock.Advance(1000);
    Step();
    Step();  // an engineering value is not scaled again
    EXPECT_EQ(none.value, Variant::Double(12.5));
    EXPECT_EQ(ulong.value, Variant::UInt32(7));
    EXPECT_EQ(ulong.rampCounter, 0);
    EXPECT_EQ(none.quality, kQualityGood);
    EXPECT_EQ(ulong.quality, kQualityGood);
    EXPECT_EQ(none.timestamp, clock.NowUtc());
}

TEST_F(Simulation, SimulatedValuesAreEvaluatedByTheAlarm) {
    OModbusTag& tag = Tag(VT_I2, kSimulationRamp);
    auto& alarm = dynamic_cast<OAnalogAlarm&>(*tag.alarm);
    alarm.enableFlags = OAnalogAlarm::kHighBit;
    alarm.levelLimit[OAnalogAlarm::kHigh] = 2;
    for (int n = 0; n < 4; ++n) Step();  // 0, 1, 2, 3
    ASSERT_EQ(poster.events.size(), 1u);
    EXPECT_EQ(poster.events[0]->valueText, "3");
}

TEST_F(Simulation, TheDefaultGeneratorGivesFifteenBitNumbers) {
    ScanEngine own(exchange, poster, clock);
    OModbusTag& tag = Tag(VT_R8, kSimulationRandom);
    std::set<double> seen;
    for (int n = 0; n < 50; ++n) {
        own.SimulateTags(tags.device, tags.list);
        seen.insert(tag.value.AsDouble());
        EXPECT_GE(tag.value.AsDouble(), 0.0);
        EXPECT_LT(tag.value.AsDouble(), 100.0);
    }
    EXPECT_GT(seen.size(), 10u);
}

}  // namespace
}  // namespace velk
