#pragma once
// ExtensionObject: a structure carried with the NodeId of its encoding, its body kept as
// bytes. The body of a known structure is decoded by structure_codec.h, which counts the
// nesting level the body adds.
#include <cstdint>
#include <vector>

#include "opcua/node_id.h"

namespace velk::ua {

struct ExtensionObject {
    enum class Encoding : std::uint8_t { kNone = 0, kBinary = 1, kXml = 2 };
    // The NodeId of the body's encoding (for the binary body, the type's
    // "Default Binary" encoding node).
    NodeId typeId;
    Encoding encoding = Encoding::kNone;
    // The binary body, or the XML element's UTF-8 text.
    std::vector<std::uint8_t> body;
    bool operator==(const ExtensionObject&) const = default;
};

void Encode(BinaryWriter& w, const ExtensionObject& value);
// An encoding byte other than 0, 1 and 2 is BadDecodingError; a body is bounded as a
// ByteString.
void Decode(BinaryReader& r, ExtensionObject& value);

}  // namespace velk::ua
