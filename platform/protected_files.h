#pragma once
// The files of a directory tree that holds keys and certificates (the OPC UA PKI): whole
// files read and written, a written file replaced in one step and never through a symbolic
// link. Private files are readable only by their owner (0600, directories 0700); public ones
// by everyone (0644, 0755).
#include <string>
#include <string_view>
#include <vector>

namespace velk {

class IProtectedFiles {
  public:
    enum class Access { kPublic, kPrivate };
    virtual ~IProtectedFiles() = default;
    // Makes the directory and its missing parents; true when it exists afterwards.
    virtual bool CreateDirectories(const std::string& path, Access access) = 0;
    // The bytes of a regular file of at most 1 MiB; false when it is missing or larger.
    virtual bool Read(const std::string& path, std::string& bytes) = 0;
    virtual bool Write(const std::string& path, std::string_view bytes, Access access) = 0;
    // Names of the regular files in a directory, sorted; empty when it cannot be read.
    virtual std::vector<std::string> List(const std::string& directory) = 0;
    virtual bool Exists(const std::string& path) = 0;
    virtual bool Remove(const std::string& path) = 0;
};

// The machine's host name; "localhost" when it has none.
std::string HostName();

}  // namespace velk
