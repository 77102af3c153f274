#include "platform/linux/safe_file_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velk {
namespace {

std::string Reason(const std::string& what, const std::string& path) {
    return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

std::string ParentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

bool WriteAll(int fd, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool CreateDirectories(const std::string& path, mode_t mode, std::string& reason) {
    if (path.empty()) return true;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        reason = Reason("create the directory", path);
        return false;
    }
    const std::string parent = ParentOf(path);
    if (parent != path && !CreateDirectories(parent, mode, reason)) return false;
    if (::mkdir(path.c_str(), mode) != 0) {
        if (errno == EEXIST) return true;  // made by someone else meanwhile
        reason = Reason("create the directory", path);
        return false;
    }
    // mkdir applies the umask; the mode asked for is the one the directory gets.
    if (::chmod(path.c_str(), mode) != 0) {
        reason = Reason("set the mode of", path);
        return false;
    }
    return true;
}

bool ReplaceFile(const std::string& path, std::string_view text, mode_t mode, std::string& reason) {
    const std::string temporary = path + ".new";
    // unlink never follows a link; O_EXCL with O_CREAT never opens one that reappears.
    ::unlink(temporary.c_str());
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        reason = Reason("create", temporary);
        return false;
    }
    const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    if (!written) reason = Reason("write", temporary);
    if (::close(fd) != 0 && written) {
        reason = Reason("write", temporary);
        ::unlink(temporary.c_str());
        return false;
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        reason = Reason("replace", path);
        ::unlink(temporary.c_str());
        return false;
    }
    const int directory = ::open(ParentOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory >= 0) {
        ::fsync(directory);
        ::close(directory);
    }
    return true;
}

}  // namespace velk
