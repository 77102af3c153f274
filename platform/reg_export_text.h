#pragma once
// The registry-export text ("Windows Registry Editor Version 5.00", [key] sections,
// "name"=data lines) as a tree of keys, without any file: the settings file store reads and
// writes files of this syntax, and the parser is fuzzed here on its own.
//
// Keys and values are indexed by their ASCII-lower-cased names, so a lookup costs the same
// whatever the number of keys; the order in which they were added is kept for writing.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/settings_store.h"

namespace velk {

// Value data larger than this is refused, when read and when written.
inline constexpr std::size_t kMaxRegValueBytes = 1024 * 1024;

class RegKey {
  public:
    explicit RegKey(std::string name = {}) : name_(std::move(name)) {}
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    const std::string& Name() const { return name_; }

    RegKey* Child(std::string_view name) const;
    RegKey& ChildOrNew(std::string_view name);
    // True when a child of that name was there.
    bool RemoveChild(std::string_view name);
    const std::vector<std::unique_ptr<RegKey>>& Children() const { return children_; }

    const RegValue* Value(std::string_view name) const;
    // True when the stored value changed.
    bool SetValue(std::string_view name, RegValue value);
    bool RemoveValue(std::string_view name);
    const std::vector<std::pair<std::string, RegValue>>& Values() const { return values_; }

  private:
    std::string name_;
    std::vector<std::unique_ptr<RegKey>> children_;
    std::unordered_map<std::string, std::size_t> childIndex_;
    std::vector<std::pair<std::string, RegValue>> values_;
    std::unordered_map<std::string, std::size_t> valueIndex_;
};

// Splits "A\B\C" into its names; empty when a name is empty or cannot stand in the text.
std::vector<std::string> SplitRegKeyPath(std::string_view path);
// The key at the full path below root, or null.
RegKey* FindRegKey(const RegKey& root, std::string_view path);
// True for a value name that the text can hold (UTF-8, no control characters).
bool IsStorableValueName(std::string_view name);

// Fills root (whose children are the root keys, HKEY_LOCAL_MACHINE, ...) from the text; ""
// on success, else "line N: what is wrong". On failure root holds what was read before.
std::string ParseRegExport(std::string_view text, RegKey& root);
// The text of the tree, which ParseRegExport reads back to the same tree.
std::string FormatRegExport(const RegKey& root);

}  // namespace velk
