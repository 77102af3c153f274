#include "opcua/space/read_service.h"

#include <charconv>

#include "opcua/status_codes.h"
#include "platform/clock.h"

namespace velk::ua {

namespace {

constexpr const char* kDefaultBinary = "Default Binary";

template <class T>
StatusCode Optional(const std::optional<T>& attribute, Variant& value) {
    if (!attribute) return kBadAttributeIdInvalid;
    value = Variant::Scalar(*attribute);
    return kGood;
}

bool IsVariableLike(const Node& node) {
    return node.nodeClass == NodeClass::kVariable || node.nodeClass == NodeClass::kVariableType;
}

// "n" or "n:m" (n < m) of a one-dimensional array; false for any other text.
bool ParseIndexRange(const std::string& text, std::uint32_t& first, std::uint32_t& last) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    auto [p, ec] = std::from_chars(begin, end, first);
    if (ec != std::errc{} || p == begin) return false;
    last = first;
    if (p == end) return true;
    if (*p != ':') return false;
    const char* second = p + 1;
    auto [q, ec2] = std::from_chars(second, end, last);
    return ec2 == std::errc{} && q == end && q != second && first < last;
}

StatusCode ApplyIndexRange(const std::string& text, Variant& value) {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    if (!ParseIndexRange(text, first, last)) return kBadIndexRangeInvalid;
    if (!value.isArray || first >= value.elements.size()) return kBadIndexRangeNoData;
    const std::size_t end = std::min<std::size_t>(last + 1, value.elements.size());
    std::vector<VariantScalar> part(value.elements.begin() + first, value.elements.begin() + end);
    value = Variant::Array(value.arrayType, std::move(part));
    return kGood;
}

bool ReturnsSource(TimestampsToReturn t) {
    return t == TimestampsToReturn::kSource || t == TimestampsToReturn::kBoth;
}
bool ReturnsServer(TimestampsToReturn t) {
    return t == TimestampsToReturn::kServer || t == TimestampsToReturn::kBoth;
}

DataValue Failed(StatusCode status) {
    DataValue result;
    result.status = status;
    return result;
}

DataValue ReadOne(ServiceContext& context, const ReadRequest& request, const ReadValueId& item) {
    const auto attribute = static_cast<AttributeId>(item.attributeId);
    const bool isValue = attribute == AttributeId::kValue;
    if (!item.dataEncoding.name.empty() || item.dataEncoding.namespaceIndex != 0) {
        if (!isValue) return Failed(kBadDataEncodingInvalid);
        if (item.dataEncoding.namespaceIndex != 0 || item.dataEncoding.name != kDefaultBinary)
            return Failed(kBadDataEncodingUnsupported);
    }
    const std::optional<Node> node = context.space.FindNode(item.nodeId);
    if (!node) return Failed(kBadNodeIdUnknown);

    const DateTime now{static_cast<std::int64_t>(context.clock.NowUtc())};
    DataValue result;
    if (isValue && IsVariableLike(*node)) {
        if (node->nodeClass == NodeClass::kVariable &&
            ((node->accessLevel.value_or(0) & kAccessCurrentRead) == 0 ||
             (node->userAccessLevel.value_or(0) & kAccessCurrentRead) == 0))
            return Failed(kBadNotReadable);
        if (node->valueOrigin == ValueOrigin::kTag) {
            result = context.values.ReadTagValue(node->nodeId, request.maxAge);
        } else {
            result.value = node->value.value_or(Variant{});
            result.sourceTimestamp = now;
        }
    } else {
        Variant value;
        const StatusCode status = ReadAttribute(*node, attribute, value);
        if (status != kGood) return Failed(status);
        result.value = std::move(value);
    }
    if (!item.indexRange.empty() && result.value) {
        const StatusCode status = ApplyIndexRange(item.indexRange, *result.value);
        if (status != kGood) return Failed(status);
    }
    if (!isValue || !ReturnsSource(request.timestampsToReturn)) result.sourceTimestamp.reset();
    if (ReturnsServer(request.timestampsToReturn)) result.serverTimestamp = now;
    if (result.status == kGood) result.status.reset();
    return result;
}

}  // namespace

StatusCode ReadAttribute(const Node& node, AttributeId attribute, Variant& value) {
    switch (attribute) {
        case AttributeId::kNodeId:
            value = Variant::Scalar(node.nodeId);
            return kGood;
        case AttributeId::kNodeClass:
            value = Variant::Scalar(static_cast<std::int32_t>(node.nodeClass));
            return kGood;
        case AttributeId::kBrowseName:
            value = Variant::Scalar(node.browseName);
            return kGood;
        case AttributeId::kDisplayName:
            value = Variant::Scalar(node.displayName);
            return kGood;
        case AttributeId::kDescription:
            value = Variant::Scalar(node.description);
            return kGood;
        case AttributeId::kWriteMask:
        case AttributeId::kUserWriteMask:
            // No attribute but a tag's Value is ever written.
            value = Variant::Scalar(std::uint32_t{0});
            return kGood;
        case AttributeId::kIsAbstract:
            return Optional(node.isAbstract, value);
        case AttributeId::kSymmetric:
            return Optional(node.symmetric, value);
        case AttributeId::kInverseName:
            if (node.nodeClass != NodeClass::kReferenceType) return kBadAttributeIdInvalid;
            value = Variant::Scalar(node.inverseName.value_or(LocalizedText{}));
            return kGood;
        case AttributeId::kContainsNoLoops:
            return Optional(node.containsNoLoops, value);
        case AttributeId::kEventNotifier:
            return Optional(node.eventNotifier, value);
        case AttributeId::kValue:
            if (!IsVariableLike(node)) return kBadAttributeIdInvalid;
            value = node.value.value_or(Variant{});
            return kGood;
        case AttributeId::kDataType:
            return Optional(node.dataType, value);
        case AttributeId::kValueRank:
            return Optional(node.valueRank, value);
        case AttributeId::kArrayDimensions: {
            if (!node.arrayDimensions) return kBadAttributeIdInvalid;
            std::vector<VariantScalar> dims;
            for (const std::uint32_t d : *node.arrayDimensions) dims.emplace_back(d);
            value = Variant::Array(BuiltinType::kUInt32, std::move(dims));
            return kGood;
        }
        case AttributeId::kAccessLevel:
            return Optional(node.accessLevel, value);
        case AttributeId::kUserAccessLevel:
            return Optional(node.userAccessLevel, value);
        case AttributeId::kMinimumSamplingInterval:
            return Optional(node.minimumSamplingInterval, value);
        case AttributeId::kHistorizing:
            return Optional(node.historizing, value);
    }
    return kBadAttributeIdInvalid;
}

ReadResponse Read(ServiceContext& context, const ReadRequest& request) {
    ReadResponse response;
    const auto timestamps = static_cast<std::int32_t>(request.timestampsToReturn);
    StatusCode serviceResult = kGood;
    if (!(request.maxAge >= 0.0))
        serviceResult = kBadMaxAgeInvalid;
    else if (timestamps < 0 || timestamps > static_cast<std::int32_t>(TimestampsToReturn::kNeither))
        serviceResult = kBadTimestampsToReturnInvalid;
    else if (request.nodesToRead.empty())
        serviceResult = kBadNothingToDo;
    else if (request.nodesToRead.size() > context.limits.maxNodesPerRead)
        serviceResult = kBadTooManyOperations;
    response.responseHeader = ResponseHeaderFor(context, request.requestHeader, serviceResult);
    if (serviceResult != kGood) return response;
    std::vector<NodeId> values;
    for (const ReadValueId& item : request.nodesToRead)
        if (item.attributeId == static_cast<std::uint32_t>(AttributeId::kValue))
            values.push_back(item.nodeId);
    if (!values.empty()) context.values.Refresh(values, request.maxAge);
    for (const ReadValueId& item : request.nodesToRead)
        response.results.push_back(ReadOne(context, request, item));
    return response;
}

}  // namespace velk::ua
