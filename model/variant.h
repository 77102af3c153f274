#pragma once
// The value of a tag: a tagged union whose type codes are the variant type codes that OPC
// clients see as canonical types. Booleans are all ones (true) or zero, as on the wire of
// the OPC interfaces.
#include <cstdint>
#include <string>
#include <variant>

#include "platform/hresult.h"

namespace velk {

using VarType = std::uint16_t;

inline constexpr VarType VT_EMPTY = 0;
inline constexpr VarType VT_I2 = 2;     // INT
inline constexpr VarType VT_I4 = 3;     // LONG
inline constexpr VarType VT_R4 = 4;     // REAL
inline constexpr VarType VT_R8 = 5;     // DOUBLE
inline constexpr VarType VT_BSTR = 8;   // STRING
inline constexpr VarType VT_BOOL = 11;  // BOOL
inline constexpr VarType VT_UI2 = 18;   // UINT
inline constexpr VarType VT_UI4 = 19;   // ULONG
inline constexpr VarType VT_I8 = 20;    // LLONG
inline constexpr VarType VT_UI8 = 21;   // ULLONG

class Variant {
  public:
    Variant() = default;

    static Variant Bool(bool value);
    static Variant Int16(std::int16_t value);
    static Variant UInt16(std::uint16_t value);
    static Variant Int32(std::int32_t value);
    static Variant UInt32(std::uint32_t value);
    static Variant Int64(std::int64_t value);
    static Variant UInt64(std::uint64_t value);
    static Variant Float(float value);
    static Variant Double(double value);
    static Variant Text(std::string value);

    VarType Type() const;
    bool IsEmpty() const { return Type() == VT_EMPTY; }

    // Typed reads; each is valid only when Type() is the matching code.
    bool AsBool() const { return std::get<bool>(data_); }
    std::int16_t AsInt16() const { return std::get<std::int16_t>(data_); }
    std::uint16_t AsUInt16() const { return std::get<std::uint16_t>(data_); }
    std::int32_t AsInt32() const { return std::get<std::int32_t>(data_); }
    std::uint32_t AsUInt32() const { return std::get<std::uint32_t>(data_); }
    std::int64_t AsInt64() const { return std::get<std::int64_t>(data_); }
    std::uint64_t AsUInt64() const { return std::get<std::uint64_t>(data_); }
    float AsFloat() const { return std::get<float>(data_); }
    double AsDouble() const { return std::get<double>(data_); }
    const std::string& AsText() const { return std::get<std::string>(data_); }

    // Converts in place to the given type code. S_OK on success; DISP_E_TYPEMISMATCH for a
    // text that is no number or an unknown target, DISP_E_OVERFLOW for a number out of the
    // target's range. On failure the value is unchanged. Floating values are rounded to the
    // nearest integer, halves to even; true converts to -1 (signed) or all ones (unsigned).
    // Whole numbers and number texts convert to and between the 64-bit types exactly.
    HRESULT ChangeType(VarType target);

    // The value as a 64-bit float; false for empty values and texts that are no number.
    bool ToDouble(double& out) const;
    // The value as text: numbers in their shortest exact form, booleans "True"/"False",
    // empty values as empty text.
    std::string ToText() const;

    bool operator==(const Variant& other) const = default;

  private:
    HRESULT ChangeTo64(VarType target);
    using Storage =
        std::variant<std::monostate, bool, std::int16_t, std::uint16_t, std::int32_t, std::uint32_t,
                     float, double, std::string, std::int64_t, std::uint64_t>;
    explicit Variant(Storage data) : data_(std::move(data)) {}
    Storage data_;
};

}  // namespace velk
