#include "opcda/bus/bus_variant.h"

#include <cmath>
#include <limits>

namespace velk::dabus {

namespace {

BusValue Tagged(VarType type, BusValue contents) {
    return BusValue::Struct({BusValue::UInt16(type), BusValue::Variant(std::move(contents))});
}

template <class T>
const T* ContentOf(const BusValue& contents) {
    return contents.Get<T>();
}

}  // namespace

BusValue VariantToBus(const Variant& value) {
    switch (value.Type()) {
        case VT_I2:
            return Tagged(VT_I2, BusValue::Int16(value.AsInt16()));
        case VT_I4:
            return Tagged(VT_I4, BusValue::Int32(value.AsInt32()));
        case VT_R4:
            return Tagged(VT_R4, BusValue::Double(value.AsFloat()));
        case VT_R8:
            return Tagged(VT_R8, BusValue::Double(value.AsDouble()));
        case VT_BSTR:
            return Tagged(VT_BSTR, BusValue::String(value.AsText()));
        case VT_BOOL:
            return Tagged(VT_BOOL, BusValue::Bool(value.AsBool()));
        case VT_UI2:
            return Tagged(VT_UI2, BusValue::UInt16(value.AsUInt16()));
        case VT_UI4:
            return Tagged(VT_UI4, BusValue::UInt32(value.AsUInt32()));
        case VT_I8:
            return Tagged(VT_I8, BusValue::Int64(value.AsInt64()));
        case VT_UI8:
            return Tagged(VT_UI8, BusValue::UInt64(value.AsUInt64()));
        default:
            return Tagged(VT_EMPTY, BusValue::Int32(0));
    }
}

BusValue OpcValueToBus(const OpcValue& value) {
    if (value.vt == VT_DATE) return Tagged(VT_DATE, BusValue::Double(value.date));
    if (value.vt == (VT_ARRAY | VT_R8)) {
        BusValue::Items elements;
        for (double d : value.array) elements.push_back(BusValue::Double(d));
        return Tagged(VT_ARRAY | VT_R8, BusValue::Array("d", std::move(elements)));
    }
    return VariantToBus(value.scalar);
}

std::optional<Variant> VariantFromBus(const BusValue& value) {
    if (value.TypeSignature() != kBusVariantSignature || value.Children().size() != 2) {
        return std::nullopt;
    }
    const std::uint16_t* code = value.Children()[0].Get<std::uint16_t>();
    const BusValue& wrapper = value.Children()[1];
    if (code == nullptr || wrapper.Children().size() != 1) return std::nullopt;
    const BusValue& contents = wrapper.Children()[0];
    switch (*code) {
        case VT_EMPTY:
            return Variant();
        case VT_I2:
            if (auto* v = ContentOf<std::int16_t>(contents)) return Variant::Int16(*v);
            break;
        case VT_I4:
            if (auto* v = ContentOf<std::int32_t>(contents)) return Variant::Int32(*v);
            break;
        case VT_R4:
            // A double outside the float range has no float value to convert to.
            if (auto* v = ContentOf<double>(contents)) {
                if (std::isfinite(*v) && std::fabs(*v) > std::numeric_limits<float>::max()) break;
                return Variant::Float(static_cast<float>(*v));
            }
            break;
        case VT_R8:
            if (auto* v = ContentOf<double>(contents)) return Variant::Double(*v);
            break;
        case VT_BSTR:
            if (contents.TypeCode() == 's') return Variant::Text(*contents.Text());
            break;
        case VT_BOOL:
            if (auto* v = ContentOf<bool>(contents)) return Variant::Bool(*v);
            break;
        case VT_UI2:
            if (auto* v = ContentOf<std::uint16_t>(contents)) return Variant::UInt16(*v);
            break;
        case VT_UI4:
            if (auto* v = ContentOf<std::uint32_t>(contents)) return Variant::UInt32(*v);
            break;
        case VT_I8:
            if (auto* v = ContentOf<std::int64_t>(contents)) return Variant::Int64(*v);
            break;
        case VT_UI8:
            if (auto* v = ContentOf<std::uint64_t>(contents)) return Variant::UInt64(*v);
            break;
        default:
            break;
    }
    return std::nullopt;
}

std::vector<std::uint32_t> UInt32sOf(const BusValue& array) {
    std::vector<std::uint32_t> values;
    values.reserve(array.Children().size());
    for (const BusValue& element : array.Children()) {
        if (auto* v = element.Get<std::uint32_t>()) values.push_back(*v);
    }
    return values;
}

std::vector<std::uint16_t> UInt16sOf(const BusValue& array) {
    std::vector<std::uint16_t> values;
    values.reserve(array.Children().size());
    for (const BusValue& element : array.Children()) {
        if (auto* v = element.Get<std::uint16_t>()) values.push_back(*v);
    }
    return values;
}

BusValue UInt16Array(const std::vector<std::uint16_t>& values) {
    BusValue::Items elements;
    elements.reserve(values.size());
    for (std::uint16_t v : values) elements.push_back(BusValue::UInt16(v));
    return BusValue::Array("q", std::move(elements));
}

BusValue UInt64Array(const std::vector<std::uint64_t>& values) {
    BusValue::Items elements;
    elements.reserve(values.size());
    for (std::uint64_t v : values) elements.push_back(BusValue::UInt64(v));
    return BusValue::Array("t", std::move(elements));
}

BusValue HresultArray(const std::vector<HRESULT>& codes) {
    BusValue::Items elements;
    elements.reserve(codes.size());
    for (HRESULT code : codes) elements.push_back(BusValue::Int32(code));
    return BusValue::Array("i", std::move(elements));
}

BusValue VariantArray(const std::vector<Variant>& values) {
    BusValue::Items elements;
    elements.reserve(values.size());
    for (const Variant& v : values) elements.push_back(VariantToBus(v));
    return BusValue::Array(kBusVariantSignature, std::move(elements));
}

BusValue ByteArray(const std::vector<std::uint8_t>& bytes) {
    BusValue::Items elements;
    elements.reserve(bytes.size());
    for (std::uint8_t b : bytes) elements.push_back(BusValue::Byte(b));
    return BusValue::Array("y", std::move(elements));
}

std::optional<std::vector<Variant>> VariantsFromBus(const BusValue& array) {
    std::vector<Variant> values;
    values.reserve(array.Children().size());
    for (const BusValue& element : array.Children()) {
        std::optional<Variant> v = VariantFromBus(element);
        if (!v) return std::nullopt;
        values.push_back(std::move(*v));
    }
    return values;
}

}  // namespace velk::dabus
