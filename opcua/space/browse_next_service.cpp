#include "opcua/space/browse_next_service.h"

#include "opcua/status_codes.h"

namespace velk::ua {

BrowseNextResponse BrowseNext(ServiceContext& context, const BrowseNextRequest& request) {
    BrowseNextResponse response;
    StatusCode serviceResult = kGood;
    if (request.continuationPoints.empty())
        serviceResult = kBadNothingToDo;
    else if (request.continuationPoints.size() > context.limits.maxNodesPerBrowse)
        serviceResult = kBadTooManyOperations;
    response.responseHeader = ResponseHeaderFor(context, request.requestHeader, serviceResult);
    if (serviceResult != kGood) return response;

    for (const ByteString& point : request.continuationPoints) {
        BrowseResult result;
        if (request.releaseContinuationPoints) {
            if (!context.session.continuations.Release(point))
                result.statusCode = kBadContinuationPointInvalid;
        } else if (std::optional<BrowsePosition> position =
                       context.session.continuations.Take(point)) {
            // The point is used up; the result carries a new one when more is left.
            result = BrowseFrom(context, std::move(*position));
        } else {
            result.statusCode = kBadContinuationPointInvalid;
        }
        response.results.push_back(std::move(result));
    }
    return response;
}

}  // namespace velk::ua
