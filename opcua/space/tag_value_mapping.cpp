#include "opcua/space/tag_value_mapping.h"

#include <limits>

#include "model/o_modbus_tag.h"
#include "opc/tag_serving.h"
#include "opcua/space/standard_node_ids.h"

namespace velk::ua {

namespace {

constexpr std::uint16_t kMajorMask = 0x00C0;
constexpr std::uint16_t kSubstatusMask = 0x00FC;

}  // namespace

StatusCode StatusFromQuality(std::uint16_t quality) {
    switch (quality & kMajorMask) {
        case kQualityGood:
            return kGood;
        case kQualityUncertain:
            return kUncertain;
        default:
            break;
    }
    switch (quality & kSubstatusMask) {
        case kQualityCommFailure:
            return kBadNoCommunication;
        case kQualityOutOfService:
            return kBadOutOfService;
        default:
            return kBad;
    }
}

DateTime DateTimeFromFileTime(FileTime time) {
    constexpr auto kLatest = static_cast<FileTime>(std::numeric_limits<std::int64_t>::max());
    return DateTime{static_cast<std::int64_t>(time > kLatest ? kLatest : time)};
}

Variant VariantOfTagValue(const velk::Variant& value, VarType type) {
    velk::Variant v = value;
    if (v.IsEmpty() || v.ChangeType(type) != S_OK) return Variant{};
    switch (type) {
        case VT_BOOL:
            return Variant::Scalar(v.AsBool());
        case VT_I2:
            return Variant::Scalar(v.AsInt16());
        case VT_UI2:
            return Variant::Scalar(v.AsUInt16());
        case VT_I4:
            return Variant::Scalar(v.AsInt32());
        case VT_UI4:
            return Variant::Scalar(v.AsUInt32());
        case VT_I8:
            return Variant::Scalar(v.AsInt64());
        case VT_UI8:
            return Variant::Scalar(v.AsUInt64());
        case VT_R4:
            return Variant::Scalar(v.AsFloat());
        case VT_R8:
            return Variant::Scalar(v.AsDouble());
        case VT_BSTR:
            return Variant::Scalar(v.AsText());
        default:
            return Variant{};
    }
}

NodeId DataTypeOfServedType(VarType type) {
    switch (type) {
        case VT_BOOL:
            return NodeId::Numeric(0, ids::kBoolean);
        case VT_I2:
            return NodeId::Numeric(0, ids::kInt16);
        case VT_UI2:
            return NodeId::Numeric(0, ids::kUInt16);
        case VT_I4:
            return NodeId::Numeric(0, ids::kInt32);
        case VT_UI4:
            return NodeId::Numeric(0, ids::kUInt32);
        case VT_I8:
            return NodeId::Numeric(0, ids::kInt64);
        case VT_UI8:
            return NodeId::Numeric(0, ids::kUInt64);
        case VT_R4:
            return NodeId::Numeric(0, ids::kFloat);
        case VT_R8:
            return NodeId::Numeric(0, ids::kDouble);
        case VT_BSTR:
            return NodeId::Numeric(0, ids::kString);
        default:
            return NodeId::Numeric(0, ids::kBaseDataType);
    }
}

DataValue TagDataValue(const OModbusTag& tag) {
    DataValue result;
    result.value = VariantOfTagValue(tag.value, ServedValueType(tag));
    result.status = StatusFromQuality(tag.quality);
    result.sourceTimestamp = DateTimeFromFileTime(tag.timestamp);
    return result;
}

}  // namespace velk::ua
