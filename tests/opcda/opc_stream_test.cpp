// The 1.0 stream layouts, byte for byte.
#include "opcda/opc_stream.h"

#include <gtest/gtest.h>

#include <cstring>

#include "opc/opc_result.h"
#include "tests/opcda/opcda_fixture.h"

namespace velk::testing {
namespace {

double DoubleAt(const std::vector<std::uint8_t>& b, std::size_t at) {
    const std::uint64_t bits = Read64(b, at);
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

TEST(OPCStream, DataFormatHeadersOffsetsAndScalarValues) {
    std::vector<StreamItem> items(3);
    items[0] = {11, 0xC0, 0, OpcValue::Of(Variant::Int16(-2))};
    items[1] = {12, 0x40, 0, OpcValue::Of(Variant::Bool(true))};  // uncertain is not bad here
    items[2] = {13, 0xC0, 0, OpcValue::Of(Variant::Double(2.5))};
    const auto s = BuildDataStream(false, 0x55, 9, items);
    ASSERT_EQ(s.size(), 20u + 3 * 12 + 3 * 16);
    EXPECT_EQ(Read32(s, 0), s.size());
    EXPECT_EQ(Read32(s, 4), 3u);
    EXPECT_EQ(Read32(s, 8), 0x55u);
    EXPECT_EQ(Read32(s, 12), 9u);
    EXPECT_EQ(Read32(s, 16), static_cast<std::uint32_t>(S_OK));
    // Item headers: hClient, dwValueOffset, wQuality, wReserved.
    EXPECT_EQ(Read32(s, 20), 11u);
    EXPECT_EQ(Read32(s, 24), 56u);
    EXPECT_EQ(Read16(s, 28), 0xC0);
    EXPECT_EQ(Read16(s, 30), 0);
    EXPECT_EQ(Read32(s, 36), 72u);
    EXPECT_EQ(Read32(s, 48), 88u);
    // VARIANTs: vt, three reserved words, data.
    EXPECT_EQ(Read16(s, 56), VT_I2);
    EXPECT_EQ(Read16(s, 56 + 2), 0);
    EXPECT_EQ(Read16(s, 56 + 8), 0xFFFE);
    EXPECT_EQ(Read16(s, 72), VT_BOOL);
    EXPECT_EQ(Read16(s, 72 + 8), 0xFFFF);
    EXPECT_EQ(Read16(s, 88), VT_R8);
    EXPECT_EQ(DoubleAt(s, 88 + 8), 2.5);
}

TEST(OPCStream, DataTimeFormatCarriesTheTimestampAndABadQualityGivesSFalse) {
    std::vector<StreamItem> items(1);
    items[0] = {7, 0x18, 0x0123456789ABCDEFull, OpcValue::Of(Variant::Int32(-1))};
    const auto s = BuildDataStream(true, 1, 2, items);
    ASSERT_EQ(s.size(), 20u + 20 + 16);
    EXPECT_EQ(Read32(s, 16), static_cast<std::uint32_t>(S_FALSE));
    EXPECT_EQ(Read32(s, 24), 40u);
    EXPECT_EQ(Read64(s, 32), 0x0123456789ABCDEFull);
    EXPECT_EQ(Read16(s, 40), VT_I4);
    EXPECT_EQ(Read32(s, 48), 0xFFFFFFFFu);
}

TEST(OPCStream, StringsFollowTheirVariantWithPrefixAndTerminator) {
    std::vector<StreamItem> items(2);
    items[0] = {1, 0xC0, 0, OpcValue::Of(Variant::Text("Hé"))};
    items[1] = {2, 0xC0, 0, OpcValue::Of(Variant::Float(1.0f))};
    const auto s = BuildDataStream(false, 0, 0, items);
    const std::size_t v0 = 20 + 2 * 12;
    EXPECT_EQ(Read32(s, 24), v0);
    EXPECT_EQ(Read16(s, v0), VT_BSTR);
    EXPECT_EQ(Read32(s, v0 + 16), 4u);  // byte length of two UTF-16 characters
    EXPECT_EQ(Read16(s, v0 + 20), u'H');
    EXPECT_EQ(Read16(s, v0 + 22), 0x00E9);
    EXPECT_EQ(Read16(s, v0 + 24), 0);
    const std::size_t v1 = v0 + 16 + 4 + 6;  // length + 6 bytes after the VARIANT
    EXPECT_EQ(Read32(s, 36), v1);
    EXPECT_EQ(Read16(s, v1), VT_R4);
    EXPECT_EQ(Read32(s, v1 + 8), 0x3F800000u);
    EXPECT_EQ(Read32(s, 0), v1 + 16);
}

TEST(OPCStream, ArraysFollowTheirVariantWithDescriptorAndData) {
    std::vector<StreamItem> items(1);
    items[0] = {1, 0xC0, 0, OpcValue::DoubleArray({-1.0, 4.0})};
    const auto s = BuildDataStream(false, 0, 0, items);
    const std::size_t v = 32;
    EXPECT_EQ(Read16(s, v), VT_ARRAY | VT_R8);
    const std::size_t d = v + 16;
    EXPECT_EQ(Read16(s, d), 1);        // one dimension
    EXPECT_EQ(Read32(s, d + 4), 8u);   // element size
    EXPECT_EQ(Read32(s, d + 16), 2u);  // elements
    EXPECT_EQ(Read32(s, d + 20), 0u);  // lower bound
    EXPECT_EQ(DoubleAt(s, d + 24), -1.0);
    EXPECT_EQ(DoubleAt(s, d + 32), 4.0);
    EXPECT_EQ(s.size(), d + 24 + 16);
}

TEST(OPCStream, WriteCompleteLayout) {
    const auto ok = BuildWriteCompleteStream(3, 4, {{10, S_OK}, {0, OPC_E_INVALIDHANDLE}});
    ASSERT_EQ(ok.size(), 16u + 2 * 8);
    EXPECT_EQ(Read32(ok, 0), 2u);
    EXPECT_EQ(Read32(ok, 4), 3u);
    EXPECT_EQ(Read32(ok, 8), 4u);
    EXPECT_EQ(Read32(ok, 12), static_cast<std::uint32_t>(S_FALSE));
    EXPECT_EQ(Read32(ok, 16), 10u);
    EXPECT_EQ(Read32(ok, 28), static_cast<std::uint32_t>(OPC_E_INVALIDHANDLE));
    EXPECT_EQ(Read32(BuildWriteCompleteStream(0, 0, {{1, S_OK}}), 12), 0u);
}

TEST(OPCStream, EmptyStreamIsJustTheHeader) {
    const auto s = BuildDataStream(true, 8, 0, {});
    ASSERT_EQ(s.size(), 20u);
    EXPECT_EQ(Read32(s, 0), 20u);
    EXPECT_EQ(Read32(s, 16), 0u);
}

}  // namespace
}  // namespace velk::testing
