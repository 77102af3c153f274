#pragma once
// Files as the trace file and the document use them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velk {

class IAppendFile {
  public:
    virtual ~IAppendFile() = default;
    virtual std::optional<std::uint64_t> Size() = 0;
    // One write call; returns the number of bytes written (0 on failure).
    virtual std::size_t Write(const void* data, std::size_t bytes) = 0;
    // Puts what was written on the disk before it returns; false when that failed.
    virtual bool Sync() = 0;
};

class IFileSystem {
  public:
    virtual ~IFileSystem() = default;
    // Opens for reading and writing, creating the file (mode 0644 at most) when missing,
    // shared with other processes, positioned at its end; never through a symbolic link.
    // Null on failure.
    virtual std::unique_ptr<IAppendFile> OpenAppend(const std::string& path) = 0;
    // Renames; fails when the target exists (never overwrites).
    virtual bool RenameNoReplace(const std::string& from, const std::string& to) = 0;
    virtual bool Exists(const std::string& path) = 0;
    // Names (not paths) of the entries of a directory; empty when it cannot be read.
    virtual std::vector<std::string> ListDirectory(const std::string& directory) = 0;
    // Removes a file; false when it could not be removed.
    virtual bool Remove(const std::string& path) = 0;
};

}  // namespace velk
