#include "opcua/space/tag_value_mapping.h"

#include <cmath>
#include <limits>
#include <optional>

#include "model/o_modbus_tag.h"
#include "opc/tag_serving.h"
#include "opcua/space/standard_node_ids.h"

namespace velk::ua {

namespace {

constexpr std::uint16_t kMajorMask = 0x00C0;
constexpr std::uint16_t kSubstatusMask = 0x00FC;

// The number a numeric scalar holds; none for any other value.
std::optional<double> NumberOf(const VariantScalar& scalar) {
    return std::visit(
        [](const auto& v) -> std::optional<double> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_arithmetic_v<T> && !std::is_same_v<T, bool>) {
                return static_cast<double>(v);
            } else {
                return std::nullopt;
            }
        },
        scalar);
}

template <class T>
StatusCode Integer(double number, T& out) {
    const double rounded = std::nearbyint(number);
    // The upper bound as a double is 2^n exactly, which no value of T reaches.
    if (!(rounded >= static_cast<double>(std::numeric_limits<T>::min()) &&
          rounded < std::ldexp(1.0, std::numeric_limits<T>::digits))) {
        return kBadOutOfRange;
    }
    out = static_cast<T>(rounded);
    return kGood;
}

}  // namespace

StatusCode TagValueOfVariant(const Variant& value, VarType type, velk::Variant& out) {
    if (value.isArray) return kBadTypeMismatch;
    if (type == VT_BSTR) {
        const auto* text = std::get_if<std::string>(&value.scalar);
        if (text == nullptr) return kBadTypeMismatch;
        out = velk::Variant::Text(*text);
        return kGood;
    }
    if (type == VT_BOOL) {
        const auto* flag = std::get_if<bool>(&value.scalar);
        if (flag == nullptr) return kBadTypeMismatch;
        out = velk::Variant::Bool(*flag);
        return kGood;
    }
    const std::optional<double> number = NumberOf(value.scalar);
    if (!number) return kBadTypeMismatch;
    StatusCode status = kGood;
    switch (type) {
        case VT_I2: {
            std::int16_t v = 0;
            if ((status = Integer(*number, v)) == kGood) out = velk::Variant::Int16(v);
            return status;
        }
        case VT_UI2: {
            std::uint16_t v = 0;
            if ((status = Integer(*number, v)) == kGood) out = velk::Variant::UInt16(v);
            return status;
        }
        case VT_I4: {
            std::int32_t v = 0;
            if ((status = Integer(*number, v)) == kGood) out = velk::Variant::Int32(v);
            return status;
        }
        case VT_UI4: {
            std::uint32_t v = 0;
            if ((status = Integer(*number, v)) == kGood) out = velk::Variant::UInt32(v);
            return status;
        }
        case VT_I8:
        case VT_UI8: {
            // A 64-bit integer goes as it came, without the detour through a double.
            if (const auto* i = std::get_if<std::int64_t>(&value.scalar)) {
                if (type == VT_UI8 && *i < 0) return kBadOutOfRange;
                out = type == VT_I8 ? velk::Variant::Int64(*i)
                                    : velk::Variant::UInt64(static_cast<std::uint64_t>(*i));
                return kGood;
            }
            if (const auto* u = std::get_if<std::uint64_t>(&value.scalar)) {
                if (type == VT_I8 &&
                    *u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
                    return kBadOutOfRange;
                out = type == VT_UI8 ? velk::Variant::UInt64(*u)
                                     : velk::Variant::Int64(static_cast<std::int64_t>(*u));
                return kGood;
            }
            if (type == VT_I8) {
                std::int64_t v = 0;
                if ((status = Integer(*number, v)) == kGood) out = velk::Variant::Int64(v);
            } else {
                std::uint64_t v = 0;
                if ((status = Integer(*number, v)) == kGood) out = velk::Variant::UInt64(v);
            }
            return status;
        }
        case VT_R4:
            if (std::isfinite(*number) && std::abs(*number) > std::numeric_limits<float>::max())
                return kBadOutOfRange;
            out = velk::Variant::Float(static_cast<float>(*number));
            return kGood;
        case VT_R8:
            out = velk::Variant::Double(*number);
            return kGood;
        default:
            return kBadTypeMismatch;
    }
}

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
