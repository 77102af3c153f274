#include "core/settings_access.h"

#include <utility>

#include "platform/text.h"

namespace velk {

std::optional<std::uint32_t> SettingNumberFromData(const RegValue& value) {
    if (value.data.size() > 4) return std::nullopt;
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        number |= static_cast<std::uint32_t>(static_cast<unsigned char>(value.data[i])) << (8 * i);
    }
    return number;
}

std::string SettingTextFromData(const RegValue& value) {
    std::size_t length = value.data.size() & ~std::size_t{1};
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        if (value.data[i] == '\0' && value.data[i + 1] == '\0') {
            length = i;
            break;
        }
    }
    return Utf16LeBytesToUtf8(std::string_view(value.data).substr(0, length));
}

SettingsAccess::SettingsAccess(ISettingsStore& store, std::string applicationKey)
    : store_(store), applicationKey_(std::move(applicationKey)) {}

std::optional<std::string> SettingsAccess::OpenSettingsKey(std::string_view subkey, bool readOnly) {
    std::string path = applicationKey_;
    if (!subkey.empty()) path += "\\" + std::string(subkey);
    const bool open = readOnly ? store_.KeyExists(path) : store_.CreateKey(path);
    if (!open) return std::nullopt;
    return path;
}

std::optional<RegValue> SettingsAccess::Read(std::string_view subkey, std::string_view value,
                                             bool readOnly) {
    const auto key = OpenSettingsKey(subkey, readOnly);
    if (!key) return std::nullopt;
    return store_.ReadValue(*key, value);
}

bool SettingsAccess::Write(std::string_view subkey, std::string_view value, const RegValue& data) {
    const auto key = OpenSettingsKey(subkey, false);
    return key && store_.WriteValue(*key, value, data);
}

std::uint32_t SettingsAccess::ReadSettingNumber(std::string_view subkey, std::string_view value,
                                                bool readOnly, std::uint32_t defaultValue) {
    const auto data = Read(subkey, value, readOnly);
    if (!data) return defaultValue;
    return SettingNumberFromData(*data).value_or(defaultValue);
}

std::string SettingsAccess::ReadSettingText(std::string_view subkey, std::string_view value,
                                            bool readOnly, std::string_view defaultValue) {
    const auto data = Read(subkey, value, readOnly);
    if (!data) return std::string(defaultValue);
    return SettingTextFromData(*data);
}

bool SettingsAccess::WriteSettingNumber(std::string_view subkey, std::string_view value,
                                        std::uint32_t number) {
    return Write(subkey, value, RegValue::Dword(number));
}

bool SettingsAccess::WriteSettingText(std::string_view subkey, std::string_view value,
                                      std::string_view text) {
    return Write(subkey, value, RegValue::String(text));
}

}  // namespace velk
