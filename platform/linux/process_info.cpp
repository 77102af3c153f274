#include "platform/linux/process_info.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

namespace velk {

std::string ExecutablePath() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string CurrentDirectory() {
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::size_t ThreadsOfThisProcess() {
    std::size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* entry = ::readdir(dir)) count += entry->d_name[0] != '.';
        ::closedir(dir);
    }
    return count;
}

}  // namespace velk
