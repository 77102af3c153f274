#pragma once
// Reading the arguments of a call whose types the bus has already checked against the
// method's input signature, and answering with a result code.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/dbus/bus_object.h"

namespace velk::aebus {

inline std::uint32_t U32(const BusCall& call, std::size_t i) {
    return *call.arguments[i].Get<std::uint32_t>();
}
inline std::int32_t I32(const BusCall& call, std::size_t i) {
    return *call.arguments[i].Get<std::int32_t>();
}
inline bool Flag(const BusCall& call, std::size_t i) { return *call.arguments[i].Get<bool>(); }
inline const std::string& Text(const BusCall& call, std::size_t i) {
    return *call.arguments[i].Text();
}

// A list argument is never null on the bus, also when empty; the OPC operations take a null
// array as an argument error, so an empty list must not turn into one.
template <class T>
const T* ArrayOf(const std::vector<T>& values) {
    static const T empty{};
    return values.empty() ? &empty : values.data();
}

// A failed code as the call's error, else the values.
inline BusReply Answer(HRESULT result, BusValue::Items values = {}) {
    if (Failed(result)) return BusReply::Fail(result);
    return BusReply{result, std::move(values), {}};
}

}  // namespace velk::aebus
