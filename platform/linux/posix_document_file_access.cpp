#include "platform/linux/posix_document_file_access.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace velk {
namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    // Closes now and reports the close's own failure (delayed write errors show here).
    int Close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

  private:
    int fd_;
};

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

FileError FileErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return FileError::kNone;
        case ENOENT:
            return FileError::kNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            return FileError::kBadPath;
        case EMFILE:
        case ENFILE:
            return FileError::kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return FileError::kAccessDenied;
        case ETXTBSY:
        case EBUSY:
            return FileError::kSharingViolation;
        case ENOLCK:
        case EDEADLK:
            return FileError::kLockingViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return FileError::kDiskFull;
        case EIO:
            return FileError::kHardwareIo;
        case EEXIST:
            return FileError::kExists;
        default:
            return FileError::kOther;
    }
}

FileError PosixDocumentFileAccess::ReadAll(const std::string& path, std::string& bytes) {
    if (path.empty()) return FileError::kBadPath;
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return FileErrorFromErrno(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) return FileErrorFromErrno(errno);
    if (S_ISDIR(st.st_mode)) return FileError::kAccessDenied;
    std::string data;
    if (st.st_size > 0) data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FileErrorFromErrno(errno);
        }
        if (n == 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    bytes = std::move(data);
    return FileError::kNone;
}

FileError PosixDocumentFileAccess::WriteNew(const std::string& path, std::string_view bytes) {
    if (path.empty()) return FileError::kBadPath;
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.Get() < 0) return FileErrorFromErrno(errno);
    // Held while the file is written, so that another save never takes it for abandoned.
    ::flock(fd.Get(), LOCK_EX);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return FileErrorFromErrno(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd.Get()) != 0) return FileErrorFromErrno(errno);
    if (fd.Close() != 0) return FileErrorFromErrno(errno);
    return FileError::kNone;
}

FileError PosixDocumentFileAccess::Replace(const std::string& from, const std::string& to) {
    // The replacement keeps the permissions the user gave the previous file.
    struct stat previous {};
    if (::stat(to.c_str(), &previous) == 0 && S_ISREG(previous.st_mode)) {
        ::chmod(from.c_str(), previous.st_mode & 07777);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) return FileErrorFromErrno(errno);
    // Make the new directory entry durable; a failure here leaves a complete file either way.
    Descriptor dir(::open(DirectoryOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return FileError::kNone;
}

void PosixDocumentFileAccess::Remove(const std::string& path) { ::unlink(path.c_str()); }

void PosixDocumentFileAccess::RemoveAbandoned(const std::string& path, std::string_view ours) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) return;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return;
    if (::time(nullptr) - st.st_mtime < kAbandonedAfterSeconds) return;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return;
    std::string head(ours.size(), '\0');
    ssize_t n;
    do {
        n = ::read(fd.Get(), head.data(), head.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0 || ours.substr(0, static_cast<std::size_t>(n)) != head.substr(0, n)) return;
    // Still the file that was judged, not one that took its name meanwhile.
    struct stat named {};
    if (::lstat(path.c_str(), &named) != 0 || named.st_dev != st.st_dev ||
        named.st_ino != st.st_ino)
        return;
    ::unlink(path.c_str());
}

std::string PosixDocumentFileAccess::ResolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    // A link keeps pointing at the configuration: the file it names is replaced instead.
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return path;
    std::string target(resolved);
    std::free(resolved);
    return target;
}

}  // namespace velk
