#pragma once
// Values and type codes as text, and text typed by the user turned into a value of an
// item's canonical type for a write.
#include <string>
#include <string_view>

#include "tools/client/lib/client_value.h"

namespace velk::client {

// The type code's name: "VT_I2", "VT_R8", "VT_ARRAY | VT_R8", "VT_0x0040" for codes
// without a name.
std::string TypeName(VarType type);

// A value for the user: whole numbers as they are, 64-bit reals to 15 significant digits
// and 32-bit reals in their shortest exact form, booleans "true"/"false",
// texts in double quotes (with \" and \\ escaped, so that an empty or blank text shows),
// dates as local time stamps, arrays as "[a, b]", an empty value as "(empty)".
std::string ValueText(const ClientValue& value);

struct ParsedValue {
    bool ok = false;
    ClientValue value;
    std::string problem;  // why the text is no value of the type, when !ok
};

// The text as a value of the given type. Booleans: true/false, 1/0, -1, on/off, yes/no
// (any case); whole numbers in decimal or 0x hexadecimal, within the type's range; reals
// in decimal or exponent notation, finite and, for VT_R4, within its range; texts as they
// stand. Other types are refused.
ParsedValue ParseValue(std::string_view text, VarType type);

}  // namespace velk::client
