#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/o_analog_data.h"
#include "model/o_binary_data.h"
#include "model/o_modbus_tag.h"

namespace velk {
namespace {

double RawToEng(const OAnalogData& s, double raw) {
    Variant v = Variant::Double(raw);
    EXPECT_TRUE(s.RawToEng(v));
    return v.AsDouble();
}

double EngToRaw(const OAnalogData& s, double eng) {
    Variant v = Variant::Double(eng);
    EXPECT_TRUE(s.EngToRaw(v));
    return v.AsDouble();
}

OAnalogData WithConversion(std::uint16_t conversion) {
    OAnalogData s;
    s.conversion = conversion;
    return s;
}

TEST(AnalogScaling, DefaultRangesConvertAsTheWorkedExamples) {
    const OAnalogData linear = WithConversion(OAnalogData::kLinear);
    const OAnalogData root = WithConversion(OAnalogData::kSquareRoot);
    EXPECT_DOUBLE_EQ(RawToEng(linear, 2500), 25.0);
    EXPECT_DOUBLE_EQ(RawToEng(linear, 12000), 100.0);  // clamped
    EXPECT_DOUBLE_EQ(RawToEng(linear, -500), 0.0);     // clamped at the minimum
    EXPECT_DOUBLE_EQ(RawToEng(root, 2500), 50.0);
    EXPECT_DOUBLE_EQ(RawToEng(root, 10000), 100.0);

    EXPECT_DOUBLE_EQ(EngToRaw(linear, 25), 2500.0);
    EXPECT_DOUBLE_EQ(EngToRaw(root, 50), 2500.0);
    EXPECT_DOUBLE_EQ(EngToRaw(linear, 150), 10000.0);  // clamped before converting
    EXPECT_DOUBLE_EQ(EngToRaw(root, 1e9), 10000.0);
    EXPECT_DOUBLE_EQ(EngToRaw(linear, -3), 0.0);
}

TEST(AnalogScaling, ConversionNoneOnlyClamps) {
    OAnalogData none;
    EXPECT_DOUBLE_EQ(RawToEng(none, 42.5), 42.5);
    EXPECT_DOUBLE_EQ(RawToEng(none, 4000), 100.0);
    OAnalogData other = WithConversion(7);  // unknown conversion words act like none
    EXPECT_DOUBLE_EQ(EngToRaw(other, -1), 0.0);
    EXPECT_EQ(other.GetConversionName(), "");
}

TEST(AnalogScaling, EmptyRawRangeFollowsIeeeArithmetic) {
    OAnalogData s = WithConversion(OAnalogData::kLinear);
    s.rawMinimum = s.rawMaximum = 500.0;
    EXPECT_DOUBLE_EQ(RawToEng(s, 600), 100.0);  // +inf ends at the maximum
    EXPECT_DOUBLE_EQ(RawToEng(s, 400), 0.0);    // -inf ends at the minimum
    EXPECT_TRUE(std::isnan(RawToEng(s, 500)));  // 0/0 is served unchanged
}

TEST(AnalogScaling, SquareRootBelowTheRawMinimumIsNan) {
    const OAnalogData root = WithConversion(OAnalogData::kSquareRoot);
    EXPECT_TRUE(std::isnan(RawToEng(root, -1)));
}

TEST(AnalogScaling, InvertedEngineeringRangeTestsTheMinimumFirst) {
    OAnalogData s;  // conversion none: only the clamp acts
    s.engineeringMinimum = 100.0;
    s.engineeringMaximum = 0.0;
    EXPECT_DOUBLE_EQ(RawToEng(s, 50), 100.0);  // below the minimum
    EXPECT_DOUBLE_EQ(RawToEng(s, 150), 0.0);   // not below the minimum, above the maximum
    EXPECT_DOUBLE_EQ(EngToRaw(s, 50), 100.0);
}

TEST(AnalogScaling, NonDoubleValuesAreLeftAlone) {
    const OAnalogData linear = WithConversion(OAnalogData::kLinear);
    Variant text = Variant::Text("12");
    EXPECT_FALSE(linear.RawToEng(text));
    EXPECT_EQ(text, Variant::Text("12"));
    Variant integer = Variant::Int16(2500);
    EXPECT_FALSE(linear.EngToRaw(integer));
    EXPECT_EQ(integer, Variant::Int16(2500));
}

TEST(AnalogScaling, NamesCopiesAndEquality) {
    OAnalogData a = WithConversion(OAnalogData::kLinear);
    EXPECT_EQ(a.GetConversionName(), "LIN");
    EXPECT_EQ(WithConversion(2).GetConversionName(), "SQR");
    a.units = "bar";
    a.rawMaximum = 4000;
    OAnalogData b;
    EXPECT_FALSE(a.IsEqual(b));
    EXPECT_FALSE(a.IsSameConversion(b));
    b.CopyConversion(a);
    EXPECT_TRUE(a.IsSameConversion(b));
    EXPECT_FALSE(a.IsEqual(b));
    b.AssignAll(a);
    EXPECT_TRUE(a.IsEqual(b));
    EXPECT_FALSE(a.IsEqual(OBinaryData()));
    a.ResetRanges();
    EXPECT_EQ(a.units, "");
    EXPECT_DOUBLE_EQ(a.rawMaximum, 10000.0);
    EXPECT_DOUBLE_EQ(a.highProcess, 100.0);
}

TEST(BinaryScaling, InvertsBooleansOnlyWhenInverted) {
    OBinaryData s;
    Variant v = Variant::Bool(true);
    EXPECT_TRUE(s.RawToEng(v));
    EXPECT_TRUE(v.AsBool());
    s.conversion = OBinaryData::kInverted;
    EXPECT_TRUE(s.RawToEng(v));
    EXPECT_FALSE(v.AsBool());
    EXPECT_TRUE(s.EngToRaw(v));
    EXPECT_TRUE(v.AsBool());
    Variant number = Variant::Int16(1);
    EXPECT_FALSE(s.RawToEng(number));
    EXPECT_EQ(s.GetConversionName(), "INV");
}

TEST(TagSetValue, AnalogTagWithLinearScalingHoldsADouble) {
    OModbusTag tag;
    tag.SetDataType(VT_I2);
    tag.scaling->conversion = OAnalogData::kLinear;
    EXPECT_EQ(tag.SetValue(Variant::Int16(2500)), S_OK);
    ASSERT_EQ(tag.value.Type(), VT_R8);
    EXPECT_DOUBLE_EQ(tag.value.AsDouble(), 25.0);
}

TEST(TagSetValue, NoConversionKeepsTheRawType) {
    OModbusTag tag;
    tag.SetDataType(VT_UI2);
    EXPECT_EQ(tag.SetValue(Variant::UInt16(65535)), S_OK);
    EXPECT_EQ(tag.value, Variant::UInt16(65535));
    // Served as a LONG holding the same number.
    EXPECT_EQ(tag.GetValue(), Variant::Int32(65535));
}

TEST(TagSetValue, BoolTagWithInvertedScalingHoldsABool) {
    OModbusTag tag;  // BOOL
    tag.scaling->conversion = OBinaryData::kInverted;
    tag.SetValue(Variant::UInt16(0xFFFF));
    EXPECT_EQ(tag.value, Variant::Bool(false));
    OModbusTag normal;
    normal.SetValue(Variant::UInt16(0xFFFF));
    EXPECT_EQ(normal.value, Variant::UInt16(0xFFFF));  // conversion 0: stored as read
}

TEST(TagSetValue, StringTagsAreNeverScaledAndFailedChangesKeepTheRawValue) {
    OModbusTag text;
    text.SetDataType(VT_BSTR);
    text.scaling->conversion = OAnalogData::kLinear;
    EXPECT_EQ(text.SetValue(Variant::Text("ABCDE")), S_OK);
    EXPECT_EQ(text.value, Variant::Text("ABCDE"));

    OModbusTag real;
    real.SetDataType(VT_R4);
    real.scaling->conversion = OAnalogData::kLinear;
    EXPECT_EQ(real.SetValue(Variant::Text("not a number")), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(real.value, Variant::Text("not a number"));
}

}  // namespace
}  // namespace velk
