// VARIANTs on the bus: every type the server sends keeps its type code and value, a value
// to write must carry the bus type its code names, and dates and EU ranges have their own
// forms.
#include "opcda/bus/bus_variant.h"

#include <gtest/gtest.h>

#include <limits>

#include "opc/opc_result.h"

namespace velk::dabus {
namespace {

BusValue Tagged(VarType code, BusValue contents) {
    return BusValue::Struct({BusValue::UInt16(code), BusValue::Variant(std::move(contents))});
}

TEST(BusVariant, EveryTagValueTypeTravelsWithItsCodeAndComesBackEqual) {
    const std::vector<Variant> values = {Variant(),
                                         Variant::Bool(true),
                                         Variant::Bool(false),
                                         Variant::Int16(-7),
                                         Variant::UInt16(65535),
                                         Variant::Int32(-100000),
                                         Variant::UInt32(4000000000u),
                                         Variant::Int64(INT64_MIN),
                                         Variant::UInt64(UINT64_MAX),
                                         Variant::Float(1.5f),
                                         Variant::Double(-2.25),
                                         Variant::Text("Pump running")};
    for (const Variant& v : values) {
        const BusValue bus = VariantToBus(v);
        ASSERT_EQ(bus.TypeSignature(), "(qv)");
        EXPECT_EQ(*bus.Children()[0].Get<std::uint16_t>(), v.Type());
        const std::optional<Variant> back = VariantFromBus(bus);
        ASSERT_TRUE(back.has_value()) << v.ToText();
        EXPECT_EQ(*back, v) << v.ToText();
    }
    // The natural bus types of the codes.
    EXPECT_EQ(VariantToBus(Variant::Int16(1)).Children()[1].Children()[0].TypeSignature(), "n");
    EXPECT_EQ(VariantToBus(Variant::UInt16(1)).Children()[1].Children()[0].TypeSignature(), "q");
    EXPECT_EQ(VariantToBus(Variant::Float(1)).Children()[1].Children()[0].TypeSignature(), "d");
    EXPECT_EQ(VariantToBus(Variant::Text("a")).Children()[1].Children()[0].TypeSignature(), "s");
    EXPECT_EQ(VariantToBus(Variant()).Children()[1].Children()[0].TypeSignature(), "i");
}

TEST(BusVariant, AValueWhoseBusTypeDoesNotMatchItsCodeIsRefused) {
    EXPECT_FALSE(VariantFromBus(Tagged(VT_I2, BusValue::Int32(5))).has_value());
    EXPECT_FALSE(VariantFromBus(Tagged(VT_I4, BusValue::Int16(5))).has_value());
    EXPECT_FALSE(VariantFromBus(Tagged(VT_BOOL, BusValue::Int32(1))).has_value());
    EXPECT_FALSE(VariantFromBus(Tagged(VT_BSTR, BusValue::ObjectPath("/a"))).has_value());
    EXPECT_FALSE(VariantFromBus(Tagged(VT_R8, BusValue::String("1.5"))).has_value());
    // Codes the server takes no values of.
    EXPECT_FALSE(VariantFromBus(Tagged(VT_DATE, BusValue::Double(1.0))).has_value());
    EXPECT_FALSE(VariantFromBus(Tagged(6, BusValue::Int64(10000))).has_value());  // VT_CY
    EXPECT_FALSE(VariantFromBus(Tagged(17, BusValue::Byte(1))).has_value());      // VT_UI1
    // Not a (qv) at all.
    EXPECT_FALSE(VariantFromBus(BusValue::Int32(3)).has_value());
    EXPECT_FALSE(VariantFromBus(
                     BusValue::Struct({BusValue::UInt32(2), BusValue::Variant(BusValue::Int16(1))}))
                     .has_value());
    // VT_EMPTY takes whatever it carries.
    EXPECT_EQ(VariantFromBus(Tagged(VT_EMPTY, BusValue::String("ignored"))), Variant());
}

TEST(BusVariant, AFloatOutsideItsRangeIsRefusedRatherThanConverted) {
    EXPECT_FALSE(VariantFromBus(Tagged(VT_R4, BusValue::Double(1e300))).has_value());
    EXPECT_FALSE(VariantFromBus(Tagged(VT_R4, BusValue::Double(-1e39))).has_value());
    EXPECT_EQ(VariantFromBus(Tagged(VT_R4, BusValue::Double(3.0e38))),
              Variant::Float(static_cast<float>(3.0e38)));
    const auto inf =
        VariantFromBus(Tagged(VT_R4, BusValue::Double(std::numeric_limits<double>::infinity())));
    ASSERT_TRUE(inf.has_value());
    EXPECT_EQ(inf->AsFloat(), std::numeric_limits<float>::infinity());
}

TEST(BusVariant, DatesAndEngineeringRangesHaveTheirOwnForms) {
    const BusValue date = OpcValueToBus(OpcValue::Date(46365.5));
    EXPECT_EQ(*date.Children()[0].Get<std::uint16_t>(), VT_DATE);
    EXPECT_EQ(*date.Children()[1].Children()[0].Get<double>(), 46365.5);

    const BusValue range = OpcValueToBus(OpcValue::DoubleArray({-5.0, 250.0}));
    EXPECT_EQ(*range.Children()[0].Get<std::uint16_t>(), VT_ARRAY | VT_R8);
    const BusValue& elements = range.Children()[1].Children()[0];
    ASSERT_EQ(elements.TypeSignature(), "ad");
    ASSERT_EQ(elements.Children().size(), 2u);
    EXPECT_EQ(*elements.Children()[0].Get<double>(), -5.0);
    EXPECT_EQ(*elements.Children()[1].Get<double>(), 250.0);

    EXPECT_EQ(OpcValueToBus(OpcValue::Of(Variant::Int16(3))), VariantToBus(Variant::Int16(3)));
}

TEST(BusVariant, ArraysOfValuesConvertAllOrNothing) {
    const BusValue good = VariantArray({Variant::Int16(1), Variant::Text("x")});
    EXPECT_TRUE(good.IsWellFormed());
    const auto back = VariantsFromBus(good);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, (std::vector<Variant>{Variant::Int16(1), Variant::Text("x")}));

    const BusValue bad = BusValue::Array(
        "(qv)", {VariantToBus(Variant::Int16(1)), Tagged(VT_I2, BusValue::String("x"))});
    EXPECT_FALSE(VariantsFromBus(bad).has_value());

    EXPECT_EQ(UInt32sOf(BusValue::UInt32Array({1, 2, 0xFFFFFFFFu})),
              (std::vector<std::uint32_t>{1, 2, 0xFFFFFFFFu}));
    EXPECT_EQ(HresultArray({S_OK, OPC_E_BADRIGHTS}).TypeSignature(), "ai");
    EXPECT_EQ(*HresultArray({S_OK, OPC_E_BADRIGHTS}).Children()[1].Get<std::int32_t>(),
              OPC_E_BADRIGHTS);
    EXPECT_EQ(ByteArray({1, 255}).Children()[1], BusValue::Byte(255));
}

}  // namespace
}  // namespace velk::dabus
