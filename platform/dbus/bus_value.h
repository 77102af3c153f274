#pragma once
// One value of the bus's type system, independent of the bus library: the class adaptors
// read their arguments and build their results with it. A value knows its own complete
// type signature ("i", "as", "(uv)", "a{sv}", ...).
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace velk {

class BusValue {
  public:
    using Items = std::vector<BusValue>;

    BusValue() : BusValue("i", std::int32_t{0}) {}

    static BusValue Bool(bool v) { return BusValue("b", v); }
    static BusValue Byte(std::uint8_t v) { return BusValue("y", v); }
    static BusValue Int16(std::int16_t v) { return BusValue("n", v); }
    static BusValue UInt16(std::uint16_t v) { return BusValue("q", v); }
    static BusValue Int32(std::int32_t v) { return BusValue("i", v); }
    static BusValue UInt32(std::uint32_t v) { return BusValue("u", v); }
    static BusValue Int64(std::int64_t v) { return BusValue("x", v); }
    static BusValue UInt64(std::uint64_t v) { return BusValue("t", v); }
    static BusValue Double(double v) { return BusValue("d", v); }
    static BusValue String(std::string v) { return BusValue("s", std::move(v)); }
    static BusValue ObjectPath(std::string v) { return BusValue("o", std::move(v)); }
    static BusValue Signature(std::string v) { return BusValue("g", std::move(v)); }
    // An array of elements that all have the element signature (checked by IsWellFormed).
    static BusValue Array(const std::string& elementSignature, Items elements);
    static BusValue Struct(Items fields);
    // A dictionary entry, only valid as the element of an array ("a{sv}").
    static BusValue DictEntry(BusValue key, BusValue value);
    static BusValue Variant(BusValue contents);
    static BusValue StringArray(const std::vector<std::string>& texts);
    static BusValue UInt32Array(const std::vector<std::uint32_t>& values);

    const std::string& TypeSignature() const { return signature_; }
    char TypeCode() const { return signature_[0]; }

    // The stored number or flag; null when the value is of another type.
    template <class T>
    const T* Get() const {
        return std::get_if<T>(&storage_);
    }
    // Text of a string, object path or signature; null for other types.
    const std::string* Text() const { return std::get_if<std::string>(&storage_); }
    // Elements of an array, fields of a struct, key and value of a dictionary entry, the
    // contents of a variant (one item); empty for basic values.
    const Items& Children() const;

    // True when containers hold what their signatures say (array elements of the element
    // type, dictionary entries with a basic key).
    bool IsWellFormed() const;

    bool operator==(const BusValue& other) const = default;

  private:
    using Storage =
        std::variant<bool, std::uint8_t, std::int16_t, std::uint16_t, std::int32_t, std::uint32_t,
                     std::int64_t, std::uint64_t, double, std::string, Items>;
    BusValue(std::string signature, Storage storage)
        : signature_(std::move(signature)), storage_(std::move(storage)) {}

    std::string signature_;
    Storage storage_;
};

// The signature of a sequence of values, e.g. of a reply's results.
std::string SignatureOf(const BusValue::Items& values);

}  // namespace velk
