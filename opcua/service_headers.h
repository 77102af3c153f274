#pragma once
// The headers every service request and response carries, and the ServiceFault that answers
// a request the server refuses as a whole; each with its schema table.
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "opcua/structure_codec.h"

namespace velk::ua {

struct RequestHeader {
    NodeId authenticationToken;
    DateTime timestamp;
    std::uint32_t requestHandle = 0;
    std::uint32_t returnDiagnostics = 0;
    std::string auditEntryId;
    std::uint32_t timeoutHint = 0;  // ms; 0: none
    ExtensionObject additionalHeader;
    bool operator==(const RequestHeader&) const = default;
};

struct ResponseHeader {
    DateTime timestamp;
    std::uint32_t requestHandle = 0;
    StatusCode serviceResult;
    DiagnosticInfo serviceDiagnostics;
    std::vector<std::string> stringTable;
    ExtensionObject additionalHeader;
    bool operator==(const ResponseHeader&) const = default;
};

struct ServiceFault {
    ResponseHeader responseHeader;
    bool operator==(const ServiceFault&) const = default;
};

template <>
struct StructureSchema<RequestHeader> {
    static constexpr std::string_view kName = "RequestHeader";
    static constexpr std::uint32_t kBinaryEncodingId = 391;
    static constexpr auto kFields =
        std::tuple{Field{"AuthenticationToken", &RequestHeader::authenticationToken},
                   Field{"Timestamp", &RequestHeader::timestamp},
                   Field{"RequestHandle", &RequestHeader::requestHandle},
                   Field{"ReturnDiagnostics", &RequestHeader::returnDiagnostics},
                   Field{"AuditEntryId", &RequestHeader::auditEntryId},
                   Field{"TimeoutHint", &RequestHeader::timeoutHint},
                   Field{"AdditionalHeader", &RequestHeader::additionalHeader}};
};

template <>
struct StructureSchema<ResponseHeader> {
    static constexpr std::string_view kName = "ResponseHeader";
    static constexpr std::uint32_t kBinaryEncodingId = 394;
    static constexpr auto kFields =
        std::tuple{Field{"Timestamp", &ResponseHeader::timestamp},
                   Field{"RequestHandle", &ResponseHeader::requestHandle},
                   Field{"ServiceResult", &ResponseHeader::serviceResult},
                   Field{"ServiceDiagnostics", &ResponseHeader::serviceDiagnostics},
                   Field{"StringTable", &ResponseHeader::stringTable},
                   Field{"AdditionalHeader", &ResponseHeader::additionalHeader}};
};

template <>
struct StructureSchema<ServiceFault> {
    static constexpr std::string_view kName = "ServiceFault";
    static constexpr std::uint32_t kBinaryEncodingId = 397;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &ServiceFault::responseHeader}};
};

// A service message body: the NodeId of the message's binary encoding, then the message.
template <Structure S>
std::vector<std::uint8_t> EncodeServiceMessage(const S& message, const EncodeLimits& limits = {}) {
    BinaryWriter w(limits);
    Encode(w, BinaryEncodingId<S>());
    Encode(w, message);
    return w.Ok() ? w.Take() : std::vector<std::uint8_t>{};
}

}  // namespace velk::ua
