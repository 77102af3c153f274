#include "opcua/space/service_dispatch.h"

#include "opcua/space/browse_next_service.h"
#include "opcua/space/browse_service.h"
#include "opcua/space/read_service.h"
#include "opcua/space/register_nodes_service.h"
#include "opcua/space/translate_browse_paths_service.h"

namespace velk::ua {

namespace {

std::vector<std::uint8_t> Fault(const ServiceContext& context, const RequestHeader& header,
                                StatusCode status) {
    return EncodeServiceMessage(ServiceFault{ResponseHeaderFor(context, header, status)});
}

template <class Request, class Service>
std::vector<std::uint8_t> Call(ServiceContext& context, std::span<const std::uint8_t> body,
                               const DecodeLimits& limits, Service service) {
    BinaryReader r(body, limits);
    Request request;
    Decode(r, request);
    if (r.Ok() && r.Remaining() != 0) r.Fail(kBadDecodingError);
    if (!r.Ok()) return Fault(context, request.requestHeader, r.Status());
    std::vector<std::uint8_t> response = EncodeServiceMessage(service(context, request));
    if (response.empty()) return Fault(context, request.requestHeader, kBadEncodingLimitsExceeded);
    return response;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> CallSpaceService(ServiceContext& context,
                                                          const NodeId& typeId,
                                                          std::span<const std::uint8_t> body,
                                                          const DecodeLimits& limits) {
    if (typeId == BinaryEncodingId<BrowseRequest>())
        return Call<BrowseRequest>(context, body, limits, Browse);
    if (typeId == BinaryEncodingId<BrowseNextRequest>())
        return Call<BrowseNextRequest>(context, body, limits, BrowseNext);
    if (typeId == BinaryEncodingId<TranslateBrowsePathsToNodeIdsRequest>())
        return Call<TranslateBrowsePathsToNodeIdsRequest>(context, body, limits,
                                                          TranslateBrowsePathsToNodeIds);
    if (typeId == BinaryEncodingId<ReadRequest>())
        return Call<ReadRequest>(context, body, limits, Read);
    if (typeId == BinaryEncodingId<RegisterNodesRequest>())
        return Call<RegisterNodesRequest>(context, body, limits, RegisterNodes);
    if (typeId == BinaryEncodingId<UnregisterNodesRequest>())
        return Call<UnregisterNodesRequest>(context, body, limits, UnregisterNodes);
    return std::nullopt;
}

}  // namespace velk::ua
