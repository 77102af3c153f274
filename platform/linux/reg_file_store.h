#pragma once
// The settings store on Linux: one UTF-8 text file in the registry-export syntax
// ("Windows Registry Editor Version 5.00", [key] sections, "name"=data lines), so that an
// administrator can read and edit it by hand and move it to and from a Windows registry.
//
// The file is parsed once per change of the file, not once per read: every operation first
// looks at the file's identity (device, inode, size, and modification and status-change times
// to the nanosecond) with one stat call and parses it again only when that differs from the
// parse it keeps. Changes of other processes are therefore seen at the next operation: a
// writer that replaces the file (as this store does) gives it a new inode, and an editor that
// rewrites it in place changes its size or its times. File times move in ticks of the
// kernel's coarse clock, so a file modified less than a tick before it was read could change
// again without a new time: such a parse is not trusted and the file is read again at the
// next operation, until it has been quiet for longer. A stat per operation is chosen over
// inotify because it needs no thread or descriptor of its own, sees the file through a
// replaced symbolic link or directory as well, and costs microseconds next to the settings
// reads it guards. Lookups use the keys' index (see reg_export_text.h), not a search.
//
// Every change is a read-modify-write under an exclusive lock on "<file>.lock" beside the
// store, on the file as it is inside the lock, and replaces the file atomically (temporary
// file created exclusively in the same directory, mode 0644 or the old file's, fsync,
// rename). A malformed file reads as empty and is never overwritten; so does a path that is
// not a regular file (a FIFO would block the reader for ever), a file larger than
// kMaxStoreBytes and a value larger than 1 MB.
#include <sys/types.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/reg_export_text.h"
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
    std::vector<std::string> ValueNames(std::string_view key) const override;
    // "<path>, line N: <what>" for a malformed file, the reason of an unreadable file or of
    // the last failed write; "" when the store is sound.
    std::string Problem() const override;

    const std::string& Path() const { return path_; }

    // The largest file the store reads.
    static constexpr std::size_t kMaxStoreBytes = 64 * 1024 * 1024;

  private:
    struct Snapshot;

    // The file's content as it is now: the kept parse while the file is unchanged.
    const Snapshot& Current() const;
    // Runs one change under the file lock on the file as it is then; false when the store
    // cannot be written or the change itself fails. The change returns false to fail and
    // sets `changed` when the file must be rewritten.
    bool Modify(const std::function<bool(RegKey& root, bool& changed)>& change);
    bool WriteFile(const std::string& target, const std::string& text);
    // The file that writes replace: the store's path, or the file its symbolic link names.
    std::string TargetPath() const;

    std::string path_;
    mutable std::mutex mutex_;
    mutable std::unique_ptr<Snapshot> snapshot_;  // the last parse, with the file's identity
    std::string writeProblem_;
};

}  // namespace velk
