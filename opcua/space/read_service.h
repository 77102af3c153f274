#pragma once
// The Read service: any attribute of the nodes served; the Value of a plant tag through the
// session's tag value reader, with the status and time stamps asked for.
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "opcua/read_value_id.h"
#include "opcua/space/service_context.h"

namespace velk::ua {

struct ReadRequest {
    RequestHeader requestHeader;
    double maxAge = 0.0;
    TimestampsToReturn timestampsToReturn = TimestampsToReturn::kSource;
    std::vector<ReadValueId> nodesToRead;
};

struct ReadResponse {
    ResponseHeader responseHeader;
    std::vector<DataValue> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

ReadResponse Read(ServiceContext& context, const ReadRequest& request);

// The value of one attribute of a node other than a tag's Value: BadAttributeIdInvalid when
// the node's class has no such attribute.
StatusCode ReadAttribute(const Node& node, AttributeId attribute, Variant& value);

template <>
struct StructureSchema<ReadRequest> {
    static constexpr std::string_view kName = "ReadRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 631;
    static constexpr auto kFields = std::tuple{
        Field{"RequestHeader", &ReadRequest::requestHeader}, Field{"MaxAge", &ReadRequest::maxAge},
        Field{"TimestampsToReturn", &ReadRequest::timestampsToReturn},
        Field{"NodesToRead", &ReadRequest::nodesToRead}};
};

template <>
struct StructureSchema<ReadResponse> {
    static constexpr std::string_view kName = "ReadResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 634;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &ReadResponse::responseHeader},
                   Field{"Results", &ReadResponse::results},
                   Field{"DiagnosticInfos", &ReadResponse::diagnosticInfos}};
};

}  // namespace velk::ua
