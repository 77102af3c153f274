#pragma once
// A value as the client receives it from the server or sends it there: a variant type code
// (VT_I2, VT_R8, ...) and the value itself. Numbers are held at full width and the type code
// tells their kind, so that formatting and range checks need no further table.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velk::client {

using VarType = std::uint16_t;

inline constexpr VarType VT_EMPTY = 0;
inline constexpr VarType VT_NULL = 1;
inline constexpr VarType VT_I2 = 2;
inline constexpr VarType VT_I4 = 3;
inline constexpr VarType VT_R4 = 4;
inline constexpr VarType VT_R8 = 5;
inline constexpr VarType VT_CY = 6;
inline constexpr VarType VT_DATE = 7;
inline constexpr VarType VT_BSTR = 8;
inline constexpr VarType VT_ERROR = 10;
inline constexpr VarType VT_BOOL = 11;
inline constexpr VarType VT_I1 = 16;
inline constexpr VarType VT_UI1 = 17;
inline constexpr VarType VT_UI2 = 18;
inline constexpr VarType VT_UI4 = 19;
inline constexpr VarType VT_I8 = 20;
inline constexpr VarType VT_UI8 = 21;
inline constexpr VarType VT_INT = 22;
inline constexpr VarType VT_UINT = 23;
inline constexpr VarType VT_ARRAY = 0x2000;

class ClientValue {
  public:
    using Elements = std::vector<ClientValue>;

    ClientValue() = default;

    static ClientValue Empty() { return {}; }
    static ClientValue Bool(bool value) { return ClientValue(VT_BOOL, value); }
    // Whole numbers of a signed type (VT_I1, VT_I2, VT_I4, VT_I8, VT_INT, VT_CY, VT_ERROR
    // as its signed code) or an unsigned one (VT_UI1, VT_UI2, VT_UI4, VT_UI8, VT_UINT).
    static ClientValue Signed(VarType type, std::int64_t value) { return ClientValue(type, value); }
    static ClientValue Unsigned(VarType type, std::uint64_t value) {
        return ClientValue(type, value);
    }
    static ClientValue Real(VarType type, double value) { return ClientValue(type, value); }
    static ClientValue Date(double days) { return ClientValue(VT_DATE, days); }
    static ClientValue Text(std::string value) { return ClientValue(VT_BSTR, std::move(value)); }
    // An array of elements of one element type; the value's type is VT_ARRAY | elementType.
    static ClientValue Array(VarType elementType, Elements elements) {
        return ClientValue(static_cast<VarType>(VT_ARRAY | elementType), std::move(elements));
    }

    VarType Type() const { return type_; }
    bool IsEmpty() const { return type_ == VT_EMPTY; }
    bool IsArray() const { return (type_ & VT_ARRAY) != 0; }

    // The stored value; null when the value holds another kind.
    const bool* AsBool() const { return std::get_if<bool>(&data_); }
    const std::int64_t* AsSigned() const { return std::get_if<std::int64_t>(&data_); }
    const std::uint64_t* AsUnsigned() const { return std::get_if<std::uint64_t>(&data_); }
    const double* AsReal() const { return std::get_if<double>(&data_); }
    const std::string* AsText() const { return std::get_if<std::string>(&data_); }
    const Elements* AsElements() const { return std::get_if<Elements>(&data_); }

    bool operator==(const ClientValue& other) const = default;

  private:
    using Storage = std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double,
                                 std::string, Elements>;
    ClientValue(VarType type, Storage data) : type_(type), data_(std::move(data)) {}

    VarType type_ = VT_EMPTY;
    Storage data_;
};

}  // namespace velk::client
