#pragma once
// One Encode/Decode pair per plain built-in type (Boolean to Double, String, DateTime, Guid,
// ByteString, XmlElement, StatusCode, QualifiedName, LocalizedText). A decoder leaves its
// error in the reader; the value is then unspecified.
#include <cstdint>
#include <string>

#include "opcua/basic_types.h"
#include "opcua/binary_reader.h"
#include "opcua/binary_writer.h"
#include "opcua/status_codes.h"

namespace velk::ua {

void Encode(BinaryWriter& w, bool value);
void Encode(BinaryWriter& w, std::int8_t value);
void Encode(BinaryWriter& w, std::uint8_t value);
void Encode(BinaryWriter& w, std::int16_t value);
void Encode(BinaryWriter& w, std::uint16_t value);
void Encode(BinaryWriter& w, std::int32_t value);
void Encode(BinaryWriter& w, std::uint32_t value);
void Encode(BinaryWriter& w, std::int64_t value);
void Encode(BinaryWriter& w, std::uint64_t value);
void Encode(BinaryWriter& w, float value);
void Encode(BinaryWriter& w, double value);
void Encode(BinaryWriter& w, const std::string& value);
// A literal would otherwise take the Boolean overload.
void Encode(BinaryWriter& w, const char* value) = delete;
void Encode(BinaryWriter& w, DateTime value);
void Encode(BinaryWriter& w, const Guid& value);
void Encode(BinaryWriter& w, const ByteString& value);
void Encode(BinaryWriter& w, const XmlElement& value);
void Encode(BinaryWriter& w, StatusCode value);
void Encode(BinaryWriter& w, const QualifiedName& value);
void Encode(BinaryWriter& w, const LocalizedText& value);

// A Boolean is true for any byte but 0.
void Decode(BinaryReader& r, bool& value);
void Decode(BinaryReader& r, std::int8_t& value);
void Decode(BinaryReader& r, std::uint8_t& value);
void Decode(BinaryReader& r, std::int16_t& value);
void Decode(BinaryReader& r, std::uint16_t& value);
void Decode(BinaryReader& r, std::int32_t& value);
void Decode(BinaryReader& r, std::uint32_t& value);
void Decode(BinaryReader& r, std::int64_t& value);
void Decode(BinaryReader& r, std::uint64_t& value);
void Decode(BinaryReader& r, float& value);
void Decode(BinaryReader& r, double& value);
// A null String decodes as empty.
void Decode(BinaryReader& r, std::string& value);
void Decode(BinaryReader& r, DateTime& value);
void Decode(BinaryReader& r, Guid& value);
void Decode(BinaryReader& r, ByteString& value);
void Decode(BinaryReader& r, XmlElement& value);
void Decode(BinaryReader& r, StatusCode& value);
void Decode(BinaryReader& r, QualifiedName& value);
// A mask bit other than locale and text is BadDecodingError.
void Decode(BinaryReader& r, LocalizedText& value);

}  // namespace velk::ua
