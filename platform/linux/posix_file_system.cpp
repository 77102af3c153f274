#include "platform/linux/posix_file_system.h"

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

  private:
    int fd_;
};
}  // namespace

std::unique_ptr<IAppendFile> PosixFileSystem::OpenAppend(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
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

}  // namespace velk
