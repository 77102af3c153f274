#include "tools/client/bus/bus_value_codec.h"

#include <string>
#include <vector>

namespace velk::client {

ClientValue FromBus(const BusVariant& value) {
    const VarType type = value.get<0>();
    const sdbus::Variant& contents = value.get<1>();
    if (type == VT_EMPTY || contents.isEmpty()) return ClientValue::Empty();
    const std::string busType = contents.peekValueType();
    if (busType == "b") return ClientValue::Bool(contents.get<bool>());
    if (busType == "n") return ClientValue::Signed(type, contents.get<std::int16_t>());
    if (busType == "i") return ClientValue::Signed(type, contents.get<std::int32_t>());
    if (busType == "x") return ClientValue::Signed(type, contents.get<std::int64_t>());
    if (busType == "y") return ClientValue::Unsigned(type, contents.get<std::uint8_t>());
    if (busType == "q") return ClientValue::Unsigned(type, contents.get<std::uint16_t>());
    if (busType == "u") return ClientValue::Unsigned(type, contents.get<std::uint32_t>());
    if (busType == "t") return ClientValue::Unsigned(type, contents.get<std::uint64_t>());
    if (busType == "d") {
        const double number = contents.get<double>();
        return type == VT_DATE ? ClientValue::Date(number) : ClientValue::Real(type, number);
    }
    if (busType == "s") return ClientValue::Text(contents.get<std::string>());
    if (busType == "ad") {
        ClientValue::Elements elements;
        for (const double number : contents.get<std::vector<double>>()) {
            elements.push_back(ClientValue::Real(VT_R8, number));
        }
        return ClientValue::Array(VT_R8, std::move(elements));
    }
    return ClientValue::Empty();
}

BusVariant ToBus(const ClientValue& value) {
    const VarType type = value.Type();
    const std::int64_t whole = value.AsSigned()     ? *value.AsSigned()
                               : value.AsUnsigned() ? static_cast<std::int64_t>(*value.AsUnsigned())
                                                    : 0;
    const std::uint64_t positive =
        value.AsUnsigned() ? *value.AsUnsigned() : static_cast<std::uint64_t>(whole);
    switch (type) {
        case VT_BOOL:
            return BusVariant{type, sdbus::Variant(value.AsBool() && *value.AsBool())};
        case VT_I2:
            return BusVariant{type, sdbus::Variant(static_cast<std::int16_t>(whole))};
        case VT_I4:
            return BusVariant{type, sdbus::Variant(static_cast<std::int32_t>(whole))};
        case VT_CY:
            return BusVariant{type, sdbus::Variant(whole)};
        case VT_UI2:
            return BusVariant{type, sdbus::Variant(static_cast<std::uint16_t>(positive))};
        case VT_UI4:
            return BusVariant{type, sdbus::Variant(static_cast<std::uint32_t>(positive))};
        case VT_I8:
            return BusVariant{type, sdbus::Variant(whole)};
        case VT_UI8:
            return BusVariant{type, sdbus::Variant(positive)};
        case VT_R4:
        case VT_R8:
        case VT_DATE:
            return BusVariant{type, sdbus::Variant(value.AsReal() ? *value.AsReal() : 0.0)};
        case VT_BSTR:
            return BusVariant{type,
                              sdbus::Variant(value.AsText() ? *value.AsText() : std::string())};
        default:
            break;
    }
    return BusVariant{VT_EMPTY, sdbus::Variant(std::int32_t{0})};
}

}  // namespace velk::client
