#include "opcua/space/browse_service.h"

#include <algorithm>

#include "opcua/status_codes.h"

namespace velk::ua {

namespace {

bool IsValidDirection(BrowseDirection direction) {
    const auto value = static_cast<std::int32_t>(direction);
    return value >= 0 && value <= static_cast<std::int32_t>(BrowseDirection::kBoth);
}

ReferenceDescription Describe(const MatchedReference& match, std::uint32_t mask) {
    ReferenceDescription d;
    d.nodeId.nodeId = match.reference.targetId;
    if (mask & kResultReferenceType) d.referenceTypeId = match.reference.referenceTypeId;
    if (mask & kResultIsForward) d.isForward = match.reference.isForward;
    if (mask & kResultNodeClass) d.nodeClass = match.target.nodeClass;
    if (mask & kResultBrowseName) d.browseName = match.target.browseName;
    if (mask & kResultDisplayName) d.displayName = match.target.displayName;
    const bool typed = match.target.nodeClass == NodeClass::kObject ||
                       match.target.nodeClass == NodeClass::kVariable;
    if ((mask & kResultTypeDefinition) && typed)
        d.typeDefinition.nodeId = match.target.TypeDefinition();
    return d;
}

}  // namespace

BrowseResult BrowseFrom(ServiceContext& context, BrowsePosition position) {
    BrowseResult result;
    const std::optional<Node> node = context.space.FindNode(position.nodeId);
    if (!node) {
        result.statusCode = kBadNodeIdUnknown;
        return result;
    }
    const std::vector<MatchedReference> matches =
        MatchReferences(context.space, *node, position.filter);
    std::uint32_t limit = context.limits.maxReferencesPerNode;
    if (position.maxReferences != 0) limit = std::min(limit, position.maxReferences);
    const std::size_t begin = std::min<std::size_t>(position.nextIndex, matches.size());
    const std::size_t end =
        std::min<std::size_t>(begin + std::max<std::uint32_t>(limit, 1), matches.size());
    if (end < matches.size()) {
        position.nextIndex = static_cast<std::uint32_t>(end);
        std::optional<ByteString> point = context.session.continuations.Add(position);
        if (!point) {
            result.statusCode = kBadNoContinuationPoints;
            return result;
        }
        result.continuationPoint = std::move(*point);
    }
    for (std::size_t i = begin; i < end; ++i)
        result.references.push_back(Describe(matches[i], position.resultMask));
    return result;
}

BrowseResponse Browse(ServiceContext& context, const BrowseRequest& request) {
    BrowseResponse response;
    StatusCode serviceResult = kGood;
    if (!request.view.viewId.IsNull())
        serviceResult = kBadViewIdUnknown;
    else if (request.nodesToBrowse.empty())
        serviceResult = kBadNothingToDo;
    else if (request.nodesToBrowse.size() > context.limits.maxNodesPerBrowse)
        serviceResult = kBadTooManyOperations;
    response.responseHeader = ResponseHeaderFor(context, request.requestHeader, serviceResult);
    if (serviceResult != kGood) return response;

    for (const BrowseDescription& d : request.nodesToBrowse) {
        BrowseResult result;
        if (!IsValidDirection(d.browseDirection)) {
            result.statusCode = kBadBrowseDirectionInvalid;
        } else if (!d.referenceTypeId.IsNull() &&
                   !IsReferenceType(context.space, d.referenceTypeId)) {
            result.statusCode = kBadReferenceTypeIdInvalid;
        } else {
            BrowsePosition position;
            position.nodeId = d.nodeId;
            position.filter = {d.browseDirection, d.referenceTypeId, d.includeSubtypes,
                               d.nodeClassMask};
            position.resultMask = d.resultMask;
            position.maxReferences = request.requestedMaxReferencesPerNode;
            result = BrowseFrom(context, std::move(position));
        }
        response.results.push_back(std::move(result));
    }
    return response;
}

}  // namespace velk::ua
