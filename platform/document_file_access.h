#pragma once
// Whole-file reads and crash-safe replacement, as the configuration document uses them.
#include <string>
#include <string_view>

namespace velk {

// Why a file operation failed, in the categories the user is told about.
enum class FileError {
    kNone,
    kNotFound,
    kBadPath,
    kTooManyOpenFiles,
    kAccessDenied,
    kSharingViolation,
    kLockingViolation,
    kDiskFull,
    kHardwareIo,
    kExists,
    kOther,
};

class IDocumentFileAccess {
  public:
    virtual ~IDocumentFileAccess() = default;
    // Reads the whole file into bytes.
    virtual FileError ReadAll(const std::string& path, std::string& bytes) = 0;
    // Creates a file that must not exist yet (kExists otherwise), writes bytes to it and
    // flushes it to the disk. A file left half-written on failure is the caller's to remove.
    virtual FileError WriteNew(const std::string& path, std::string_view bytes) = 0;
    // Renames from over to in one step, replacing an existing target.
    virtual FileError Replace(const std::string& from, const std::string& to) = 0;
    // Removes a file; a missing file is no failure.
    virtual void Remove(const std::string& path) = 0;
    // The file a save to path must replace: the final target of a symbolic link, else path.
    virtual std::string ResolveTarget(const std::string& path) { return path; }
    // Removes path when a save that was killed midway left it behind: a regular file of this
    // user that no save is writing (none holds it, and it is not new), empty or beginning as
    // ours does as far as either goes. Anything else at the name stays.
    virtual void RemoveAbandoned(const std::string& path, std::string_view ours) {
        (void)path;
        (void)ours;
    }
};

}  // namespace velk
