#pragma once
// Variant: a value of any built-in type, a scalar or an array (with its dimensions for a
// multi-dimensional one), and its binary encoding.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "opcua/basic_types.h"
#include "opcua/boxed.h"
#include "opcua/diagnostic_info.h"
#include "opcua/extension_object.h"
#include "opcua/node_id.h"

namespace velk::ua {

struct DataValue;
struct Variant;

// One value of a Variant. The alternative's index is its BuiltinType id (0: null).
using VariantScalar =
    std::variant<std::monostate, bool, std::int8_t, std::uint8_t, std::int16_t, std::uint16_t,
                 std::int32_t, std::uint32_t, std::int64_t, std::uint64_t, float, double,
                 std::string, DateTime, Guid, ByteString, XmlElement, NodeId, ExpandedNodeId,
                 StatusCode, QualifiedName, LocalizedText, ExtensionObject, Boxed<DataValue>,
                 Boxed<Variant>, DiagnosticInfo>;

struct Variant {
    // The value of a scalar Variant (monostate: the null Variant).
    VariantScalar scalar;
    bool isArray = false;
    // For an array: the type of every element, the elements (in row order for several
    // dimensions) and the dimensions (empty for one dimension).
    BuiltinType arrayType = BuiltinType::kNull;
    std::vector<VariantScalar> elements;
    std::vector<std::int32_t> dimensions;
    // A received type id reserved for types to come (26..31): the value is then held as
    // ByteString(s). Encoding sends it as ByteString, as ids not yet assigned are not sent.
    std::uint8_t reservedTypeId = 0;

    template <class T>
    static Variant Scalar(T value) {
        Variant v;
        v.scalar = std::move(value);
        return v;
    }
    static Variant Array(BuiltinType type, std::vector<VariantScalar> elements,
                         std::vector<std::int32_t> dimensions = {});

    BuiltinType Type() const;
    bool IsNull() const { return !isArray && scalar.index() == 0; }
    bool operator==(const Variant& other) const;
};

// A scalar Variant of type Variant, an array element of another type than the array's and
// dimensions that do not fit the element count are BadEncodingError. Dimensions are sent
// for two or more, all above 0.
void Encode(BinaryWriter& w, const Variant& value);
// A type id above 31, a scalar of type Variant, dimensions without an array, no
// dimensions, or dimensions that do not fit the element count (a dimension of 0 or less
// leaves none) are BadDecodingError; array lengths, memory and nesting are bounded by the
// reader's limits.
void Decode(BinaryReader& r, Variant& value);

}  // namespace velk::ua

// DataValue holds a Variant and a Variant may hold a DataValue: users of either get both.
#include "opcua/data_value.h"
