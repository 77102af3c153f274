#pragma once
// How OPC values cross the bus: a VARIANT is a struct of its VARTYPE code and a bus variant
// of the value's natural type ("(qv)"); dates travel as doubles, the EU range as "ad".
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/variant.h"
#include "opcda/opc_value.h"
#include "platform/dbus/bus_value.h"
#include "platform/hresult.h"

namespace velk::dabus {

inline constexpr const char* kBusVariantSignature = "(qv)";

BusValue VariantToBus(const Variant& value);
BusValue OpcValueToBus(const OpcValue& value);

// The value a client sent; none when the code is not one that a value to write may have
// or the bus type does not match the code.
std::optional<Variant> VariantFromBus(const BusValue& value);

// Array helpers for the method tables: the element values of an array argument, and arrays
// of the plain types that the OPC methods return.
std::vector<std::uint32_t> UInt32sOf(const BusValue& array);
std::vector<std::uint16_t> UInt16sOf(const BusValue& array);
BusValue UInt16Array(const std::vector<std::uint16_t>& values);
BusValue UInt64Array(const std::vector<std::uint64_t>& values);
BusValue HresultArray(const std::vector<HRESULT>& codes);
BusValue VariantArray(const std::vector<Variant>& values);
BusValue ByteArray(const std::vector<std::uint8_t>& bytes);
// All elements converted, or none when any of them is not a value to write.
std::optional<std::vector<Variant>> VariantsFromBus(const BusValue& array);

}  // namespace velk::dabus
