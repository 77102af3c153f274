// Variant's encoding: a mask with the type id in its low six bits, 0x80 for an array and
// 0x40 for the dimensions that follow the elements.
#include "opcua/variant.h"

#include <array>
#include <utility>

namespace velk::ua {

namespace {

constexpr std::uint8_t kTypeMask = 0x3F;
constexpr std::uint8_t kArrayBit = 0x80;
constexpr std::uint8_t kDimensionsBit = 0x40;
// Type ids up to this one are taken: those above kLastBuiltinType are reserved for types to
// come.
constexpr std::uint8_t kLastReservedType = 31;

// The fewest bytes one encoded value of a type takes: what bounds an array's length by the
// bytes left before anything is allocated.
constexpr std::array<std::uint8_t, kLastBuiltinType + 1> kMinEncodedSize = {
    1,  // null (not an element type)
    1,  1, 1, 2, 2, 4, 4, 8, 8, 4, 8,
    4,   // String
    8,   // DateTime
    16,  // Guid
    4,   // ByteString
    4,   // XmlElement
    2,   // NodeId
    2,   // ExpandedNodeId
    4,   // StatusCode
    6,   // QualifiedName
    1,   // LocalizedText
    3,   // ExtensionObject
    1,   // DataValue
    1,   // Variant
    1,   // DiagnosticInfo
};

template <class T>
void EncodeValue(BinaryWriter& w, const T& value) {
    Encode(w, value);
}
template <class T>
void EncodeValue(BinaryWriter& w, const Boxed<T>& value) {
    Encode(w, *value);
}
void EncodeValue(BinaryWriter&, const std::monostate&) {}

template <class T>
void DecodeValue(BinaryReader& r, T& value) {
    Decode(r, value);
}
template <class T>
void DecodeValue(BinaryReader& r, Boxed<T>& value) {
    if (r.Charge(sizeof(T))) Decode(r, *value);
}

template <std::size_t I>
VariantScalar DecodeAlternative(BinaryReader& r) {
    std::variant_alternative_t<I, VariantScalar> value{};
    DecodeValue(r, value);
    return VariantScalar(std::in_place_index<I>, std::move(value));
}

using ScalarDecoder = VariantScalar (*)(BinaryReader&);

template <std::size_t... I>
constexpr std::array<ScalarDecoder, sizeof...(I)> MakeDecoders(std::index_sequence<I...>) {
    return {&DecodeAlternative<I + 1>...};
}

// Decoders of the types 1..25, at index type - 1.
constexpr auto kScalarDecoders = MakeDecoders(std::make_index_sequence<kLastBuiltinType>{});

VariantScalar DecodeScalar(BinaryReader& r, std::uint8_t type) {
    return kScalarDecoders[type - 1](r);
}

void EncodeScalar(BinaryWriter& w, const VariantScalar& value) {
    std::visit([&w](const auto& v) { EncodeValue(w, v); }, value);
}

// True when the dimensions fit count elements: a dimension of 0 or less leaves no element,
// else the dimensions multiply to count.
bool DimensionsMatch(const std::vector<std::int32_t>& dimensions, std::size_t count) {
    for (const std::int32_t d : dimensions) {
        if (d <= 0) return count == 0;
    }
    std::uint64_t product = 1;
    for (const std::int32_t d : dimensions) {
        product *= static_cast<std::uint64_t>(d);
        if (product > count) return false;
    }
    return product == count;
}

// Dimensions go on the wire only for two or more of them, each above 0; one dimension is
// the plain array, and an empty matrix is the empty array.
bool DimensionsOnTheWire(const std::vector<std::int32_t>& dimensions) {
    if (dimensions.size() < 2) return false;
    for (const std::int32_t d : dimensions) {
        if (d <= 0) return false;
    }
    return true;
}

void EncodeArray(BinaryWriter& w, const Variant& value) {
    const auto type = static_cast<std::uint8_t>(value.arrayType);
    if (type == 0 || type > kLastBuiltinType) {
        w.Fail(kBadEncodingError);
        return;
    }
    for (const auto& element : value.elements) {
        if (element.index() != type) {
            w.Fail(kBadEncodingError);
            return;
        }
    }
    if (!value.dimensions.empty() && !DimensionsMatch(value.dimensions, value.elements.size())) {
        w.Fail(kBadEncodingError);
        return;
    }
    const bool hasDimensions = DimensionsOnTheWire(value.dimensions);
    w.WriteByte(type | kArrayBit | (hasDimensions ? kDimensionsBit : 0));
    w.WriteLength(value.elements.size(), w.Limits().maxArrayLength);
    for (const auto& element : value.elements) {
        if (!w.Ok()) return;
        EncodeScalar(w, element);
    }
    if (!hasDimensions) return;
    w.WriteLength(value.dimensions.size(), w.Limits().maxArrayLength);
    for (const std::int32_t d : value.dimensions) Encode(w, d);
}

void DecodeArray(BinaryReader& r, std::uint8_t type, bool hasDimensions, Variant& value) {
    value.isArray = true;
    value.arrayType = static_cast<BuiltinType>(type);
    const std::uint32_t count = r.ReadArrayLength(kMinEncodedSize[type], sizeof(VariantScalar));
    value.elements.reserve(count);
    for (std::uint32_t i = 0; i < count && r.Ok(); ++i) {
        value.elements.push_back(DecodeScalar(r, type));
    }
    if (!hasDimensions || !r.Ok()) return;
    const std::uint32_t rank = r.ReadArrayLength(4, sizeof(std::int32_t));
    if (r.Ok() && rank == 0) r.Fail(kBadDecodingError);
    value.dimensions.reserve(rank);
    for (std::uint32_t i = 0; i < rank && r.Ok(); ++i) {
        std::int32_t d = 0;
        Decode(r, d);
        value.dimensions.push_back(d);
    }
    if (r.Ok() && !DimensionsMatch(value.dimensions, value.elements.size())) {
        r.Fail(kBadDecodingError);
    }
}

}  // namespace

Variant Variant::Array(BuiltinType type, std::vector<VariantScalar> elements,
                       std::vector<std::int32_t> dimensions) {
    Variant v;
    v.isArray = true;
    v.arrayType = type;
    v.elements = std::move(elements);
    v.dimensions = std::move(dimensions);
    return v;
}

BuiltinType Variant::Type() const {
    return isArray ? arrayType : static_cast<BuiltinType>(scalar.index());
}

bool Variant::operator==(const Variant& other) const {
    if (isArray != other.isArray || reservedTypeId != other.reservedTypeId) return false;
    if (!isArray) return scalar == other.scalar;
    return arrayType == other.arrayType && elements == other.elements &&
           dimensions == other.dimensions;
}

void Encode(BinaryWriter& w, const Variant& value) {
    if (!w.EnterNested()) return;
    if (value.isArray) {
        EncodeArray(w, value);
    } else if (value.scalar.index() == static_cast<std::size_t>(BuiltinType::kVariant)) {
        w.Fail(kBadEncodingError);
    } else {
        w.WriteByte(static_cast<std::uint8_t>(value.scalar.index()));
        EncodeScalar(w, value.scalar);
    }
    w.LeaveNested();
}

void Decode(BinaryReader& r, Variant& value) {
    NestingScope scope(r);
    if (!scope.Entered()) return;
    value = Variant{};
    const std::uint8_t mask = r.ReadByte();
    const std::uint8_t type = mask & kTypeMask;
    const bool isArray = (mask & kArrayBit) != 0;
    const bool hasDimensions = (mask & kDimensionsBit) != 0;
    if (!r.Ok()) return;
    if (type > kLastReservedType || (type == 0 && mask != 0) || (hasDimensions && !isArray) ||
        (!isArray && type == static_cast<std::uint8_t>(BuiltinType::kVariant))) {
        r.Fail(kBadDecodingError);
        return;
    }
    if (type == 0) return;
    // A type id reserved for later carries a ByteString, handed on with its id.
    const std::uint8_t decodeAs =
        type > kLastBuiltinType ? static_cast<std::uint8_t>(BuiltinType::kByteString) : type;
    if (type > kLastBuiltinType) value.reservedTypeId = type;
    if (isArray) {
        DecodeArray(r, decodeAs, hasDimensions, value);
    } else {
        value.scalar = DecodeScalar(r, decodeAs);
    }
}

}  // namespace velk::ua
