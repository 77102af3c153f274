// ExtensionObject's encoding: the type's NodeId, an encoding byte and, unless the byte is 0,
// the body as a length-prefixed byte string.
#include "opcua/extension_object.h"

namespace velk::ua {

void Encode(BinaryWriter& w, const ExtensionObject& value) {
    Encode(w, value.typeId);
    const bool hasBody = value.encoding != ExtensionObject::Encoding::kNone;
    w.WriteByte(static_cast<std::uint8_t>(value.encoding));
    if (!hasBody) return;
    w.WriteLength(value.body.size(), w.Limits().maxStringLength);
    w.WriteBytes(value.body);
}

void Decode(BinaryReader& r, ExtensionObject& value) {
    Decode(r, value.typeId);
    const std::uint8_t encoding = r.ReadByte();
    value.body.clear();
    if (encoding > static_cast<std::uint8_t>(ExtensionObject::Encoding::kXml)) {
        r.Fail(kBadDecodingError);
        return;
    }
    value.encoding = static_cast<ExtensionObject::Encoding>(encoding);
    if (value.encoding == ExtensionObject::Encoding::kNone) return;
    bool isNull = false;
    const std::uint32_t length = r.ReadByteLength(r.Limits().maxByteStringLength, isNull);
    const auto bytes = r.ReadBytes(length);
    value.body.assign(bytes.begin(), bytes.end());
}

}  // namespace velk::ua
