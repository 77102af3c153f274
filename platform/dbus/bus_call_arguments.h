#pragma once
// Reading a method handler's arguments, which the bus host has already checked against the
// method's input signature, and building its reply from an OPC result code.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dbus/bus_object.h"

namespace velk {

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

// A list argument is never null on the bus, also when empty; the OPC operations take a null
// array as an argument error, so an empty list must not turn into one.
template <class T>
const T* ArrayOf(const std::vector<T>& values) {
    static const T empty{};
    return values.empty() ? &empty : values.data();
}

// A failed result as the error reply, a successful one with the values.
inline BusReply ReplyOf(HRESULT result, BusValue::Items values = {}) {
    if (Failed(result)) return BusReply::Fail(result);
    return BusReply{result, std::move(values), {}};
}

// The same for methods whose first result is the success code itself.
inline BusReply ReplyWithCode(HRESULT result, BusValue::Items values = {}) {
    if (Failed(result)) return BusReply::Fail(result);
    values.insert(values.begin(), BusValue::Int32(result));
    return BusReply{result, std::move(values), {}};
}

}  // namespace velk
