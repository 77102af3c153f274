#pragma once
// What Read and the monitored items both name: an attribute of a node, and the time stamps
// a client asks to be given.
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>

#include "opcua/structure_codec.h"

namespace velk::ua {

enum class TimestampsToReturn : std::int32_t { kSource = 0, kServer = 1, kBoth = 2, kNeither = 3 };

inline constexpr std::uint32_t kAttributeIdValue = 13;

struct ReadValueId {
    NodeId nodeId;
    std::uint32_t attributeId = kAttributeIdValue;
    std::string indexRange;
    QualifiedName dataEncoding;
    bool operator==(const ReadValueId&) const = default;
};

template <>
struct StructureSchema<ReadValueId> {
    static constexpr std::string_view kName = "ReadValueId";
    static constexpr std::uint32_t kBinaryEncodingId = 628;
    static constexpr auto kFields = std::tuple{Field{"NodeId", &ReadValueId::nodeId},
                                               Field{"AttributeId", &ReadValueId::attributeId},
                                               Field{"IndexRange", &ReadValueId::indexRange},
                                               Field{"DataEncoding", &ReadValueId::dataEncoding}};
};

}  // namespace velk::ua
