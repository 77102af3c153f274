// The PKI's files on a POSIX file system.
#include "platform/linux/posix_protected_files.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "platform/linux/posix_file_reader.h"
#include "platform/linux/safe_file_write.h"

namespace velk {

namespace {

constexpr std::size_t kMaxFileBytes = 1u << 20;

bool IsRegular(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool PosixProtectedFiles::CreateDirectories(const std::string& path, Access access) {
    std::string reason;
    return velk::CreateDirectories(path, access == Access::kPrivate ? 0700 : kDirectoryMode,
                                   reason);
}

bool PosixProtectedFiles::Read(const std::string& path, std::string& bytes) {
    return PosixFileReader(kMaxFileBytes).ReadAll(path, bytes) == FileReadResult::Ok;
}

bool PosixProtectedFiles::Write(const std::string& path, std::string_view bytes, Access access) {
    std::string reason;
    return ReplaceFile(path, bytes, access == Access::kPrivate ? 0600 : kFileMode, reason);
}

std::vector<std::string> PosixProtectedFiles::List(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && IsRegular(directory + "/" + name)) {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool PosixProtectedFiles::Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool PosixProtectedFiles::Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::string HostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

}  // namespace velk
