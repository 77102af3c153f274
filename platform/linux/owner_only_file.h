#pragma once
// Files that hold secrets (password hashes) kept readable and writable by their owner alone.
#include <string>

namespace velk {

// Sets the mode of an existing regular file to 0600 (through a symbolic link, the file it
// names); false with the reason in error when it cannot.
bool RestrictFileToOwner(const std::string& path, std::string& error);

// Whether the file exists and neither its group nor others may read or write it.
bool IsOwnerOnlyFile(const std::string& path);

}  // namespace velk
