#pragma once
#include <string>

namespace velk {

// The running executable's absolute path (from /proc/self/exe); "" when unknown.
std::string ExecutablePath();
// The directory part of a path ("" for a bare name).
std::string DirectoryOf(const std::string& path);
std::string CurrentDirectory();

}  // namespace velk
