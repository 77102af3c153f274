#pragma once
// Reading a handler's arguments, which the bus host has already checked against the
// method's input signature, and building its reply from an OPC result.
#include <cstdint>
#include <string>

#include "platform/dbus/bus_object.h"

namespace velk::dabus {

inline std::uint32_t UInt32Arg(const BusCall& call, std::size_t i) {
    return *call.arguments[i].Get<std::uint32_t>();
}
inline std::int32_t Int32Arg(const BusCall& call, std::size_t i) {
    return *call.arguments[i].Get<std::int32_t>();
}
inline std::uint16_t UInt16Arg(const BusCall& call, std::size_t i) {
    return *call.arguments[i].Get<std::uint16_t>();
}
inline bool BoolArg(const BusCall& call, std::size_t i) { return *call.arguments[i].Get<bool>(); }
inline double DoubleArg(const BusCall& call, std::size_t i) {
    return *call.arguments[i].Get<double>();
}
inline const std::string& TextArg(const BusCall& call, std::size_t i) {
    return *call.arguments[i].Text();
}

// A failed result as the error reply, a successful one with the values.
inline BusReply ReplyOf(HRESULT result, BusValue::Items values = {}) {
    if (Failed(result)) return BusReply::Fail(result);
    return BusReply::Ok(std::move(values));
}

// The same for methods whose first result is the success code itself.
inline BusReply ReplyWithCode(HRESULT result, BusValue::Items values = {}) {
    if (Failed(result)) return BusReply::Fail(result);
    values.insert(values.begin(), BusValue::Int32(result));
    return BusReply::Ok(std::move(values));
}

}  // namespace velk::dabus
