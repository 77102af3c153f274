// The OnEvent structure and its attribute variants as they travel on the bus.
#include <gtest/gtest.h>

#include "opcae/bus/ae_bus_names.h"
#include "opcae/bus/ae_bus_values.h"

namespace velk {
namespace {

using namespace aebus;

TEST(AeBusValues, AnEventKeepsEveryFieldInTheDocumentedOrderAndSignature) {
    OnEventStruct e;
    e.changeMask = 0xC1;
    e.newState = 3;
    e.source = "PLC1.G.Level";
    e.time = 0x0123456789ABCDEFull;
    e.message = "Tank very high";
    e.eventType = 4;
    e.eventCategory = 4;
    e.severity = 1200;  // not clamped
    e.conditionName = "Analog Level";
    e.subconditionName = "HiHi";
    e.quality = 0xC0;
    e.ackRequired = true;
    e.activeTime = 0xFEDCBA9876543210ull;
    e.cookie = 0x80000001u;
    e.attributes = {Variant::Text("95.5"), Variant::Bool(true), Variant::Int32(-7), Variant()};
    e.actorId = "op";
    const BusValue value = EventToBus(e);
    EXPECT_EQ(value.TypeSignature(), kOnEventStructSignature);
    EXPECT_TRUE(value.IsWellFormed());
    // Fields a client reads by position.
    EXPECT_EQ(*value.Children()[2].Text(), "PLC1.G.Level");
    EXPECT_EQ(*value.Children()[3].Get<std::uint64_t>(), e.time);
    EXPECT_EQ(*value.Children()[13].Get<std::uint32_t>(), e.cookie);
    const auto back = EventFromBus(value);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->source, e.source);
    EXPECT_EQ(back->time, e.time);
    EXPECT_EQ(back->activeTime, e.activeTime);
    EXPECT_EQ(back->severity, 1200u);
    EXPECT_EQ(back->changeMask, 0xC1);
    EXPECT_TRUE(back->ackRequired);
    EXPECT_EQ(back->attributes, e.attributes);
    EXPECT_EQ(back->actorId, "op");
}

TEST(AeBusValues, AttributesCarryTheirTypeCodeAndNaturalBusType) {
    struct Case {
        Variant value;
        std::uint16_t code;
        std::string contents;
    };
    const Case cases[] = {{Variant::Bool(false), 11, "b"},
                          {Variant::Text("x"), 8, "s"},
                          {Variant::Int32(3), 3, "i"},
                          {Variant::Int16(-2), 2, "n"},
                          {Variant::UInt16(2), 18, "q"},
                          {Variant::UInt32(9), 19, "u"},
                          {Variant::Float(1.5f), 4, "d"},
                          {Variant::Double(2.25), 5, "d"},
                          {Variant(), 0, "i"}};
    for (const Case& c : cases) {
        const BusValue bus = AttributeToBus(c.value);
        ASSERT_EQ(bus.TypeSignature(), "(qv)");
        EXPECT_EQ(*bus.Children()[0].Get<std::uint16_t>(), c.code);
        EXPECT_EQ(bus.Children()[1].Children()[0].TypeSignature(), c.contents);
        EXPECT_EQ(AttributeFromBus(bus), c.value) << c.code;
    }
    // A value that does not fit its type code is refused.
    const BusValue wrong =
        BusValue::Struct({BusValue::UInt16(11), BusValue::Variant(BusValue::String("yes"))});
    EXPECT_FALSE(AttributeFromBus(wrong).has_value());
    EXPECT_FALSE(EventFromBus(BusValue::String("no event")).has_value());
}

TEST(AeBusValues, OnEventArgumentsMatchTheSinkSignature) {
    const auto args = OnEventArguments(7, true, false, {OnEventStruct{}, OnEventStruct{}});
    EXPECT_EQ(SignatureOf(args), kOnEventSignature);
    EXPECT_EQ(args[3].Children().size(), 2u);
    EXPECT_EQ(SignatureOf(OnEventArguments(7, true, true, {})), kOnEventSignature);
}

}  // namespace
}  // namespace velk
