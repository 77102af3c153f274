#pragma once
// IFileReader over POSIX files.
#include "platform/file_reader.h"

namespace velk {

class PosixFileReader final : public IFileReader {
  public:
    // Files above maxBytes are refused (CannotOpen) so that a stray large file cannot
    // exhaust memory.
    explicit PosixFileReader(std::size_t maxBytes = 16u << 20) : maxBytes_(maxBytes) {}
    FileReadResult ReadAll(const std::string& path, std::string& bytes) override;

  private:
    std::size_t maxBytes_;
};

}  // namespace velk
