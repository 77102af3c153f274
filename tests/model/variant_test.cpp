#include "model/variant.h"

#include <gtest/gtest.h>

#include <cmath>

namespace velk {
namespace {

TEST(Variant, TypeCodesAreTheCanonicalTypes) {
    EXPECT_EQ(Variant().Type(), VT_EMPTY);
    EXPECT_EQ(Variant::Bool(true).Type(), 11);
    EXPECT_EQ(Variant::Int16(1).Type(), 2);
    EXPECT_EQ(Variant::UInt16(1).Type(), 18);
    EXPECT_EQ(Variant::Int32(1).Type(), 3);
    EXPECT_EQ(Variant::UInt32(1).Type(), 19);
    EXPECT_EQ(Variant::Float(1).Type(), 4);
    EXPECT_EQ(Variant::Double(1).Type(), 5);
    EXPECT_EQ(Variant::Text("x").Type(), 8);
}

TEST(Variant, NumericConversionsRoundHalfToEvenAndCheckRanges) {
    Variant v = Variant::Double(2.5);
    EXPECT_EQ(v.ChangeType(VT_I2), S_OK);
    EXPECT_EQ(v, Variant::Int16(2));
    v = Variant::Double(3.5);
    EXPECT_EQ(v.ChangeType(VT_I4), S_OK);
    EXPECT_EQ(v, Variant::Int32(4));
    v = Variant::Double(40000);
    EXPECT_EQ(v.ChangeType(VT_I2), DISP_E_OVERFLOW);
    EXPECT_EQ(v, Variant::Double(40000));  // unchanged on failure
    v = Variant::Int32(-1);
    EXPECT_EQ(v.ChangeType(VT_UI4), DISP_E_OVERFLOW);
    v = Variant::Double(std::nan(""));
    EXPECT_EQ(v.ChangeType(VT_I4), DISP_E_OVERFLOW);
    v = Variant::UInt16(65535);
    EXPECT_EQ(v.ChangeType(VT_R8), S_OK);
    EXPECT_EQ(v, Variant::Double(65535));
}

TEST(Variant, BooleansAreAllOnesOrZero) {
    Variant v = Variant::Bool(true);
    EXPECT_EQ(v.ChangeType(VT_I2), S_OK);
    EXPECT_EQ(v, Variant::Int16(-1));
    v = Variant::Bool(true);
    EXPECT_EQ(v.ChangeType(VT_UI2), S_OK);
    EXPECT_EQ(v, Variant::UInt16(0xFFFF));
    v = Variant::UInt16(0xFFFF);
    EXPECT_EQ(v.ChangeType(VT_BOOL), S_OK);
    EXPECT_EQ(v, Variant::Bool(true));
    v = Variant::Double(0.0);
    EXPECT_EQ(v.ChangeType(VT_BOOL), S_OK);
    EXPECT_EQ(v, Variant::Bool(false));
}

TEST(Variant, TextConversions) {
    Variant v = Variant::Text(" 12.5 ");
    EXPECT_EQ(v.ChangeType(VT_R8), S_OK);
    EXPECT_EQ(v, Variant::Double(12.5));
    v = Variant::Text("abc");
    EXPECT_EQ(v.ChangeType(VT_R8), DISP_E_TYPEMISMATCH);
    v = Variant::Text("TRUE");
    EXPECT_EQ(v.ChangeType(VT_BOOL), S_OK);
    EXPECT_EQ(v, Variant::Bool(true));
    EXPECT_EQ(Variant::Double(0.1).ToText(), "0.1");
    EXPECT_EQ(Variant::Float(1.5f).ToText(), "1.5");
    EXPECT_EQ(Variant::Int16(-7).ToText(), "-7");
    EXPECT_EQ(Variant::Bool(false).ToText(), "False");
    v = Variant::UInt32(4000000000u);
    EXPECT_EQ(v.ChangeType(VT_BSTR), S_OK);
    EXPECT_EQ(v, Variant::Text("4000000000"));
}

}  // namespace
}  // namespace velk
