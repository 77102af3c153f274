#pragma once
#include "platform/document_file_access.h"

namespace velk {

class PosixDocumentFileAccess final : public IDocumentFileAccess {
  public:
    FileError ReadAll(const std::string& path, std::string& bytes) override;
    FileError WriteNew(const std::string& path, std::string_view bytes) override;
    FileError Replace(const std::string& from, const std::string& to) override;
    void Remove(const std::string& path) override;
    std::string ResolveTarget(const std::string& path) override;
};

// The category of an errno value.
FileError FileErrorFromErrno(int error);

}  // namespace velk
