#pragma once
// IProtectedFiles over POSIX files, with exact modes whatever the process's umask.
#include "platform/protected_files.h"

namespace velk {

class PosixProtectedFiles final : public IProtectedFiles {
  public:
    bool CreateDirectories(const std::string& path, Access access) override;
    bool Read(const std::string& path, std::string& bytes) override;
    bool Write(const std::string& path, std::string_view bytes, Access access) override;
    std::vector<std::string> List(const std::string& directory) override;
    bool Exists(const std::string& path) override;
    bool Remove(const std::string& path) override;
};

}  // namespace velk
