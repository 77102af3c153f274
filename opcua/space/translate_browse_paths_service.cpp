#include "opcua/space/translate_browse_paths_service.h"

#include "opcua/space/standard_node_ids.h"
#include "opcua/status_codes.h"

namespace velk::ua {

namespace {

// The nodes reached from each of from by one element of a path.
std::vector<NodeId> Step(const IAddressSpace& space, const std::vector<NodeId>& from,
                         const RelativePathElement& element) {
    ReferenceFilter filter;
    filter.direction = element.isInverse ? BrowseDirection::kInverse : BrowseDirection::kForward;
    filter.referenceTypeId = element.referenceTypeId;
    filter.includeSubtypes = element.includeSubtypes;
    std::vector<NodeId> reached;
    for (const NodeId& id : from) {
        const std::optional<Node> node = space.FindNode(id);
        if (!node) continue;
        for (const MatchedReference& m : MatchReferences(space, *node, filter)) {
            if (!(m.target.browseName == element.targetName)) continue;
            bool known = false;
            for (const NodeId& r : reached) known = known || r == m.target.nodeId;
            if (!known) reached.push_back(m.target.nodeId);
        }
    }
    return reached;
}

BrowsePathResult Translate(const IAddressSpace& space, const BrowsePath& path) {
    BrowsePathResult result;
    const std::vector<RelativePathElement>& elements = path.relativePath.elements;
    if (!space.FindNode(path.startingNode)) {
        result.statusCode = kBadNodeIdUnknown;
        return result;
    }
    if (elements.empty()) {
        result.statusCode = kBadNothingToDo;
        return result;
    }
    for (const RelativePathElement& e : elements) {
        if (e.targetName.name.empty()) {
            result.statusCode = kBadBrowseNameInvalid;
            return result;
        }
        // A reference type that is not one matches nothing.
        if (!e.referenceTypeId.IsNull() && !IsReferenceType(space, e.referenceTypeId)) {
            result.statusCode = kBadNoMatch;
            return result;
        }
    }
    std::vector<NodeId> current{path.startingNode};
    for (const RelativePathElement& e : elements) {
        current = Step(space, current, e);
        if (current.empty()) {
            result.statusCode = kBadNoMatch;
            return result;
        }
    }
    for (const NodeId& id : current)
        result.targets.push_back({ExpandedNodeId{id, "", 0}, kPathComplete});
    return result;
}

}  // namespace

TranslateBrowsePathsToNodeIdsResponse TranslateBrowsePathsToNodeIds(
    ServiceContext& context, const TranslateBrowsePathsToNodeIdsRequest& request) {
    TranslateBrowsePathsToNodeIdsResponse response;
    StatusCode serviceResult = kGood;
    if (request.browsePaths.empty())
        serviceResult = kBadNothingToDo;
    else if (request.browsePaths.size() > context.limits.maxNodesPerTranslateBrowsePathsToNodeIds)
        serviceResult = kBadTooManyOperations;
    response.responseHeader = ResponseHeaderFor(context, request.requestHeader, serviceResult);
    if (serviceResult != kGood) return response;
    for (const BrowsePath& path : request.browsePaths)
        response.results.push_back(Translate(context.space, path));
    return response;
}

}  // namespace velk::ua
