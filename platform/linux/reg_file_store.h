#pragma once
// The settings store on Linux: one UTF-8 text file in the registry-export syntax
// ("Windows Registry Editor Version 5.00", [key] sections, "name"=data lines), so that an
// administrator can read and edit it by hand and move it to and from a Windows registry.
//
// Every read reads the file afresh (it is small), so changes of other processes are seen at
// once. Every change is a read-modify-write under an exclusive lock on "<file>.lock" beside the
// store, on a fresh read of the file, and replaces the file atomically (temporary file in the
// same directory, fsync, rename). A malformed file reads as empty and is never overwritten.
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/settings_store.h"

namespace velk {

class RegFileStore final : public ISettingsStore {
  public:
    explicit RegFileStore(std::string path);
    ~RegFileStore() override;
    RegFileStore(const RegFileStore&) = delete;
    RegFileStore& operator=(const RegFileStore&) = delete;

    bool KeyExists(std::string_view key) override;
    // Creates the file (and its directory) when it is missing.
    bool CreateKey(std::string_view key) override;
    // True also when the key did not exist.
    bool DeleteKey(std::string_view key) override;
    std::optional<RegValue> ReadValue(std::string_view key, std::string_view name) override;
    // False for a missing key, a name with control characters or a store that cannot be
    // written (malformed, unreadable, directory not writable).
    bool WriteValue(std::string_view key, std::string_view name, const RegValue& value) override;
    // True when the value no longer exists afterwards.
    bool DeleteValue(std::string_view key, std::string_view name) override;
    std::vector<std::string> SubKeys(std::string_view key) override;
    // "<path>, line N: <what>" for a malformed file, the reason of an unreadable file or of
    // the last failed write; "" when the store is sound.
    std::string Problem() const override;

    const std::string& Path() const { return path_; }

    struct KeyNode;

  private:
    struct Snapshot;

    // The file's content as it is now.
    std::unique_ptr<Snapshot> Load() const;
    // Runs one change under the file lock on a fresh read; false when the store cannot be
    // written or the change itself fails. The change returns false to fail and sets
    // `changed` when the file must be rewritten.
    bool Modify(const std::function<bool(KeyNode& root, bool& changed)>& change);
    bool WriteFile(const std::string& target, const std::string& text);
    // The file that writes replace: the store's path, or the file its symbolic link names.
    std::string TargetPath() const;

    std::string path_;
    mutable std::mutex mutex_;
    std::string writeProblem_;
};

}  // namespace velk
