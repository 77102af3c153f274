#pragma once
#include <cstddef>
#include <string>

namespace velk {

// The running executable's absolute path (from /proc/self/exe); "" when unknown.
std::string ExecutablePath();
// The directory part of a path ("" for a bare name).
std::string DirectoryOf(const std::string& path);
std::string CurrentDirectory();
// This machine's host name; "" when unknown.
std::string HostName();
// Makes the directory and its missing parents (mode 0750); true when it exists afterwards.
bool MakeDirectories(const std::string& path);
// Threads of this process now (from /proc/self/task); 0 when unknown.
std::size_t ThreadsOfThisProcess();

}  // namespace velk
