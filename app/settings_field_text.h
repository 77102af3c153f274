#pragma once
// What the settings dialogs' models share: a field found by its setting's name in the
// dialog's table of fields, and a field's text read as a positive number.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace velk {

// The index of the field of that setting in fields (each with a `setting` name).
template <class Fields>
std::optional<std::size_t> FieldIndex(const Fields& fields, std::string_view setting) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].setting == setting) return i;
    }
    return std::nullopt;
}

// Digits only, at least 1 and within 32 bits; none otherwise.
inline std::optional<std::uint32_t> PositiveInteger(const std::string& text) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [rest, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || rest != end || value == 0) return std::nullopt;
    return value;
}

}  // namespace velk
