#pragma once
// Structures as lists of fields. A structure type names its fields once, in wire order, in
// a StructureSchema specialisation (its schema table):
//
//     template <> struct StructureSchema<ChannelSecurityToken> {
//         static constexpr std::string_view kName = "ChannelSecurityToken";
//         static constexpr std::uint32_t kBinaryEncodingId = 443;
//         static constexpr auto kFields = std::tuple{
//             Field{"ChannelId", &ChannelSecurityToken::channelId}, ...};
//     };
//
// (kBinaryEncodingId only for a structure sent in an ExtensionObject or as a service
// message) and Encode/Decode below walk that list: every field is encoded by the built-in type's
// pair, by its enumeration (as Int32), by its structure's schema, or as an array
// (std::vector) of any of these. No service has an encoder of its own.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "opcua/basic_codec.h"
#include "opcua/binary_reader.h"
#include "opcua/binary_writer.h"
#include "opcua/data_value.h"
#include "opcua/diagnostic_info.h"
#include "opcua/extension_object.h"
#include "opcua/node_id.h"
#include "opcua/variant.h"

namespace velk::ua {

template <class S, class M>
struct Field {
    std::string_view name;
    M S::*member;
};
// Spelled out for compilers without deduction for aggregates (clang before 17).
template <class S, class M>
Field(std::string_view, M S::*) -> Field<S, M>;

template <class S>
struct StructureSchema;

template <class S>
concept Structure = requires {
    StructureSchema<S>::kFields;
};

template <class E>
concept Enumeration = std::is_enum_v<E>;

// The fewest bytes a value of T takes on the wire: what bounds an array of T by the bytes
// left.
template <class T>
constexpr std::size_t MinEncodedSize();

namespace detail {

template <class T>
struct IsVector : std::false_type {};
template <class T>
struct IsVector<std::vector<T>> : std::true_type {};

template <class S>
constexpr std::size_t StructureMinSize() {
    return std::apply(
        [](const auto&... field) {
            return (
                std::size_t{0} + ... +
                MinEncodedSize<std::remove_cvref_t<decltype(std::declval<S>().*(field.member))>>());
        },
        StructureSchema<S>::kFields);
}

}  // namespace detail

template <class T>
constexpr std::size_t MinEncodedSize() {
    if constexpr (detail::IsVector<T>::value) {
        return 4;
    } else if constexpr (Structure<T>) {
        return detail::StructureMinSize<T>();
    } else if constexpr (Enumeration<T>) {
        return 4;
    } else if constexpr (std::is_arithmetic_v<T>) {
        return sizeof(T);
    } else if constexpr (std::is_same_v<T, Guid>) {
        return 16;
    } else if constexpr (std::is_same_v<T, DateTime>) {
        return 8;
    } else if constexpr (std::is_same_v<T, std::string> || std::is_same_v<T, ByteString> ||
                         std::is_same_v<T, XmlElement> || std::is_same_v<T, StatusCode>) {
        return 4;
    } else if constexpr (std::is_same_v<T, NodeId> || std::is_same_v<T, ExpandedNodeId>) {
        return 2;
    } else if constexpr (std::is_same_v<T, QualifiedName>) {
        return 6;
    } else if constexpr (std::is_same_v<T, ExtensionObject>) {
        return 3;
    } else {
        // LocalizedText, DataValue, Variant, DiagnosticInfo: one mask byte.
        return 1;
    }
}

template <Enumeration E>
void Encode(BinaryWriter& w, E value) {
    Encode(w, static_cast<std::int32_t>(value));
}

template <Enumeration E>
void Decode(BinaryReader& r, E& value) {
    std::int32_t raw = 0;
    Decode(r, raw);
    value = static_cast<E>(raw);
}

template <Structure S>
void Encode(BinaryWriter& w, const S& value);
template <Structure S>
void Decode(BinaryReader& r, S& value);

template <class T>
void Encode(BinaryWriter& w, const std::vector<T>& values) {
    w.WriteLength(values.size(), w.Limits().maxArrayLength);
    for (const T& v : values) {
        if (!w.Ok()) return;
        Encode(w, v);
    }
}

// A null array decodes as empty.
template <class T>
void Decode(BinaryReader& r, std::vector<T>& values) {
    const std::uint32_t count = r.ReadArrayLength(MinEncodedSize<T>(), sizeof(T));
    values.clear();
    values.reserve(count);
    for (std::uint32_t i = 0; i < count && r.Ok(); ++i) {
        T v{};
        Decode(r, v);
        values.push_back(std::move(v));
    }
}

template <Structure S>
void Encode(BinaryWriter& w, const S& value) {
    std::apply([&](const auto&... field) { (Encode(w, value.*(field.member)), ...); },
               StructureSchema<S>::kFields);
}

template <Structure S>
void Decode(BinaryReader& r, S& value) {
    std::apply([&](const auto&... field) { (Decode(r, value.*(field.member)), ...); },
               StructureSchema<S>::kFields);
}

// The NodeId of a structure's binary encoding, as its ExtensionObject and a message's type
// carry it.
template <Structure S>
NodeId BinaryEncodingId() {
    return NodeId::Numeric(0, StructureSchema<S>::kBinaryEncodingId);
}

// A structure wrapped in an ExtensionObject with a binary body.
template <Structure S>
ExtensionObject ToExtensionObject(const S& value, const EncodeLimits& limits = {}) {
    BinaryWriter w(limits);
    Encode(w, value);
    ExtensionObject object;
    object.typeId = BinaryEncodingId<S>();
    object.encoding = ExtensionObject::Encoding::kBinary;
    object.body = w.Take();
    return object;
}

// Decodes an ExtensionObject's body as S: BadDataTypeIdUnknown for another type id or a
// body that is not binary, BadDecodingError for a body that S does not fill exactly. The
// body counts as one nesting level below outer (the reader the object came from), and its
// memory is counted with outer's.
template <Structure S>
StatusCode FromExtensionObject(const ExtensionObject& object, S& value, BinaryReader& outer) {
    if (object.typeId != BinaryEncodingId<S>() ||
        object.encoding != ExtensionObject::Encoding::kBinary) {
        return kBadDataTypeIdUnknown;
    }
    BinaryReader r = outer.Nested(object.body);
    {
        NestingScope scope(r);
        if (scope.Entered()) Decode(r, value);
    }
    if (r.Ok() && r.Remaining() != 0) r.Fail(kBadDecodingError);
    outer.TakeCharges(r);
    return r.Status();
}

}  // namespace velk::ua
