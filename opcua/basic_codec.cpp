// The binary encoding of the plain built-in types: little endian, IEEE 754 floats, strings
// as an Int32 byte count and UTF-8 bytes.
#include "opcua/basic_codec.h"

#include <bit>
#include <limits>

namespace velk::ua {

namespace {

constexpr std::uint8_t kLocaleBit = 0x01;
constexpr std::uint8_t kTextBit = 0x02;

void EncodeText(BinaryWriter& w, const std::string& text, std::uint32_t limit) {
    w.WriteLength(text.size(), limit);
    w.WriteBytes({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

void DecodeText(BinaryReader& r, std::string& text, std::uint32_t limit) {
    bool isNull = false;
    const std::uint32_t length = r.ReadByteLength(limit, isNull);
    const auto bytes = r.ReadBytes(length);
    text.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

void Encode(BinaryWriter& w, bool value) { w.WriteByte(value ? 1 : 0); }
void Encode(BinaryWriter& w, std::int8_t value) { w.WriteByte(static_cast<std::uint8_t>(value)); }
void Encode(BinaryWriter& w, std::uint8_t value) { w.WriteByte(value); }
void Encode(BinaryWriter& w, std::int16_t value) {
    w.WriteUInt16(static_cast<std::uint16_t>(value));
}
void Encode(BinaryWriter& w, std::uint16_t value) { w.WriteUInt16(value); }
void Encode(BinaryWriter& w, std::int32_t value) {
    w.WriteUInt32(static_cast<std::uint32_t>(value));
}
void Encode(BinaryWriter& w, std::uint32_t value) { w.WriteUInt32(value); }
void Encode(BinaryWriter& w, std::int64_t value) {
    w.WriteUInt64(static_cast<std::uint64_t>(value));
}
void Encode(BinaryWriter& w, std::uint64_t value) { w.WriteUInt64(value); }
void Encode(BinaryWriter& w, float value) { w.WriteUInt32(std::bit_cast<std::uint32_t>(value)); }
void Encode(BinaryWriter& w, double value) { w.WriteUInt64(std::bit_cast<std::uint64_t>(value)); }
void Encode(BinaryWriter& w, const std::string& value) {
    EncodeText(w, value, w.Limits().maxStringLength);
}
// Times before 1601 go out as 0, times from 9999-12-31 23:59:59 on as the largest Int64: the
// two ends every peer understands.
void Encode(BinaryWriter& w, DateTime value) {
    constexpr std::int64_t kLatest = 2'650'467'743'990'000'000;
    Encode(w, value.ticks < 0          ? std::int64_t{0}
              : value.ticks >= kLatest ? std::numeric_limits<std::int64_t>::max()
                                       : value.ticks);
}

void Encode(BinaryWriter& w, const Guid& value) {
    w.WriteUInt32(value.data1);
    w.WriteUInt16(value.data2);
    w.WriteUInt16(value.data3);
    w.WriteBytes(value.data4);
}

void Encode(BinaryWriter& w, const ByteString& value) {
    w.WriteLength(value.bytes.size(), w.Limits().maxStringLength);
    w.WriteBytes(value.bytes);
}

void Encode(BinaryWriter& w, const XmlElement& value) {
    EncodeText(w, value.text, w.Limits().maxStringLength);
}

void Encode(BinaryWriter& w, StatusCode value) { w.WriteUInt32(value.code); }

void Encode(BinaryWriter& w, const QualifiedName& value) {
    w.WriteUInt16(value.namespaceIndex);
    Encode(w, value.name);
}

void Encode(BinaryWriter& w, const LocalizedText& value) {
    const std::uint8_t mask =
        (value.locale.empty() ? 0 : kLocaleBit) | (value.text.empty() ? 0 : kTextBit);
    w.WriteByte(mask);
    if ((mask & kLocaleBit) != 0) Encode(w, value.locale);
    if ((mask & kTextBit) != 0) Encode(w, value.text);
}

void Decode(BinaryReader& r, bool& value) { value = r.ReadByte() != 0; }
void Decode(BinaryReader& r, std::int8_t& value) { value = static_cast<std::int8_t>(r.ReadByte()); }
void Decode(BinaryReader& r, std::uint8_t& value) { value = r.ReadByte(); }
void Decode(BinaryReader& r, std::int16_t& value) {
    value = static_cast<std::int16_t>(r.ReadUInt16());
}
void Decode(BinaryReader& r, std::uint16_t& value) { value = r.ReadUInt16(); }
void Decode(BinaryReader& r, std::int32_t& value) {
    value = static_cast<std::int32_t>(r.ReadUInt32());
}
void Decode(BinaryReader& r, std::uint32_t& value) { value = r.ReadUInt32(); }
void Decode(BinaryReader& r, std::int64_t& value) {
    value = static_cast<std::int64_t>(r.ReadUInt64());
}
void Decode(BinaryReader& r, std::uint64_t& value) { value = r.ReadUInt64(); }
void Decode(BinaryReader& r, float& value) { value = std::bit_cast<float>(r.ReadUInt32()); }
void Decode(BinaryReader& r, double& value) { value = std::bit_cast<double>(r.ReadUInt64()); }
void Decode(BinaryReader& r, std::string& value) {
    DecodeText(r, value, r.Limits().maxStringLength);
}
void Decode(BinaryReader& r, DateTime& value) { Decode(r, value.ticks); }

void Decode(BinaryReader& r, Guid& value) {
    value.data1 = r.ReadUInt32();
    value.data2 = r.ReadUInt16();
    value.data3 = r.ReadUInt16();
    const auto bytes = r.ReadBytes(value.data4.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) value.data4[i] = bytes[i];
}

void Decode(BinaryReader& r, ByteString& value) {
    bool isNull = false;
    const std::uint32_t length = r.ReadByteLength(r.Limits().maxByteStringLength, isNull);
    const auto bytes = r.ReadBytes(length);
    value.bytes.assign(bytes.begin(), bytes.end());
}

void Decode(BinaryReader& r, XmlElement& value) {
    DecodeText(r, value.text, r.Limits().maxStringLength);
}

void Decode(BinaryReader& r, StatusCode& value) { value.code = r.ReadUInt32(); }

void Decode(BinaryReader& r, QualifiedName& value) {
    value.namespaceIndex = r.ReadUInt16();
    Decode(r, value.name);
}

void Decode(BinaryReader& r, LocalizedText& value) {
    const std::uint8_t mask = r.ReadByte();
    if ((mask & ~(kLocaleBit | kTextBit)) != 0) r.Fail(kBadDecodingError);
    value.locale.clear();
    value.text.clear();
    if ((mask & kLocaleBit) != 0) Decode(r, value.locale);
    if ((mask & kTextBit) != 0) Decode(r, value.text);
}

}  // namespace velk::ua
