#include "platform/linux/posix_file_system.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace velk {
namespace {
class PosixAppendFile final : public IAppendFile {
  public:
    explicit PosixAppendFile(int fd) : fd_(fd) {}
    ~PosixAppendFile() override { ::close(fd_); }

    std::optional<std::uint64_t> Size() override {
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return std::nullopt;
        return static_cast<std::uint64_t>(st.st_size);
    }

    std::size_t Write(const void* data, std::size_t bytes) override {
        // O_APPEND makes each write land at the end, whatever other processes wrote.
        const ssize_t n = ::write(fd_, data, bytes);
        return n < 0 ? 0 : static_cast<std::size_t>(n);
    }

    bool Sync() override { return ::fdatasync(fd_) == 0; }

  private:
    int fd_;
};
}  // namespace

std::unique_ptr<IAppendFile> PosixFileSystem::OpenAppend(const std::string& path) {
    // O_NOFOLLOW: a link planted at the trace file's name is not written through.
    const int fd = ::open(path.c_str(),
                          O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    // O_NONBLOCK kept a FIFO from blocking the open; only a regular file is a trace file.
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, O_APPEND);
    return std::make_unique<PosixAppendFile>(fd);
}

bool PosixFileSystem::RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without RENAME_NOREPLACE: link fails when the target exists.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

bool PosixFileSystem::Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> PosixFileSystem::ListDirectory(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

bool PosixFileSystem::Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace velk
