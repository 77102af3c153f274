#pragma once
// Reading a whole small file (configuration side files such as the user condition file).
#include <string>

namespace velk {

enum class FileReadResult {
    Ok,
    CannotOpen,  // missing, not accessible or not a regular file
    ReadError,   // opened, but reading failed part-way
};

class IFileReader {
  public:
    virtual ~IFileReader() = default;
    // Reads the file's bytes; on ReadError the bytes read so far are in bytes.
    virtual FileReadResult ReadAll(const std::string& path, std::string& bytes) = 0;
};

}  // namespace velk
