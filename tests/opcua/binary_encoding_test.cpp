// The UA binary encoding of the built-in types and of structures: the byte layouts of the
// published examples, the boundaries between the NodeId forms, and the answers to malformed
// input (short, over the limits, nested too deep, inconsistent masks and dimensions).
#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

#include "opcua/structure_codec.h"
#include "tests/opcua/ua_test_support.h"

namespace velk::ua {
namespace {

using test::B;
using test::Bytes;
using test::DecodeBytes;
using test::EncodeBytes;
using test::EncodeStatus;

struct NodeIdCase {
    const char* name;
    NodeId id;
    Bytes wire;
};

TEST(UaNodeIdTest, TakesTheShortestFormAndDecodesItBack) {
    const Guid guid{0x72962B91, 0xFA75, 0x4AE6, {0x8D, 0x28, 0xB4, 0x04, 0xDC, 0x7D, 0xAF, 0x63}};
    const NodeIdCase cases[] = {
        {"two-byte", NodeId::Numeric(0, 72), B({0x00, 0x48})},
        {"two-byte upper end", NodeId::Numeric(0, 255), B({0x00, 0xFF})},
        {"four-byte from id 256", NodeId::Numeric(0, 256), B({0x01, 0x00, 0x00, 0x01})},
        {"four-byte", NodeId::Numeric(5, 1025), B({0x01, 0x05, 0x01, 0x04})},
        {"four-byte upper end", NodeId::Numeric(255, 65535), B({0x01, 0xFF, 0xFF, 0xFF})},
        {"numeric from namespace 256", NodeId::Numeric(256, 1),
         B({0x02, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00})},
        {"numeric from id 65536", NodeId::Numeric(1, 65536),
         B({0x02, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00})},
        {"string", NodeId::String(1, "Hot\xE6\xB0\xB4"),
         B({0x03, 0x01, 0x00, 0x06, 0x00, 0x00, 0x00, 0x48, 0x6F, 0x74, 0xE6, 0xB0, 0xB4})},
        {"guid", NodeId{2, guid},
         B({0x04, 0x02, 0x00, 0x91, 0x2B, 0x96, 0x72, 0x75, 0xFA, 0xE6, 0x4A, 0x8D, 0x28, 0xB4,
            0x04, 0xDC, 0x7D, 0xAF, 0x63})},
        {"opaque", NodeId{3, ByteString{{0xAB, 0xCD}}},
         B({0x05, 0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0xAB, 0xCD})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EncodeBytes(c.id), c.wire);
        const auto decoded = DecodeBytes<NodeId>(c.wire);
        EXPECT_EQ(decoded.status, kGood);
        EXPECT_EQ(decoded.value, c.id);
        EXPECT_EQ(decoded.consumed, c.wire.size());
    }
}

TEST(UaNodeIdTest, RefusesUnknownFormsExpandedFlagsAndShortInput) {
    const Bytes cases[] = {B({0x06, 0x00}), B({0x40, 0x05}), B({0x80, 0x05}), B({0x01, 0x05, 0x01}),
                           B({0x03, 0x01, 0x00, 0x05, 0x00, 0x00, 0x00, 'a'})};
    for (const auto& wire : cases) {
        EXPECT_EQ(DecodeBytes<NodeId>(wire).status, kBadDecodingError);
    }
}

TEST(UaNodeIdTest, ExpandedNodeIdCarriesUriAndServerIndexAfterTheId) {
    const ExpandedNodeId id{NodeId::Numeric(0, 5), "urn:x", 2};
    const Bytes wire =
        B({0xC0, 0x05, 0x05, 0x00, 0x00, 0x00, 'u', 'r', 'n', ':', 'x', 0x02, 0x00, 0x00, 0x00});
    EXPECT_EQ(EncodeBytes(id), wire);
    const auto decoded = DecodeBytes<ExpandedNodeId>(wire);
    EXPECT_EQ(decoded.status, kGood);
    EXPECT_EQ(decoded.value, id);
    EXPECT_EQ(DecodeBytes<ExpandedNodeId>(B({0x41, 0x00, 0x01, 0x00})).status, kBadDecodingError);
}

TEST(UaStringTest, LengthsAreBoundedByTheBytesLeftAndTheLimit) {
    EXPECT_EQ(EncodeBytes(std::string()), B({0x00, 0x00, 0x00, 0x00}));
    const auto null = DecodeBytes<std::string>(B({0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(null.status, kGood);
    EXPECT_EQ(null.value, "");
    EXPECT_EQ(DecodeBytes<std::string>(B({0xFE, 0xFF, 0xFF, 0xFF})).status, kBadDecodingError);
    EXPECT_EQ(DecodeBytes<std::string>(B({0x03, 0x00, 0x00, 0x00, 'a', 'b'})).status,
              kBadDecodingError);
    DecodeLimits limits;
    limits.maxStringLength = 2;
    EXPECT_EQ(DecodeBytes<std::string>(B({0x02, 0x00, 0x00, 0x00, 'a', 'b'}), limits).status,
              kGood);
    EXPECT_EQ(DecodeBytes<std::string>(B({0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'}), limits).status,
              kBadEncodingLimitsExceeded);
    EncodeLimits encodeLimits;
    encodeLimits.maxStringLength = 2;
    EXPECT_EQ(EncodeStatus(std::string("abc"), encodeLimits), kBadEncodingLimitsExceeded);
}

TEST(UaTextTest, LocalizedTextAndDiagnosticInfoFollowTheirMasks) {
    EXPECT_EQ(EncodeBytes(LocalizedText{"en", "A"}),
              B({0x03, 0x02, 0x00, 0x00, 0x00, 'e', 'n', 0x01, 0x00, 0x00, 0x00, 'A'}));
    EXPECT_EQ(EncodeBytes(LocalizedText{"", "A"}), B({0x02, 0x01, 0x00, 0x00, 0x00, 'A'}));
    EXPECT_EQ(DecodeBytes<LocalizedText>(B({0x04})).status, kBadDecodingError);

    DiagnosticInfo info;
    info.locale = 1;
    info.localizedText = 2;
    info.innerStatusCode = kBadTimeout;
    // The locale goes first although its mask bit is the higher one.
    const Bytes wire =
        B({0x2C, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A, 0x80});
    EXPECT_EQ(EncodeBytes(info), wire);
    const auto decoded = DecodeBytes<DiagnosticInfo>(wire);
    EXPECT_EQ(decoded.status, kGood);
    EXPECT_EQ(decoded.value, info);
    EXPECT_EQ(DecodeBytes<DiagnosticInfo>(B({0x80})).status, kBadDecodingError);
}

TEST(UaNestingTest, DiagnosticInfosVariantsAndDataValuesStopAtTheDepthLimit) {
    DecodeLimits limits;
    limits.maxNestingDepth = 8;
    const auto nestedInfos = [](int levels) {
        Bytes wire(levels - 1, 0x40);
        wire.push_back(0x00);
        return wire;
    };
    EXPECT_EQ(DecodeBytes<DiagnosticInfo>(nestedInfos(8), limits).status, kGood);
    EXPECT_EQ(DecodeBytes<DiagnosticInfo>(nestedInfos(9), limits).status,
              kBadEncodingLimitsExceeded);

    // A Variant holding a DataValue holding a Variant ..., two levels a round.
    const auto nestedValues = [](int rounds) {
        Bytes wire;
        for (int i = 0; i < rounds; ++i) {
            wire.push_back(0x17);  // Variant of a DataValue
            wire.push_back(0x01);  // DataValue with a value
        }
        wire.push_back(0x00);  // the null Variant
        return wire;
    };
    EXPECT_EQ(DecodeBytes<Variant>(nestedValues(3), limits).status, kGood);
    EXPECT_EQ(DecodeBytes<Variant>(nestedValues(4), limits).status, kBadEncodingLimitsExceeded);
    // A deep input far beyond the limit ends at the limit, not on the stack.
    EXPECT_EQ(DecodeBytes<Variant>(nestedValues(100000)).status, kBadEncodingLimitsExceeded);

    // The encoder bounds what it sends the same way.
    Variant v = Variant::Scalar(std::int32_t{1});
    for (int i = 0; i < 40; ++i) v = Variant::Array(BuiltinType::kVariant, {Boxed<Variant>(v)});
    EXPECT_EQ(EncodeStatus(v), kBadEncodingLimitsExceeded);
}

TEST(UaVariantTest, ScalarsArraysAndDimensionsRoundTrip) {
    struct Case {
        const char* name;
        Variant value;
        Bytes wire;
    };
    const Case cases[] = {
        {"null", Variant{}, B({0x00})},
        {"boolean", Variant::Scalar(true), B({0x01, 0x01})},
        {"float", Variant::Scalar(1.0f), B({0x0A, 0x00, 0x00, 0x80, 0x3F})},
        {"int32 array", Variant::Array(BuiltinType::kInt32, {std::int32_t{1}, std::int32_t{-1}}),
         B({0x86, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF})},
        {"2x2 matrix",
         Variant::Array(BuiltinType::kByte,
                        {std::uint8_t{1}, std::uint8_t{2}, std::uint8_t{3}, std::uint8_t{4}},
                        {2, 2}),
         B({0xC3, 0x04, 0x00, 0x00, 0x00, 1,    2,    3,    4,    0x02, 0x00,
            0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00})},
        {"empty string array", Variant::Array(BuiltinType::kString, {}),
         B({0x8C, 0x00, 0x00, 0x00, 0x00})},
        {"variant array",
         Variant::Array(BuiltinType::kVariant, {Boxed<Variant>(Variant::Scalar(std::uint16_t{7}))}),
         B({0x98, 0x01, 0x00, 0x00, 0x00, 0x05, 0x07, 0x00})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EncodeBytes(c.value), c.wire);
        const auto decoded = DecodeBytes<Variant>(c.wire);
        EXPECT_EQ(decoded.status, kGood);
        EXPECT_EQ(decoded.value, c.value);
        EXPECT_EQ(decoded.consumed, c.wire.size());
    }
}

TEST(UaVariantTest, RefusesInconsistentMasksAndDimensions) {
    struct Case {
        const char* name;
        Bytes wire;
        StatusCode status;
    };
    const Case cases[] = {
        {"type id 32", B({0x20}), kBadDecodingError},
        {"scalar of type Variant", B({0x18, 0x00}), kBadDecodingError},
        {"dimensions without an array", B({0x46, 0x01, 0x00, 0x00, 0x00}), kBadDecodingError},
        {"array of null", B({0x80, 0x00, 0x00, 0x00, 0x00}), kBadDecodingError},
        {"dimensions do not multiply to the length",
         B({0xC3, 0x03, 0x00, 0x00, 0x00, 1,    2,    3,    0x02, 0x00,
            0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}),
         kBadDecodingError},
        {"negative dimension with an element",
         B({0xC3, 0x01, 0x00, 0x00, 0x00, 7, 0x02, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x01,
            0x00, 0x00, 0x00}),
         kBadDecodingError},
        {"no dimensions", B({0xC3, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}),
         kBadDecodingError},
        {"negative length", B({0x86, 0xFE, 0xFF, 0xFF, 0xFF}), kBadDecodingError},
        {"more elements than bytes", B({0x86, 0x02, 0x00, 0x00, 0x00, 1, 0, 0, 0, 2, 0, 0}),
         kBadDecodingError},
        {"over the array limit", B({0x83, 0x01, 0x00, 0x10, 0x00}), kBadEncodingLimitsExceeded},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecodeBytes<Variant>(c.wire).status, c.status);
    }
    EXPECT_EQ(EncodeStatus(Variant::Scalar(Boxed<Variant>(Variant::Scalar(true)))),
              kBadEncodingError);
    EXPECT_EQ(EncodeStatus(Variant::Array(BuiltinType::kInt32, {std::int32_t{1}, 2.0})),
              kBadEncodingError);
    EXPECT_EQ(EncodeStatus(Variant::Array(BuiltinType::kByte, {std::uint8_t{1}}, {2})),
              kBadEncodingError);
}

TEST(UaVariantTest, ReservedTypeIdsArriveAsByteStringsAndDimensionsFollowTheirRules) {
    const auto scalar = DecodeBytes<Variant>(B({0x1A, 0x01, 0x00, 0x00, 0x00, 0xEE}));
    ASSERT_EQ(scalar.status, kGood);
    EXPECT_EQ(scalar.value.reservedTypeId, 26);
    EXPECT_EQ(scalar.value.scalar, VariantScalar(ByteString{{0xEE}}));
    // Sent on as the ByteString it is.
    EXPECT_EQ(EncodeBytes(scalar.value), B({0x0F, 0x01, 0x00, 0x00, 0x00, 0xEE}));
    const auto array =
        DecodeBytes<Variant>(B({0x9F, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF}));
    ASSERT_EQ(array.status, kGood);
    EXPECT_EQ(array.value.reservedTypeId, 31);
    EXPECT_EQ(array.value.elements.size(), 1u);

    // An empty matrix with a dimension of 0 (or less) decodes; it is sent as an empty array,
    // and a single dimension as a plain array.
    const auto empty = DecodeBytes<Variant>(B({0xC3, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                                               0x00, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00}));
    ASSERT_EQ(empty.status, kGood);
    EXPECT_EQ(EncodeBytes(empty.value), B({0x83, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(EncodeBytes(Variant::Array(BuiltinType::kByte, {std::uint8_t{1}}, {1})),
              B({0x83, 0x01, 0x00, 0x00, 0x00, 0x01}));
}

TEST(UaVariantTest, AHugeArrayLengthIsRefusedBeforeAnyAllocation) {
    // With the limits open, only the bytes left bound the length: 2^31-1 GUIDs or strings
    // announced in a few bytes would otherwise reserve gigabytes.
    DecodeLimits open;
    open.maxArrayLength = std::numeric_limits<std::uint32_t>::max();
    for (const int type : {0x0E, 0x0C, 0x16, 0x18}) {
        SCOPED_TRACE(type);
        const Bytes wire = B({0x80 | type, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x00});
        EXPECT_EQ(DecodeBytes<Variant>(wire, open).status, kBadDecodingError);
    }
}

TEST(UaVariantTest, DecodedMemoryIsBoundedPerMessage) {
    // 4096 Booleans take 4 KiB on the wire and far more as Variant elements: the memory
    // bound refuses what the byte count alone lets through.
    Bytes wire = B({0x81, 0x00, 0x10, 0x00, 0x00});
    wire.resize(wire.size() + 4096, 1);
    DecodeLimits limits;
    limits.maxDecodedBytes = 4096 * sizeof(VariantScalar);
    EXPECT_EQ(DecodeBytes<Variant>(wire, limits).status, kGood);
    limits.maxDecodedBytes -= 1;
    EXPECT_EQ(DecodeBytes<Variant>(wire, limits).status, kBadEncodingLimitsExceeded);
    // Strings count by their bytes.
    limits.maxDecodedBytes = 2;
    EXPECT_EQ(DecodeBytes<std::string>(B({0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'}), limits).status,
              kBadEncodingLimitsExceeded);
}

TEST(UaDateTimeTest, TimesOutsideTheEncodableRangeGoOutAsItsEnds) {
    EXPECT_EQ(EncodeBytes(DateTime{-5}), B({0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(EncodeBytes(DateTime{2'650'467'743'990'000'000}),
              B({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(EncodeBytes(DateTime{2'650'467'743'989'999'999}),
              EncodeBytes(std::int64_t{2'650'467'743'989'999'999}));
}

TEST(UaDataValueTest, FieldsFollowTheMaskInWireOrder) {
    DataValue dv;
    dv.value = Variant::Scalar(std::int16_t{-2});
    dv.status = kBadNoCommunication;
    dv.sourceTimestamp = DateTime{1};
    dv.sourcePicoseconds = 9;
    dv.serverTimestamp = DateTime{2};
    const Bytes wire = B({0x1F, 0x04, 0xFE, 0xFF, 0x00, 0x00, 0x31, 0x80, 1, 0, 0, 0, 0,
                          0,    0,    0,    0x09, 0x00, 2,    0,    0,    0, 0, 0, 0, 0});
    EXPECT_EQ(EncodeBytes(dv), wire);
    const auto decoded = DecodeBytes<DataValue>(wire);
    EXPECT_EQ(decoded.status, kGood);
    EXPECT_EQ(decoded.value, dv);
    EXPECT_EQ(DecodeBytes<DataValue>(B({0x40})).status, kBadDecodingError);
    EXPECT_EQ(EncodeBytes(DataValue{}), B({0x00}));
}

TEST(UaExtensionObjectTest, BodyKindsAndLengths) {
    ExtensionObject object;
    object.typeId = NodeId::Numeric(0, 1);
    object.encoding = ExtensionObject::Encoding::kBinary;
    object.body = {0xAA};
    const Bytes wire = B({0x00, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0xAA});
    EXPECT_EQ(EncodeBytes(object), wire);
    EXPECT_EQ(DecodeBytes<ExtensionObject>(wire).value, object);
    EXPECT_EQ(EncodeBytes(ExtensionObject{}), B({0x00, 0x00, 0x00}));
    EXPECT_EQ(DecodeBytes<ExtensionObject>(B({0x00, 0x01, 0x03})).status, kBadDecodingError);
    EXPECT_EQ(
        DecodeBytes<ExtensionObject>(B({0x00, 0x01, 0x01, 0x05, 0x00, 0x00, 0x00, 0xAA})).status,
        kBadDecodingError);
}

// A structure of the tests' own, with a nested structure, an enumeration and arrays.
enum class Colour : std::int32_t { kRed = 0, kGreen = 1 };
struct Point {
    std::int16_t x = 0;
    std::int16_t y = 0;
    bool operator==(const Point&) const = default;
};
struct Shape {
    std::string name;
    Colour colour = Colour::kRed;
    std::vector<Point> points;
    std::vector<std::string> tags;
    bool operator==(const Shape&) const = default;
};

}  // namespace

template <>
struct StructureSchema<Point> {
    static constexpr std::string_view kName = "Point";
    static constexpr std::uint32_t kBinaryEncodingId = 90001;
    static constexpr auto kFields = std::tuple{Field{"X", &Point::x}, Field{"Y", &Point::y}};
};

template <>
struct StructureSchema<Shape> {
    static constexpr std::string_view kName = "Shape";
    static constexpr std::uint32_t kBinaryEncodingId = 90002;
    static constexpr auto kFields =
        std::tuple{Field{"Name", &Shape::name}, Field{"Colour", &Shape::colour},
                   Field{"Points", &Shape::points}, Field{"Tags", &Shape::tags}};
};

namespace {

TEST(UaStructureTest, FieldsAreEncodedInSchemaOrder) {
    const Shape shape{"L", Colour::kGreen, {{1, 2}, {-1, 0}}, {"a"}};
    const Bytes wire = B({0x01, 0x00, 0x00, 0x00, 'L',  0x01, 0x00, 0x00, 0x00, 0x02,
                          0x00, 0x00, 0x00, 0x01, 0x00, 0x02, 0x00, 0xFF, 0xFF, 0x00,
                          0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 'a'});
    EXPECT_EQ(EncodeBytes(shape), wire);
    const auto decoded = DecodeBytes<Shape>(wire);
    EXPECT_EQ(decoded.status, kGood);
    EXPECT_EQ(decoded.value, shape);
    for (std::size_t cut = 0; cut < wire.size(); ++cut) {
        EXPECT_EQ(DecodeBytes<Shape>(Bytes(wire.begin(), wire.begin() + cut)).status,
                  kBadDecodingError)
            << cut;
    }
    // 1000 points cannot fit in the 8 bytes that follow the count.
    EXPECT_EQ(
        DecodeBytes<std::vector<Point>>(B({0xE8, 0x03, 0x00, 0x00, 1, 2, 3, 4, 5, 6, 7, 8})).status,
        kBadDecodingError);
    EXPECT_EQ(
        DecodeBytes<std::vector<Point>>(B({0x02, 0x00, 0x00, 0x00, 1, 2, 3, 4, 5, 6, 7, 8})).status,
        kGood);
}

TEST(UaStructureTest, ExtensionObjectBodiesAreCheckedAndCountAsANestingLevel) {
    const Shape shape{"S", Colour::kRed, {}, {}};
    const ExtensionObject object = ToExtensionObject(shape);
    EXPECT_EQ(object.typeId, NodeId::Numeric(0, 90002));

    const Bytes none;
    BinaryReader outer(none);
    Shape back;
    EXPECT_EQ(FromExtensionObject(object, back, outer), kGood);
    EXPECT_EQ(back, shape);
    Point point;
    EXPECT_EQ(FromExtensionObject(object, point, outer), kBadDataTypeIdUnknown);

    ExtensionObject longer = object;
    longer.body.push_back(0);
    EXPECT_EQ(FromExtensionObject(longer, back, outer), kBadDecodingError);

    DecodeLimits limits;
    limits.maxNestingDepth = 1;
    BinaryReader deep(none, limits, 1);
    EXPECT_EQ(FromExtensionObject(object, back, deep), kBadEncodingLimitsExceeded);
}

}  // namespace
}  // namespace velk::ua
