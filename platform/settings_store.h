#pragma once
// A registry-like store of keys and typed values. Key paths are full registry paths
// ("HKEY_LOCAL_MACHINE\Software\VELK\..."); key and value names compare without regard to
// ASCII case. Value data is kept as the registry keeps it: REG_SZ as UTF-16LE bytes with
// the terminating zero, REG_DWORD as four little-endian bytes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velk {

enum RegType : std::uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5,
    REG_MULTI_SZ = 7,
    REG_QWORD = 11,
};

struct RegValue {
    std::uint32_t type = REG_NONE;
    std::string data;  // raw bytes
    bool operator==(const RegValue&) const = default;

    static RegValue Dword(std::uint32_t value);
    static RegValue String(std::string_view utf8);  // REG_SZ with its terminating zero
};

class ISettingsStore {
  public:
    virtual ~ISettingsStore() = default;
    virtual bool KeyExists(std::string_view key) = 0;
    // Creates the key and every missing parent; true when it exists afterwards.
    virtual bool CreateKey(std::string_view key) = 0;
    // Removes the key with everything below it; true when it no longer exists.
    virtual bool DeleteKey(std::string_view key) = 0;
    virtual std::optional<RegValue> ReadValue(std::string_view key, std::string_view name) = 0;
    // Writes a value into an existing key; false when the key is missing or the store is
    // not writable. The empty name is the key's default value.
    virtual bool WriteValue(std::string_view key, std::string_view name, const RegValue& value) = 0;
    virtual bool DeleteValue(std::string_view key, std::string_view name) = 0;
    // Names of the key's direct subkeys.
    virtual std::vector<std::string> SubKeys(std::string_view key) = 0;
    // Names of the key's values in their stored spelling; empty for a missing key.
    virtual std::vector<std::string> ValueNames(std::string_view key) const = 0;
    // A description of why the store cannot be used ("" when it is sound).
    virtual std::string Problem() const = 0;
};

}  // namespace velk
