#pragma once
// Files held in memory, with switches to make opens, renames and syncs fail.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/file_system.h"

namespace velk::testing {

class MemoryFileSystem final : public IFileSystem {
  public:
    std::unique_ptr<IAppendFile> OpenAppend(const std::string& path) override;
    bool RenameNoReplace(const std::string& from, const std::string& to) override;
    bool Exists(const std::string& path) override;
    std::vector<std::string> ListDirectory(const std::string& directory) override;
    bool Remove(const std::string& path) override;

    std::string Content(const std::string& path) const;
    void SetContent(const std::string& path, std::string bytes);
    std::size_t FileCount() const;

    bool failOpen = false;
    bool failRename = false;
    bool failSync = false;
    int opens = 0;
    int syncs = 0;

  private:
    friend class MemoryFile;
    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<std::string>> files_;
};

}  // namespace velk::testing
