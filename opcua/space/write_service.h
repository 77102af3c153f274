#pragma once
// The Write service: the Value of plant tags the client may write, through the tag value
// writer (the DA write path); every other attribute is read-only here.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "opcua/space/service_context.h"

namespace velk::ua {

// Writes a plant tag's Value: the value converted to the tag's type and range-checked, then
// one exchange with the controller (the DA write path). Good, or BadNodeIdUnknown,
// BadNotWritable, BadUserAccessDenied, BadTypeMismatch, BadOutOfRange, BadCommunicationError.
class ITagValueWriter {
  public:
    virtual ~ITagValueWriter() = default;
    virtual StatusCode WriteTagValue(const NodeId& node, const Variant& value) = 0;
};

struct WriteValue {
    NodeId nodeId;
    std::uint32_t attributeId = 0;
    std::string indexRange;
    DataValue value;
    bool operator==(const WriteValue&) const = default;
};

struct WriteRequest {
    RequestHeader requestHeader;
    std::vector<WriteValue> nodesToWrite;
};

struct WriteResponse {
    ResponseHeader responseHeader;
    std::vector<StatusCode> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

// Per node, in this order: BadNodeIdUnknown for a node that is not there; for an attribute
// other than Value BadAttributeIdInvalid when the node has no such attribute, else
// BadNotWritable; BadWriteNotSupported for an index range or a value that carries a status
// or a time stamp (the controller keeps neither); BadNotWritable without CurrentWrite in
// AccessLevel (and for a Value that is no plant tag's), BadUserAccessDenied without it in
// UserAccessLevel; then the writer's code. The request as a whole: BadNothingToDo when
// empty, BadTooManyOperations past maxNodesPerWrite (in the response header).
WriteResponse Write(ServiceContext& context, ITagValueWriter& writer, const WriteRequest& request);

// The encoded WriteResponse (or ServiceFault) to an encoded WriteRequest body, as
// CallSpaceService answers the other services.
std::vector<std::uint8_t> CallWriteService(ServiceContext& context, ITagValueWriter& writer,
                                           std::span<const std::uint8_t> body,
                                           const DecodeLimits& limits = {});

template <>
struct StructureSchema<WriteValue> {
    static constexpr std::string_view kName = "WriteValue";
    static constexpr std::uint32_t kBinaryEncodingId = 670;
    static constexpr auto kFields = std::tuple{
        Field{"NodeId", &WriteValue::nodeId}, Field{"AttributeId", &WriteValue::attributeId},
        Field{"IndexRange", &WriteValue::indexRange}, Field{"Value", &WriteValue::value}};
};

template <>
struct StructureSchema<WriteRequest> {
    static constexpr std::string_view kName = "WriteRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 673;
    static constexpr auto kFields = std::tuple{Field{"RequestHeader", &WriteRequest::requestHeader},
                                               Field{"NodesToWrite", &WriteRequest::nodesToWrite}};
};

template <>
struct StructureSchema<WriteResponse> {
    static constexpr std::string_view kName = "WriteResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 676;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &WriteResponse::responseHeader},
                   Field{"Results", &WriteResponse::results},
                   Field{"DiagnosticInfos", &WriteResponse::diagnosticInfos}};
};

}  // namespace velk::ua
