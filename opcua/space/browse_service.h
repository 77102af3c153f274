#pragma once
// The Browse service: the references of nodes, filtered by direction, reference type, the
// targets' node class, with the fields the result mask asks for; what does not fit in one
// result waits behind a continuation point of the session.
#include <cstdint>
#include <tuple>
#include <vector>

#include "opcua/space/service_context.h"

namespace velk::ua {

// ResultMask bits: the fields of a ReferenceDescription that are filled in.
inline constexpr std::uint32_t kResultReferenceType = 0x01;
inline constexpr std::uint32_t kResultIsForward = 0x02;
inline constexpr std::uint32_t kResultNodeClass = 0x04;
inline constexpr std::uint32_t kResultBrowseName = 0x08;
inline constexpr std::uint32_t kResultDisplayName = 0x10;
inline constexpr std::uint32_t kResultTypeDefinition = 0x20;
inline constexpr std::uint32_t kResultAll = 0x3F;

struct ViewDescription {
    NodeId viewId;
    DateTime timestamp;
    std::uint32_t viewVersion = 0;
};

struct BrowseDescription {
    NodeId nodeId;
    BrowseDirection browseDirection = BrowseDirection::kForward;
    NodeId referenceTypeId;
    bool includeSubtypes = false;
    std::uint32_t nodeClassMask = 0;
    std::uint32_t resultMask = 0;
};

struct ReferenceDescription {
    NodeId referenceTypeId;
    bool isForward = true;
    ExpandedNodeId nodeId;
    QualifiedName browseName;
    LocalizedText displayName;
    NodeClass nodeClass = NodeClass::kUnspecified;
    ExpandedNodeId typeDefinition;
};

struct BrowseResult {
    StatusCode statusCode;
    ByteString continuationPoint;
    std::vector<ReferenceDescription> references;
};

struct BrowseRequest {
    RequestHeader requestHeader;
    ViewDescription view;
    std::uint32_t requestedMaxReferencesPerNode = 0;
    std::vector<BrowseDescription> nodesToBrowse;
};

struct BrowseResponse {
    ResponseHeader responseHeader;
    std::vector<BrowseResult> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

BrowseResponse Browse(ServiceContext& context, const BrowseRequest& request);

// One result from a position: the next references, and a new continuation point when
// more are left (BadNoContinuationPoints when the session holds no more points).
BrowseResult BrowseFrom(ServiceContext& context, BrowsePosition position);

template <>
struct StructureSchema<ViewDescription> {
    static constexpr std::string_view kName = "ViewDescription";
    static constexpr auto kFields = std::tuple{Field{"ViewId", &ViewDescription::viewId},
                                               Field{"Timestamp", &ViewDescription::timestamp},
                                               Field{"ViewVersion", &ViewDescription::viewVersion}};
};

template <>
struct StructureSchema<BrowseDescription> {
    static constexpr std::string_view kName = "BrowseDescription";
    static constexpr auto kFields =
        std::tuple{Field{"NodeId", &BrowseDescription::nodeId},
                   Field{"BrowseDirection", &BrowseDescription::browseDirection},
                   Field{"ReferenceTypeId", &BrowseDescription::referenceTypeId},
                   Field{"IncludeSubtypes", &BrowseDescription::includeSubtypes},
                   Field{"NodeClassMask", &BrowseDescription::nodeClassMask},
                   Field{"ResultMask", &BrowseDescription::resultMask}};
};

template <>
struct StructureSchema<ReferenceDescription> {
    static constexpr std::string_view kName = "ReferenceDescription";
    static constexpr auto kFields =
        std::tuple{Field{"ReferenceTypeId", &ReferenceDescription::referenceTypeId},
                   Field{"IsForward", &ReferenceDescription::isForward},
                   Field{"NodeId", &ReferenceDescription::nodeId},
                   Field{"BrowseName", &ReferenceDescription::browseName},
                   Field{"DisplayName", &ReferenceDescription::displayName},
                   Field{"NodeClass", &ReferenceDescription::nodeClass},
                   Field{"TypeDefinition", &ReferenceDescription::typeDefinition}};
};

template <>
struct StructureSchema<BrowseResult> {
    static constexpr std::string_view kName = "BrowseResult";
    static constexpr auto kFields =
        std::tuple{Field{"StatusCode", &BrowseResult::statusCode},
                   Field{"ContinuationPoint", &BrowseResult::continuationPoint},
                   Field{"References", &BrowseResult::references}};
};

template <>
struct StructureSchema<BrowseRequest> {
    static constexpr std::string_view kName = "BrowseRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 527;
    static constexpr auto kFields = std::tuple{
        Field{"RequestHeader", &BrowseRequest::requestHeader}, Field{"View", &BrowseRequest::view},
        Field{"RequestedMaxReferencesPerNode", &BrowseRequest::requestedMaxReferencesPerNode},
        Field{"NodesToBrowse", &BrowseRequest::nodesToBrowse}};
};

template <>
struct StructureSchema<BrowseResponse> {
    static constexpr std::string_view kName = "BrowseResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 530;
    static constexpr auto kFields =
        std::tuple{Field{"ResponseHeader", &BrowseResponse::responseHeader},
                   Field{"Results", &BrowseResponse::results},
                   Field{"DiagnosticInfos", &BrowseResponse::diagnosticInfos}};
};

}  // namespace velk::ua
