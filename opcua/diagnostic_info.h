#pragma once
// DiagnosticInfo and its binary encoding: an encoding mask, then the fields it names. The
// inner DiagnosticInfo nests without a bound of its own, so the decoder counts its levels.
#include <cstdint>
#include <optional>
#include <string>

#include "opcua/basic_codec.h"
#include "opcua/boxed.h"

namespace velk::ua {

struct DiagnosticInfo {
    // Indexes into the string table of the response header.
    std::optional<std::int32_t> symbolicId;
    std::optional<std::int32_t> namespaceUri;
    std::optional<std::int32_t> locale;
    std::optional<std::int32_t> localizedText;
    std::optional<std::string> additionalInfo;
    std::optional<StatusCode> innerStatusCode;
    std::optional<Boxed<DiagnosticInfo>> innerDiagnosticInfo;
    bool operator==(const DiagnosticInfo&) const = default;
};

void Encode(BinaryWriter& w, const DiagnosticInfo& value);
// Mask bit 0x80 is BadDecodingError; nesting beyond the limit BadEncodingLimitsExceeded.
void Decode(BinaryReader& r, DiagnosticInfo& value);

}  // namespace velk::ua
