#include "opcua/space/write_service.h"

#include "opcua/space/read_service.h"

namespace velk::ua {

namespace {

constexpr std::uint32_t kLastAttributeId = 27;

StatusCode WriteOne(const ServiceContext& context, ITagValueWriter& writer, const WriteValue& w) {
    const std::optional<Node> node = context.space.FindNodeSummary(w.nodeId);
    if (!node) return kBadNodeIdUnknown;
    if (w.attributeId == 0 || w.attributeId > kLastAttributeId) return kBadAttributeIdInvalid;
    if (w.attributeId != static_cast<std::uint32_t>(AttributeId::kValue)) {
        Variant ignored;
        const StatusCode has =
            ReadAttribute(*node, static_cast<AttributeId>(w.attributeId), ignored);
        return has == kBadAttributeIdInvalid ? kBadAttributeIdInvalid : kBadNotWritable;
    }
    if (node->nodeClass != NodeClass::kVariable && node->nodeClass != NodeClass::kVariableType)
        return kBadAttributeIdInvalid;
    if (!w.indexRange.empty()) return kBadWriteNotSupported;
    if (w.value.status || w.value.sourceTimestamp || w.value.serverTimestamp ||
        w.value.sourcePicoseconds || w.value.serverPicoseconds) {
        return kBadWriteNotSupported;
    }
    if (node->valueOrigin != ValueOrigin::kTag) return kBadNotWritable;
    if ((node->accessLevel.value_or(0) & kAccessCurrentWrite) == 0) return kBadNotWritable;
    if ((node->userAccessLevel.value_or(0) & kAccessCurrentWrite) == 0) return kBadUserAccessDenied;
    if (!w.value.value || w.value.value->IsNull()) return kBadTypeMismatch;
    return writer.WriteTagValue(w.nodeId, *w.value.value);
}

}  // namespace

WriteResponse Write(ServiceContext& context, ITagValueWriter& writer, const WriteRequest& request) {
    WriteResponse response;
    if (request.nodesToWrite.empty()) {
        response.responseHeader =
            ResponseHeaderFor(context, request.requestHeader, kBadNothingToDo);
        return response;
    }
    if (request.nodesToWrite.size() > context.limits.maxNodesPerWrite) {
        response.responseHeader =
            ResponseHeaderFor(context, request.requestHeader, kBadTooManyOperations);
        return response;
    }
    response.results.reserve(request.nodesToWrite.size());
    for (const WriteValue& w : request.nodesToWrite) {
        response.results.push_back(WriteOne(context, writer, w));
    }
    response.responseHeader = ResponseHeaderFor(context, request.requestHeader);
    return response;
}

std::vector<std::uint8_t> CallWriteService(ServiceContext& context, ITagValueWriter& writer,
                                           std::span<const std::uint8_t> body,
                                           const DecodeLimits& limits) {
    BinaryReader r(body, limits);
    WriteRequest request;
    Decode(r, request);
    if (r.Ok() && r.Remaining() != 0) r.Fail(kBadDecodingError);
    if (!r.Ok()) {
        return EncodeServiceMessage(
            ServiceFault{ResponseHeaderFor(context, request.requestHeader, r.Status())});
    }
    const WriteResponse response = Write(context, writer, request);
    if (IsBad(response.responseHeader.serviceResult)) {
        return EncodeServiceMessage(ServiceFault{response.responseHeader});
    }
    std::vector<std::uint8_t> bytes = EncodeServiceMessage(response);
    if (bytes.empty()) {
        return EncodeServiceMessage(ServiceFault{
            ResponseHeaderFor(context, request.requestHeader, kBadEncodingLimitsExceeded)});
    }
    return bytes;
}

}  // namespace velk::ua
