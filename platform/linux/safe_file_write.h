#pragma once
// Writing files that other programs trust (the bus's service and policy files, the settings
// store): an explicit mode whatever the process's umask, never through a symbolic link, and
// replaced in one step so that no reader sees half a file.
#include <sys/types.h>

#include <string>
#include <string_view>

namespace velk {

inline constexpr mode_t kFileMode = 0644;
inline constexpr mode_t kDirectoryMode = 0755;

// Creates the directory and its missing parents, each new one with exactly the mode; false
// with the path and the system's reason when one cannot be made.
bool CreateDirectories(const std::string& path, mode_t mode, std::string& reason);

// Writes text to "<path>.new", created exclusively (a file or link left there is removed
// first, never followed) with exactly the mode, flushes it to the disk and renames it over
// path. The directory must exist. False with the path and the system's reason.
bool ReplaceFile(const std::string& path, std::string_view text, mode_t mode, std::string& reason);

// Writes all of text to the descriptor; false on a write error.
bool WriteAll(int fd, std::string_view text);

}  // namespace velk
