#pragma once
// NodeId and ExpandedNodeId, and their binary encodings. The encoder picks the shortest
// numeric form (two-byte, four-byte, numeric) that holds the value; the decoder takes every
// form.
#include <cstdint>
#include <string>
#include <variant>

#include "opcua/basic_codec.h"
#include "opcua/basic_types.h"

namespace velk::ua {

struct NodeId {
    std::uint16_t namespaceIndex = 0;
    // Numeric, String, Guid or opaque (ByteString) identifier.
    std::variant<std::uint32_t, std::string, Guid, ByteString> identifier = std::uint32_t{0};

    static NodeId Numeric(std::uint16_t ns, std::uint32_t id) { return {ns, id}; }
    static NodeId String(std::uint16_t ns, std::string id) { return {ns, std::move(id)}; }
    // The null NodeId: namespace 0, numeric 0.
    bool IsNull() const;
    bool operator==(const NodeId&) const = default;
};

struct ExpandedNodeId {
    NodeId nodeId;
    // When not empty, names the namespace instead of nodeId.namespaceIndex.
    std::string namespaceUri;
    // 0 is the local server.
    std::uint32_t serverIndex = 0;
    bool operator==(const ExpandedNodeId&) const = default;
};

void Encode(BinaryWriter& w, const NodeId& value);
void Encode(BinaryWriter& w, const ExpandedNodeId& value);
// An unknown encoding byte, or one with the ExpandedNodeId flags, is BadDecodingError.
void Decode(BinaryReader& r, NodeId& value);
void Decode(BinaryReader& r, ExpandedNodeId& value);

}  // namespace velk::ua
