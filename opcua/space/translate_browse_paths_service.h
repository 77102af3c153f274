#pragma once
// The TranslateBrowsePathsToNodeIds service: follows relative paths of browse names from a
// starting node to the NodeIds they lead to.
#include <cstdint>
#include <tuple>
#include <vector>

#include "opcua/space/service_context.h"

namespace velk::ua {

// The remaining path index of a target the whole path led to.
inline constexpr std::uint32_t kPathComplete = 0xFFFFFFFFu;

struct RelativePathElement {
    NodeId referenceTypeId;
    bool isInverse = false;
    bool includeSubtypes = false;
    QualifiedName targetName;
};

struct RelativePath {
    std::vector<RelativePathElement> elements;
};

struct BrowsePath {
    NodeId startingNode;
    RelativePath relativePath;
};

struct BrowsePathTarget {
    ExpandedNodeId targetId;
    std::uint32_t remainingPathIndex = kPathComplete;
};

struct BrowsePathResult {
    StatusCode statusCode;
    std::vector<BrowsePathTarget> targets;
};

struct TranslateBrowsePathsToNodeIdsRequest {
    RequestHeader requestHeader;
    std::vector<BrowsePath> browsePaths;
};

struct TranslateBrowsePathsToNodeIdsResponse {
    ResponseHeader responseHeader;
    std::vector<BrowsePathResult> results;
    std::vector<DiagnosticInfo> diagnosticInfos;
};

TranslateBrowsePathsToNodeIdsResponse TranslateBrowsePathsToNodeIds(
    ServiceContext& context, const TranslateBrowsePathsToNodeIdsRequest& request);

template <>
struct StructureSchema<RelativePathElement> {
    static constexpr std::string_view kName = "RelativePathElement";
    static constexpr auto kFields =
        std::tuple{Field{"ReferenceTypeId", &RelativePathElement::referenceTypeId},
                   Field{"IsInverse", &RelativePathElement::isInverse},
                   Field{"IncludeSubtypes", &RelativePathElement::includeSubtypes},
                   Field{"TargetName", &RelativePathElement::targetName}};
};

template <>
struct StructureSchema<RelativePath> {
    static constexpr std::string_view kName = "RelativePath";
    static constexpr auto kFields = std::tuple{Field{"Elements", &RelativePath::elements}};
};

template <>
struct StructureSchema<BrowsePath> {
    static constexpr std::string_view kName = "BrowsePath";
    static constexpr auto kFields = std::tuple{Field{"StartingNode", &BrowsePath::startingNode},
                                               Field{"RelativePath", &BrowsePath::relativePath}};
};

template <>
struct StructureSchema<BrowsePathTarget> {
    static constexpr std::string_view kName = "BrowsePathTarget";
    static constexpr auto kFields =
        std::tuple{Field{"TargetId", &BrowsePathTarget::targetId},
                   Field{"RemainingPathIndex", &BrowsePathTarget::remainingPathIndex}};
};

template <>
struct StructureSchema<BrowsePathResult> {
    static constexpr std::string_view kName = "BrowsePathResult";
    static constexpr auto kFields = std::tuple{Field{"StatusCode", &BrowsePathResult::statusCode},
                                               Field{"Targets", &BrowsePathResult::targets}};
};

template <>
struct StructureSchema<TranslateBrowsePathsToNodeIdsRequest> {
    static constexpr std::string_view kName = "TranslateBrowsePathsToNodeIdsRequest";
    static constexpr std::uint32_t kBinaryEncodingId = 554;
    static constexpr auto kFields =
        std::tuple{Field{"RequestHeader", &TranslateBrowsePathsToNodeIdsRequest::requestHeader},
                   Field{"BrowsePaths", &TranslateBrowsePathsToNodeIdsRequest::browsePaths}};
};

template <>
struct StructureSchema<TranslateBrowsePathsToNodeIdsResponse> {
    static constexpr std::string_view kName = "TranslateBrowsePathsToNodeIdsResponse";
    static constexpr std::uint32_t kBinaryEncodingId = 557;
    static constexpr auto kFields = std::tuple{
        Field{"ResponseHeader", &TranslateBrowsePathsToNodeIdsResponse::responseHeader},
        Field{"Results", &TranslateBrowsePathsToNodeIdsResponse::results},
        Field{"DiagnosticInfos", &TranslateBrowsePathsToNodeIdsResponse::diagnosticInfos}};
};

}  // namespace velk::ua
