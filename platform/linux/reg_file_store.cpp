#include "platform/linux/reg_file_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

#include "platform/linux/safe_file_write.h"

namespace velk {

// What identifies the file's content without reading it.
struct StoreFileIdentity {
    int error = 0;  // errno of the stat; ENOENT for a missing file
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    std::int64_t modified = 0;  // nanoseconds
    std::int64_t changed = 0;   // status change, nanoseconds
    mode_t type = 0;
    bool operator==(const StoreFileIdentity&) const = default;
};

struct RegFileStore::Snapshot {
    StoreFileIdentity identity;
    // The file was modified so shortly before it was read that a change in the same tick of
    // the file system's clock would leave its times alone: the kept parse is not trusted.
    bool racy = false;
    RegKey root;  // its children are the root keys (HKEY_LOCAL_MACHINE, ...)
    std::string problem;
};

namespace {

using Identity = StoreFileIdentity;

std::int64_t Nanoseconds(const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// File times advance in ticks of the kernel's coarse clock; a generous bound of it.
constexpr std::int64_t kTimestampTick = 50'000'000;

std::int64_t RealTimeNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return Nanoseconds(now);
}

Identity IdentityOf(const struct stat& st) {
    Identity identity;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.size = st.st_size;
    identity.modified = Nanoseconds(st.st_mtim);
    identity.changed = Nanoseconds(st.st_ctim);
    identity.type = st.st_mode & S_IFMT;
    return identity;
}

Identity StatIdentity(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        Identity missing;
        missing.error = errno;
        return missing;
    }
    return IdentityOf(st);
}

std::string ErrnoText(const std::string& what, const std::string& path) {
    return "cannot " + what + " " + path + ": " + std::strerror(errno);
}

// Reads the whole of a regular file of at most `limit` bytes; "" or what went wrong.
std::string ReadBounded(const std::string& path, std::size_t limit, Identity& identity,
                        std::string& text) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        identity.error = errno;
        return errno == ENOENT ? std::string() : ErrnoText("read", path);
    }
    struct stat st {};
    std::string problem;
    if (::fstat(fd, &st) != 0) {
        problem = ErrnoText("read", path);
    } else if (!S_ISREG(st.st_mode)) {
        problem = path + ": not a regular file";
    } else if (static_cast<std::uint64_t>(st.st_size) > limit) {
        problem = path + ": larger than " + std::to_string(limit / (1024 * 1024)) + " MB";
    }
    if (problem.empty()) identity = IdentityOf(st);
    char buffer[65536];
    while (problem.empty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) problem = ErrnoText("read", path);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > limit) {
            problem = path + ": larger than " + std::to_string(limit / (1024 * 1024)) + " MB";
        }
    }
    ::close(fd);
    return problem;
}

// Holds an exclusive flock on the lock file for its lifetime.
class FileLock {
  public:
    explicit FileLock(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kFileMode);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_ = -1;
};

}  // namespace

RegFileStore::RegFileStore(std::string path) : path_(std::move(path)) {}
RegFileStore::~RegFileStore() = default;

const RegFileStore::Snapshot& RegFileStore::Current() const {
    const Identity now = StatIdentity(path_);
    if (snapshot_ && !snapshot_->racy && snapshot_->identity == now) return *snapshot_;
    snapshot_ = std::make_unique<Snapshot>();
    snapshot_->identity = now;
    if (now.error != 0) {
        if (now.error != ENOENT) {
            errno = now.error;
            snapshot_->problem = ErrnoText("read", path_);
        }
        return *snapshot_;
    }
    std::string text;
    const std::int64_t readTime = RealTimeNanoseconds();
    // Read with the identity of the file actually opened, so that a change between the stat
    // and the open is parsed again next time.
    snapshot_->problem = ReadBounded(path_, kMaxStoreBytes, snapshot_->identity, text);
    snapshot_->racy = snapshot_->identity.modified + kTimestampTick >= readTime;
    if (snapshot_->problem.empty()) {
        const std::string problem = ParseRegExport(text, snapshot_->root);
        if (!problem.empty()) snapshot_->problem = path_ + ", " + problem;
    }
    // A store that cannot be used reads as empty.
    if (!snapshot_->problem.empty()) {
        auto unusable = std::make_unique<Snapshot>();
        unusable->identity = snapshot_->identity;
        unusable->racy = snapshot_->racy;
        unusable->problem = std::move(snapshot_->problem);
        snapshot_ = std::move(unusable);
    }
    return *snapshot_;
}

bool RegFileStore::Modify(const std::function<bool(RegKey& root, bool& changed)>& change) {
    const std::string target = TargetPath();
    const std::size_t slash = target.find_last_of('/');
    if (slash != std::string::npos && slash > 0 &&
        !CreateDirectories(target.substr(0, slash), kDirectoryMode, writeProblem_)) {
        return false;
    }
    FileLock lock(target + ".lock");
    if (!lock.Held()) {
        writeProblem_ = ErrnoText("lock", target + ".lock");
        return false;
    }
    // The file as it is inside the lock, so that no other writer's change is lost.
    if (!Current().problem.empty()) return false;
    bool changed = false;
    const bool done = change(snapshot_->root, changed);
    if (done && !changed) return true;
    // The kept tree now holds a change the file does not: read the file again next time.
    const bool written = done && WriteFile(target, FormatRegExport(snapshot_->root));
    if (written) {
        snapshot_->identity = StatIdentity(path_);
        snapshot_->racy = false;  // the file holds exactly the kept tree, in a new inode
    } else {
        snapshot_.reset();
    }
    return written;
}

std::string RegFileStore::TargetPath() const {
    // Replacing a symbolic link would cut it; the file it names is replaced instead.
    std::filesystem::path target(path_);
    std::error_code error;
    for (int depth = 0; depth < 40 && std::filesystem::is_symlink(target, error); ++depth) {
        const auto link = std::filesystem::read_symlink(target, error);
        if (error) break;
        target = link.is_absolute() ? link : target.parent_path() / link;
    }
    return target.string();
}

bool RegFileStore::WriteFile(const std::string& target, const std::string& text) {
    const std::filesystem::path file(target);
    std::string pattern = target + ".tmpXXXXXX";
    // mkstemp creates exclusively, mode 0600, never through a link.
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        writeProblem_ = ErrnoText("create a temporary file for", target);
        return false;
    }
    // The new file keeps the old one's permissions and, where the process may, its owner.
    struct stat st {};
    const bool replacing = ::stat(target.c_str(), &st) == 0;
    if (replacing && (::fchown(fd, st.st_uid, st.st_gid) != 0)) {
        // Not permitted for an ordinary user; the file is then theirs, as it was.
    }
    const mode_t mode = replacing ? (st.st_mode & 07777) : kFileMode;
    const bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    if (!ok) writeProblem_ = ErrnoText("write", pattern);
    ::close(fd);
    if (!ok || ::rename(pattern.c_str(), target.c_str()) != 0) {
        if (ok) writeProblem_ = ErrnoText("replace", target);
        ::unlink(pattern.c_str());
        return false;
    }
    // The rename itself must reach the disk too.
    const std::string dir = file.has_parent_path() ? file.parent_path().string() : ".";
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    writeProblem_.clear();
    return true;
}

bool RegFileStore::KeyExists(std::string_view key) {
    std::lock_guard lock(mutex_);
    return FindRegKey(Current().root, key) != nullptr;
}

bool RegFileStore::CreateKey(std::string_view key) {
    const auto parts = SplitRegKeyPath(key);
    if (parts.empty()) return false;
    std::lock_guard lock(mutex_);
    if (FindRegKey(Current().root, key)) return true;
    return Modify([&](RegKey& root, bool& changed) {
        RegKey* node = &root;
        for (const auto& part : parts) {
            if (!node->Child(part)) changed = true;
            node = &node->ChildOrNew(part);
        }
        return true;
    });
}

bool RegFileStore::DeleteKey(std::string_view key) {
    const auto parts = SplitRegKeyPath(key);
    if (parts.empty()) return false;
    std::lock_guard lock(mutex_);
    return Modify([&](RegKey& root, bool& changed) {
        RegKey* parent = &root;
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            parent = parent->Child(parts[i]);
            if (!parent) return true;
        }
        changed = parent->RemoveChild(parts.back());
        return true;
    });
}

std::optional<RegValue> RegFileStore::ReadValue(std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    const RegKey* node = FindRegKey(Current().root, key);
    if (!node) return std::nullopt;
    if (const RegValue* value = node->Value(name)) return *value;
    return std::nullopt;
}

bool RegFileStore::WriteValue(std::string_view key, std::string_view name, const RegValue& value) {
    if (!IsStorableValueName(name) || value.data.size() > kMaxRegValueBytes) return false;
    std::lock_guard lock(mutex_);
    return Modify([&](RegKey& root, bool& changed) {
        RegKey* node = FindRegKey(root, key);
        if (!node) return false;
        changed = node->SetValue(name, value);
        return true;
    });
}

bool RegFileStore::DeleteValue(std::string_view key, std::string_view name) {
    std::lock_guard lock(mutex_);
    return Modify([&](RegKey& root, bool& changed) {
        if (RegKey* node = FindRegKey(root, key)) changed = node->RemoveValue(name);
        return true;
    });
}

std::vector<std::string> RegFileStore::SubKeys(std::string_view key) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    if (const RegKey* node = FindRegKey(Current().root, key)) {
        for (const auto& child : node->Children()) names.push_back(child->Name());
    }
    return names;
}

std::vector<std::string> RegFileStore::ValueNames(std::string_view key) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    if (const RegKey* node = FindRegKey(Current().root, key)) {
        for (const auto& value : node->Values()) names.push_back(value.first);
    }
    return names;
}

std::string RegFileStore::Problem() const {
    std::lock_guard lock(mutex_);
    const std::string& problem = Current().problem;
    return problem.empty() ? writeProblem_ : problem;
}

}  // namespace velk
