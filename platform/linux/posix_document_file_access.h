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
    // A file counts as abandoned only when it has not changed for a minute and no writer
    // holds its lock (WriteNew holds it while it writes).
    void RemoveAbandoned(const std::string& path, std::string_view ours) override;
    static constexpr int kAbandonedAfterSeconds = 60;
};

// The category of an errno value.
FileError FileErrorFromErrno(int error);

}  // namespace velk
