#pragma once
#include "platform/file_system.h"

namespace velk {

class PosixFileSystem final : public IFileSystem {
  public:
    std::unique_ptr<IAppendFile> OpenAppend(const std::string& path) override;
    bool RenameNoReplace(const std::string& from, const std::string& to) override;
    bool Exists(const std::string& path) override;
    std::vector<std::string> ListDirectory(const std::string& directory) override;
    bool Remove(const std::string& path) override;
};

}  // namespace velk
