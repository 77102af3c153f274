#include "opcae/bus/ae_bus_values.h"

#include "opcae/bus/ae_bus_names.h"

namespace velk::aebus {
namespace {

template <class T>
std::optional<T> Number(const BusValue& value) {
    const T* v = value.Get<T>();
    if (v == nullptr) return std::nullopt;
    return *v;
}

std::optional<std::string> TextOf(const BusValue& value) {
    if (value.TypeCode() != 's') return std::nullopt;
    return *value.Text();
}

}  // namespace

BusValue AttributeToBus(const Variant& value) {
    const VarType type = value.Type();
    BusValue contents;
    switch (type) {
        case VT_BOOL:
            contents = BusValue::Bool(value.AsBool());
            break;
        case VT_I2:
            contents = BusValue::Int16(value.AsInt16());
            break;
        case VT_UI2:
            contents = BusValue::UInt16(value.AsUInt16());
            break;
        case VT_I4:
            contents = BusValue::Int32(value.AsInt32());
            break;
        case VT_UI4:
            contents = BusValue::UInt32(value.AsUInt32());
            break;
        case VT_I8:
            contents = BusValue::Int64(value.AsInt64());
            break;
        case VT_UI8:
            contents = BusValue::UInt64(value.AsUInt64());
            break;
        case VT_R4:
            contents = BusValue::Double(value.AsFloat());
            break;
        case VT_R8:
            contents = BusValue::Double(value.AsDouble());
            break;
        case VT_BSTR:
            contents = BusValue::String(value.AsText());
            break;
        default:
            return BusValue::Struct(
                {BusValue::UInt16(VT_EMPTY), BusValue::Variant(BusValue::Int32(0))});
    }
    return BusValue::Struct({BusValue::UInt16(type), BusValue::Variant(std::move(contents))});
}

std::optional<Variant> AttributeFromBus(const BusValue& value) {
    if (value.TypeSignature() != "(qv)") return std::nullopt;
    const auto type = Number<std::uint16_t>(value.Children()[0]);
    const BusValue& contents = value.Children()[1].Children()[0];
    if (!type) return std::nullopt;
    switch (*type) {
        case VT_EMPTY:
        case 1:  // VT_NULL
            return Variant();
        case VT_BOOL:
            if (auto v = Number<bool>(contents)) return Variant::Bool(*v);
            break;
        case VT_I2:
            if (auto v = Number<std::int16_t>(contents)) return Variant::Int16(*v);
            break;
        case VT_UI2:
            if (auto v = Number<std::uint16_t>(contents)) return Variant::UInt16(*v);
            break;
        case VT_I4:
            if (auto v = Number<std::int32_t>(contents)) return Variant::Int32(*v);
            break;
        case VT_UI4:
            if (auto v = Number<std::uint32_t>(contents)) return Variant::UInt32(*v);
            break;
        case VT_I8:
            if (auto v = Number<std::int64_t>(contents)) return Variant::Int64(*v);
            break;
        case VT_UI8:
            if (auto v = Number<std::uint64_t>(contents)) return Variant::UInt64(*v);
            break;
        case VT_R4:
            if (auto v = Number<double>(contents)) return Variant::Float(static_cast<float>(*v));
            break;
        case VT_R8:
            if (auto v = Number<double>(contents)) return Variant::Double(*v);
            break;
        case VT_BSTR:
            if (auto v = TextOf(contents)) return Variant::Text(*v);
            break;
        default:
            break;
    }
    return std::nullopt;
}

BusValue EventToBus(const OnEventStruct& e) {
    BusValue::Items attributes;
    attributes.reserve(e.attributes.size());
    for (const Variant& a : e.attributes) attributes.push_back(AttributeToBus(a));
    return BusValue::Struct(
        {BusValue::UInt16(e.changeMask), BusValue::UInt16(e.newState), BusValue::String(e.source),
         BusValue::UInt64(e.time), BusValue::String(e.message), BusValue::UInt32(e.eventType),
         BusValue::UInt32(e.eventCategory), BusValue::UInt32(e.severity),
         BusValue::String(e.conditionName), BusValue::String(e.subconditionName),
         BusValue::UInt16(e.quality), BusValue::Bool(e.ackRequired), BusValue::UInt64(e.activeTime),
         BusValue::UInt32(e.cookie), BusValue::Array("(qv)", std::move(attributes)),
         BusValue::String(e.actorId)});
}

std::optional<OnEventStruct> EventFromBus(const BusValue& value) {
    if (value.TypeSignature() != kOnEventStructSignature) return std::nullopt;
    const BusValue::Items& f = value.Children();
    OnEventStruct e;
    e.changeMask = *f[0].Get<std::uint16_t>();
    e.newState = *f[1].Get<std::uint16_t>();
    e.source = *f[2].Text();
    e.time = *f[3].Get<std::uint64_t>();
    e.message = *f[4].Text();
    e.eventType = *f[5].Get<std::uint32_t>();
    e.eventCategory = *f[6].Get<std::uint32_t>();
    e.severity = *f[7].Get<std::uint32_t>();
    e.conditionName = *f[8].Text();
    e.subconditionName = *f[9].Text();
    e.quality = *f[10].Get<std::uint16_t>();
    e.ackRequired = *f[11].Get<bool>();
    e.activeTime = *f[12].Get<std::uint64_t>();
    e.cookie = *f[13].Get<std::uint32_t>();
    for (const BusValue& a : f[14].Children()) {
        auto attribute = AttributeFromBus(a);
        if (!attribute) return std::nullopt;
        e.attributes.push_back(std::move(*attribute));
    }
    e.actorId = *f[15].Text();
    return e;
}

BusValue::Items OnEventArguments(std::uint32_t clientHandle, bool refresh, bool lastRefresh,
                                 const std::vector<OnEventStruct>& events) {
    BusValue::Items list;
    list.reserve(events.size());
    for (const OnEventStruct& e : events) list.push_back(EventToBus(e));
    return {BusValue::UInt32(clientHandle), BusValue::Bool(refresh), BusValue::Bool(lastRefresh),
            BusValue::Array(kOnEventStructSignature, std::move(list))};
}

std::vector<std::uint32_t> UInt32List(const BusValue& array) {
    std::vector<std::uint32_t> out;
    for (const BusValue& v : array.Children())
        if (const auto* n = v.Get<std::uint32_t>()) out.push_back(*n);
    return out;
}

std::vector<std::string> StringList(const BusValue& array) {
    std::vector<std::string> out;
    for (const BusValue& v : array.Children())
        if (v.TypeCode() == 's') out.push_back(*v.Text());
    return out;
}

}  // namespace velk::aebus
