#include "tests/support/memory_settings_store.h"

#include <algorithm>

#include "platform/text.h"

namespace velk::testing {
namespace {

bool ValidPath(std::string_view path) {
    if (path.empty() || path.front() == '\\' || path.back() == '\\') return false;
    return path.find("\\\\") == std::string_view::npos;
}

// The lower-case paths of the key and every parent, outermost first.
std::vector<std::string> PathAndParents(std::string_view path) {
    std::vector<std::string> paths;
    for (std::size_t pos = path.find('\\'); pos != std::string_view::npos;
         pos = path.find('\\', pos + 1)) {
        paths.push_back(std::string(path.substr(0, pos)));
    }
    paths.emplace_back(path);
    return paths;
}

}  // namespace

bool MemorySettingsStore::Record(Change change, std::string_view key, std::string_view name,
                                 const RegValue& value, bool succeeded) {
    operations_.push_back({change, std::string(key), std::string(name), value, succeeded});
    return succeeded;
}

bool MemorySettingsStore::KeyExists(std::string_view key) {
    std::lock_guard lock(mutex_);
    return keys_.count(AsciiLowerCopy(key)) != 0;
}

bool MemorySettingsStore::CreateKey(std::string_view key) {
    std::lock_guard lock(mutex_);
    if (!writable_ || !ValidPath(key)) return Record(Change::CreateKey, key, "", {}, false);
    for (const auto& path : PathAndParents(key)) {
        auto& entry = keys_[AsciiLowerCopy(path)];
        if (entry.path.empty()) entry.path = path;
    }
    return Record(Change::CreateKey, key, "", {}, true);
}

bool MemorySettingsStore::DeleteKey(std::string_view key) {
    std::lock_guard lock(mutex_);
    if (!writable_) return Record(Change::DeleteKey, key, "", {}, false);
    const std::string lower = AsciiLowerCopy(key);
    std::erase_if(keys_, [&](const auto& entry) {
        return entry.first == lower || entry.first.starts_with(lower + "\\");
    });
    return Record(Change::DeleteKey, key, "", {}, true);
}

std::optional<RegValue> MemorySettingsStore::ReadValue(std::string_view key,
                                                       std::string_view name) {
    std::lock_guard lock(mutex_);
    const auto found = keys_.find(AsciiLowerCopy(key));
    if (found == keys_.end()) return std::nullopt;
    for (const auto& [n, v] : found->second.values) {
        if (EqualsNoCase(n, name)) return v;
    }
    return std::nullopt;
}

bool MemorySettingsStore::WriteValue(std::string_view key, std::string_view name,
                                     const RegValue& value) {
    std::lock_guard lock(mutex_);
    const auto found = keys_.find(AsciiLowerCopy(key));
    if (!writable_ || found == keys_.end()) {
        return Record(Change::WriteValue, key, name, value, false);
    }
    auto& values = found->second.values;
    const auto existing = std::find_if(values.begin(), values.end(),
                                       [&](const auto& v) { return EqualsNoCase(v.first, name); });
    if (existing != values.end()) {
        existing->second = value;
    } else {
        values.emplace_back(std::string(name), value);
    }
    return Record(Change::WriteValue, key, name, value, true);
}

bool MemorySettingsStore::DeleteValue(std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    if (!writable_) return Record(Change::DeleteValue, key, name, {}, false);
    const auto found = keys_.find(AsciiLowerCopy(key));
    if (found != keys_.end()) {
        std::erase_if(found->second.values,
                      [&](const auto& v) { return EqualsNoCase(v.first, name); });
    }
    return Record(Change::DeleteValue, key, name, {}, true);
}

std::vector<std::string> MemorySettingsStore::SubKeys(std::string_view key) {
    std::lock_guard lock(mutex_);
    const std::string prefix = AsciiLowerCopy(key) + "\\";
    std::vector<std::string> names;
    for (const auto& [lower, entry] : keys_) {
        if (lower.starts_with(prefix) && lower.find('\\', prefix.size()) == std::string::npos) {
            names.push_back(entry.path.substr(prefix.size()));
        }
    }
    return names;
}

std::string MemorySettingsStore::Problem() const {
    std::lock_guard lock(mutex_);
    return writable_ ? std::string() : std::string("the store is not writable");
}

std::vector<std::string> MemorySettingsStore::Keys() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> paths;
    for (const auto& [lower, entry] : keys_) paths.push_back(entry.path);
    return paths;
}

std::vector<std::string> MemorySettingsStore::ValueNames(std::string_view key) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    const auto found = keys_.find(AsciiLowerCopy(key));
    if (found != keys_.end()) {
        for (const auto& [n, v] : found->second.values) names.push_back(n);
    }
    return names;
}

std::vector<std::string> MemorySettingsStore::WrittenNames() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    for (const auto& op : operations_) {
        if (op.change == Change::WriteValue && op.succeeded) names.push_back(op.name);
    }
    return names;
}

std::vector<MemorySettingsStore::Operation> MemorySettingsStore::Operations() const {
    std::lock_guard lock(mutex_);
    return operations_;
}

void MemorySettingsStore::ClearOperations() {
    std::lock_guard lock(mutex_);
    operations_.clear();
}

void MemorySettingsStore::SetWritable(bool writable) {
    std::lock_guard lock(mutex_);
    writable_ = writable;
}

}  // namespace velk::testing
