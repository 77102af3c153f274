// The binary encodings of NodeId: an encoding byte, then the namespace and identifier in
// the form it names. ExpandedNodeId sets two flags of that byte for the namespace URI and
// the server index that follow.
#include "opcua/node_id.h"

namespace velk::ua {

namespace {

enum : std::uint8_t {
    kTwoByte = 0x00,
    kFourByte = 0x01,
    kNumeric = 0x02,
    kString = 0x03,
    kGuid = 0x04,
    kByteString = 0x05,
};
constexpr std::uint8_t kNamespaceUriFlag = 0x80;
constexpr std::uint8_t kServerIndexFlag = 0x40;
constexpr std::uint8_t kFormMask = 0x3F;

void EncodeNodeId(BinaryWriter& w, const NodeId& value, std::uint8_t flags) {
    const std::uint16_t ns = value.namespaceIndex;
    if (const auto* numeric = std::get_if<std::uint32_t>(&value.identifier)) {
        if (ns == 0 && *numeric <= 0xFF) {
            w.WriteByte(kTwoByte | flags);
            w.WriteByte(static_cast<std::uint8_t>(*numeric));
        } else if (ns <= 0xFF && *numeric <= 0xFFFF) {
            w.WriteByte(kFourByte | flags);
            w.WriteByte(static_cast<std::uint8_t>(ns));
            w.WriteUInt16(static_cast<std::uint16_t>(*numeric));
        } else {
            w.WriteByte(kNumeric | flags);
            w.WriteUInt16(ns);
            w.WriteUInt32(*numeric);
        }
        return;
    }
    const std::uint8_t form = std::holds_alternative<std::string>(value.identifier) ? kString
                              : std::holds_alternative<Guid>(value.identifier)      ? kGuid
                                                                                    : kByteString;
    w.WriteByte(form | flags);
    w.WriteUInt16(ns);
    std::visit(
        [&w](const auto& id) {
            if constexpr (!std::is_same_v<std::decay_t<decltype(id)>, std::uint32_t>) Encode(w, id);
        },
        value.identifier);
}

void DecodeNodeIdForm(BinaryReader& r, std::uint8_t form, NodeId& value) {
    switch (form) {
        case kTwoByte:
            value.namespaceIndex = 0;
            value.identifier = std::uint32_t{r.ReadByte()};
            return;
        case kFourByte:
            value.namespaceIndex = r.ReadByte();
            value.identifier = std::uint32_t{r.ReadUInt16()};
            return;
        case kNumeric:
            value.namespaceIndex = r.ReadUInt16();
            value.identifier = r.ReadUInt32();
            return;
        case kString: {
            value.namespaceIndex = r.ReadUInt16();
            std::string id;
            Decode(r, id);
            value.identifier = std::move(id);
            return;
        }
        case kGuid: {
            value.namespaceIndex = r.ReadUInt16();
            Guid id;
            Decode(r, id);
            value.identifier = id;
            return;
        }
        case kByteString: {
            value.namespaceIndex = r.ReadUInt16();
            ByteString id;
            Decode(r, id);
            value.identifier = std::move(id);
            return;
        }
        default:
            r.Fail(kBadDecodingError);
    }
}

}  // namespace

bool NodeId::IsNull() const {
    const auto* numeric = std::get_if<std::uint32_t>(&identifier);
    return namespaceIndex == 0 && numeric != nullptr && *numeric == 0;
}

void Encode(BinaryWriter& w, const NodeId& value) { EncodeNodeId(w, value, 0); }

void Encode(BinaryWriter& w, const ExpandedNodeId& value) {
    const std::uint8_t flags = (value.namespaceUri.empty() ? 0 : kNamespaceUriFlag) |
                               (value.serverIndex == 0 ? 0 : kServerIndexFlag);
    NodeId nodeId = value.nodeId;
    // With a URI the index is not used; 0 keeps the short forms open.
    if (!value.namespaceUri.empty()) nodeId.namespaceIndex = 0;
    EncodeNodeId(w, nodeId, flags);
    if (!value.namespaceUri.empty()) Encode(w, value.namespaceUri);
    if (value.serverIndex != 0) w.WriteUInt32(value.serverIndex);
}

void Decode(BinaryReader& r, NodeId& value) {
    const std::uint8_t encoding = r.ReadByte();
    if ((encoding & ~kFormMask) != 0) {
        r.Fail(kBadDecodingError);
        return;
    }
    DecodeNodeIdForm(r, encoding, value);
}

void Decode(BinaryReader& r, ExpandedNodeId& value) {
    const std::uint8_t encoding = r.ReadByte();
    DecodeNodeIdForm(r, encoding & kFormMask, value.nodeId);
    value.namespaceUri.clear();
    value.serverIndex = 0;
    if ((encoding & kNamespaceUriFlag) != 0) {
        Decode(r, value.namespaceUri);
        // The URI names the namespace; an index sent beside it means nothing.
        value.nodeId.namespaceIndex = 0;
    }
    if ((encoding & kServerIndexFlag) != 0) value.serverIndex = r.ReadUInt32();
}

}  // namespace velk::ua
