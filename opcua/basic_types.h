#pragma once
// The UA built-in types that are plain values: the type ids, and the types that have no
// C++ type of their own (Guid, ByteString, XmlElement, DateTime, QualifiedName,
// LocalizedText). Boolean to Double map to bool and the fixed-width integers, String to
// std::string (UTF-8).
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace velk::ua {

// The built-in type ids, as a Variant's encoding mask carries them.
enum class BuiltinType : std::uint8_t {
    kNull = 0,
    kBoolean = 1,
    kSByte = 2,
    kByte = 3,
    kInt16 = 4,
    kUInt16 = 5,
    kInt32 = 6,
    kUInt32 = 7,
    kInt64 = 8,
    kUInt64 = 9,
    kFloat = 10,
    kDouble = 11,
    kString = 12,
    kDateTime = 13,
    kGuid = 14,
    kByteString = 15,
    kXmlElement = 16,
    kNodeId = 17,
    kExpandedNodeId = 18,
    kStatusCode = 19,
    kQualifiedName = 20,
    kLocalizedText = 21,
    kExtensionObject = 22,
    kDataValue = 23,
    kVariant = 24,
    kDiagnosticInfo = 25,
};
inline constexpr std::uint8_t kLastBuiltinType = 25;

struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};
    bool operator==(const Guid&) const = default;
};

// A null ByteString decodes as empty.
struct ByteString {
    std::vector<std::uint8_t> bytes;
    bool operator==(const ByteString&) const = default;
};

struct XmlElement {
    std::string text;
    bool operator==(const XmlElement&) const = default;
};

// 100-nanosecond intervals since 1601-01-01 UTC, the same count as velk::FileTime; 0 is the
// null time.
struct DateTime {
    std::int64_t ticks = 0;
    bool operator==(const DateTime&) const = default;
};

struct QualifiedName {
    std::uint16_t namespaceIndex = 0;
    std::string name;
    bool operator==(const QualifiedName&) const = default;
};

// An absent locale or text encodes as absent, an empty one too.
struct LocalizedText {
    std::string locale;
    std::string text;
    bool operator==(const LocalizedText&) const = default;
};

}  // namespace velk::ua
