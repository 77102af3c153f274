#include "platform/linux/owner_only_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace velk {

bool RestrictFileToOwner(const std::string& path, std::string& error) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    if ((info.st_mode & 077) == 0) return true;
    if (chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool IsOwnerOnlyFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) == 0;
}

}  // namespace velk
