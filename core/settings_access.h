#pragma once
// Reading and writing the server's settings in a settings store, below one application key
// (HKEY_LOCAL_MACHINE\Software\VELK\VELK A&E OPC Server for the server options). A subkey
// name of "" means the application key itself. Reads never fail: a missing key, a missing
// value or unusable data yields the caller's default.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace velk {

inline constexpr std::string_view kMakerName = "VELK";
inline constexpr std::string_view kApplicationTitle = "VELK A&E OPC Server";
inline constexpr std::string_view kMachineApplicationKey =
    "HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server";
inline constexpr std::string_view kUserApplicationKey =
    "HKEY_CURRENT_USER\\Software\\VELK\\VELK A&E OPC Server";

// The number a value's data stands for: little-endian, shorter data filled with zero bytes,
// whatever the registry type; none when the data is longer than 4 bytes.
std::optional<std::uint32_t> SettingNumberFromData(const RegValue& value);
// The text a value's data stands for, whatever the registry type: UTF-16LE up to the first
// zero character (an odd last byte is ignored).
std::string SettingTextFromData(const RegValue& value);

class SettingsAccess {
  public:
    explicit SettingsAccess(ISettingsStore& store,
                            std::string applicationKey = std::string(kMachineApplicationKey));

    // The full path of the subkey. Read-only: only when it exists. Otherwise the maker key,
    // the application key and the subkey are created when missing. None on any failure.
    std::optional<std::string> OpenSettingsKey(std::string_view subkey, bool readOnly);

    // The value as stored, whatever its type, from an existing key; none when the key or the
    // value is missing.
    std::optional<RegValue> ReadSettingValue(std::string_view subkey, std::string_view value) {
        return Read(subkey, value, true);
    }

    std::uint32_t ReadSettingNumber(std::string_view subkey, std::string_view value, bool readOnly,
                                    std::uint32_t defaultValue);
    std::string ReadSettingText(std::string_view subkey, std::string_view value, bool readOnly,
                                std::string_view defaultValue);

    // Store a REG_DWORD / a REG_SZ with its terminating zero, opening the key for writing.
    // False when the key cannot be opened or the value cannot be written; callers that follow
    // the settings rules ignore the result.
    bool WriteSettingNumber(std::string_view subkey, std::string_view value, std::uint32_t number);
    bool WriteSettingText(std::string_view subkey, std::string_view value, std::string_view text);

    ISettingsStore& Store() { return store_; }
    const std::string& ApplicationKey() const { return applicationKey_; }

  private:
    std::optional<RegValue> Read(std::string_view subkey, std::string_view value, bool readOnly);
    bool Write(std::string_view subkey, std::string_view value, const RegValue& data);

    ISettingsStore& store_;
    std::string applicationKey_;
};

}  // namespace velk
