#include "model/monitor_text.h"

#include <gtest/gtest.h>

#include "model/o_modbus_tag.h"

namespace velk {
namespace {

struct ValueCase {
    Variant value;
    std::uint16_t quality;
    const char* text;
};

TEST(MonitorText, ValueByVariantTypeWithTheQualityClassSuffix) {
    const ValueCase cases[] = {
        {Variant::Int16(-32768), 0xC0, "-32768"},
        {Variant::Int32(-2147483647 - 1), 0xC0, "-2147483648"},
        {Variant::UInt16(65535), 0xC0, "65535"},
        {Variant::UInt32(4294967295u), 0xC0, "4294967295"},
        {Variant::Float(-0.25f), 0xC0, "-0.250000"},
        {Variant::Double(1e20), 0xC0, "1e+20 "},
        {Variant::Text("Open"), 0xC0, "Open"},
        {Variant::Bool(false), 0xC0, "Off"},
        {Variant(), 0xC0, "?"},
        // Only the class bits count; the limit bits below them are ignored.
        {Variant::Int16(5), 0xC3, "5"},
        {Variant::Int16(5), 0x80, "5"},
        {Variant::Int16(5), 0x43, "5 (uncertain)"},
        {Variant::Int16(5), 0x18, "5 (bad)"},
        {Variant(), 0x00, "? (bad)"},
    };
    for (const ValueCase& c : cases) {
        EXPECT_EQ(MonitorValueText(c.value, c.quality), c.text) << c.text;
    }
}

class TagListOrderTest : public ::testing::Test {
  protected:
    OModbusTag* Add(const char* name, std::int32_t kind, std::uint16_t address,
                    const char* description) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = name;
        tag->locationKind = kind;
        tag->address = address;
        tag->description = description;
        tags_.push_back(std::move(tag));
        rows_.push_back(tags_.back().get());
        return rows_.back();
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const OModbusTag* t : rows_) names.push_back(t->name);
        return names;
    }
    std::vector<std::unique_ptr<OModbusTag>> tags_;
    std::vector<OModbusTag*> rows_;
};

TEST_F(TagListOrderTest, TypeSortsHigherLocationKindsFirstAndKeepsEqualKindsInListOrder) {
    Add("coil", kOutputCoil, 0, "");
    Add("holding", kHoldingRegister, 0, "");
    Add("input", kInputStatus, 0, "");
    Add("holding2", kHoldingRegister, 1, "");
    TagListOrder order;
    ASSERT_TRUE(order.Click(TagColumn::Type));
    order.Apply(rows_);
    EXPECT_EQ(Names(), (std::vector<std::string>{"holding", "holding2", "coil", "input"}));
}

TEST_F(TagListOrderTest, ANewColumnStartsAscendingWhateverTheLastOneShowed) {
    Add("b", kOutputCoil, 9, "Second");
    Add("a", kOutputCoil, 10, "first");
    TagListOrder order;
    order.Click(TagColumn::Name);
    order.Click(TagColumn::Name);
    EXPECT_TRUE(order.Descending());
    order.Click(TagColumn::Description);
    EXPECT_FALSE(order.Descending());
    order.Apply(rows_);
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(TagListOrderTest, ValueAndTimestampHeadersLeaveTheOrderAsItIs) {
    TagListOrder order;
    order.Click(TagColumn::Location);
    EXPECT_FALSE(order.Click(TagColumn::Value));
    EXPECT_FALSE(order.Click(TagColumn::Timestamp));
    EXPECT_EQ(order.Column(), TagColumn::Location);
    EXPECT_FALSE(order.Descending());
}

}  // namespace
}  // namespace velk
