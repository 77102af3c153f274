#include "platform/linux/socket_single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace velk {
namespace {
constexpr const char kShowRequest[] = "SHOW\n";
constexpr const char kShowAnswer[] = "OK\n";
constexpr int kReplyTimeoutMs = 5000;
constexpr const char* kSystemDirectory = "/run/velkopc";

std::string ErrnoText(const std::string& what) { return what + ": " + std::strerror(errno); }

bool PathAddress(const std::string& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// Reads until a line end, the time-out or the end of the stream.
std::string ReadLine(int fd, int timeoutMs) {
    std::string line;
    char c;
    while (line.size() < 64) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0) break;
        if (::read(fd, &c, 1) != 1) break;
        line += c;
        if (c == '\n') break;
    }
    return line;
}

// Only the server's own user (and root) may ask it to come forward.
bool PeerIsTrusted(int connection) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(connection, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
    return credentials.uid == ::geteuid() || credentials.uid == 0;
}
}  // namespace

int SocketSingleInstance::LockHolder(const std::string& directory, const std::string& name) {
    struct stat st {};
    if (::stat((directory + "/" + name + ".lock").c_str(), &st) != 0) return 0;
    // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10953884 0 EOF"; a waiter's line
    // has "->" after the number and is no holder.
    std::ifstream locks("/proc/locks");
    char device[32];
    std::snprintf(device, sizeof device, "%02x:%02x:", ::major(st.st_dev), ::minor(st.st_dev));
    const std::string file = std::string(device) + std::to_string(st.st_ino);
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, where;
        fields >> number >> kind;
        if (kind != "FLOCK") continue;
        fields >> mode >> access >> pid >> where;
        if (where == file) return std::atoi(pid.c_str());
    }
    return 0;
}

int SocketSingleInstance::SystemServiceProcess() const {
    const int holder = LockHolder(kSystemDirectory, name_);
    if (holder <= 0 || holder == ::getpid()) return 0;
    std::ifstream commandLine("/proc/" + std::to_string(holder) + "/cmdline");
    std::string arguments((std::istreambuf_iterator<char>(commandLine)),
                          std::istreambuf_iterator<char>());
    if (arguments.empty()) return holder;  // hidden from us: the service's own /proc view
    std::istringstream split(arguments);
    for (std::string argument; std::getline(split, argument, '\0');) {
        if (argument.size() < 2 || (argument[0] != '-' && argument[0] != '/')) continue;
        std::string name = argument.substr(1);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "systembus") return holder;
    }
    return 0;
}

SocketSingleInstance::SocketSingleInstance(std::string directory, std::string name)
    : directory_(std::move(directory)), name_(std::move(name)) {}

SocketSingleInstance::~SocketSingleInstance() {
    Release();
    if (directoryFd_ >= 0) ::close(directoryFd_);
}

std::string SocketSingleInstance::DefaultName() {
    const char* name = std::getenv("VELKOPC_INSTANCE_NAME");
    return name && *name ? name : "VelkOpc_Mutex";
}

std::string SocketSingleInstance::InstanceDirectory(bool systemService) {
    if (systemService) return kSystemDirectory;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && *runtime == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) {
        return runtime;
    }
    if (::geteuid() == 0) return kSystemDirectory;
    return "/run/user/" + std::to_string(::geteuid());
}

// Opens the directory without following a link and checks that only this user can add
// entries to it. The system directory is created when missing.
bool SocketSingleInstance::OpenDirectory() {
    if (directoryFd_ >= 0) return true;
    if (directory_ == kSystemDirectory && ::mkdir(directory_.c_str(), 0755) == 0) {
        ::chmod(directory_.c_str(), 0755);  // whatever the umask
    }
    const int fd = ::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        problem_ = ErrnoText("cannot open " + directory_);
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 022) != 0) {
        problem_ = directory_ + " is not a directory of this user's own";
        ::close(fd);
        return false;
    }
    directoryFd_ = fd;
    return true;
}

std::string SocketSingleInstance::SocketName() const {
    const std::string plain = name_ + ".socket";
    if (directory_.size() + 1 + plain.size() < sizeof(sockaddr_un::sun_path)) return plain;
    // A socket path is limited in length: a long name gets a short stand-in (FNV-1a) that
    // every start with the same name computes alike.
    std::uint64_t hash = 14695981039346656037ULL;
    for (const unsigned char c : name_) {
        hash ^= c;
        hash *= 1099511628211ULL;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%016llx.socket", static_cast<unsigned long long>(hash));
    return text;
}

std::string SocketSingleInstance::SocketPath() const { return directory_ + "/" + SocketName(); }

InstanceLock SocketSingleInstance::Acquire(std::function<void()> onShowRequest) {
    if (lockFd_ >= 0) return InstanceLock::Acquired;
    problem_.clear();
    if (name_.empty() || name_.find('/') != std::string::npos) {
        problem_ = "the instance name \"" + name_ + "\" is not a file name";
        return InstanceLock::Failed;
    }
    if (!OpenDirectory()) return InstanceLock::Failed;
    const std::string lockName = name_ + ".lock";
    int lockFd = -1;
    // A holder removes its lock file as it ends; a file locked after its removal is no lock,
    // so the lock counts only when the name still names the locked file.
    for (int attempt = 0; attempt < 10 && lockFd < 0; ++attempt) {
        const int fd = ::openat(directoryFd_, lockName.c_str(),
                                O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0) {
            problem_ = ErrnoText("cannot open " + directory_ + "/" + lockName);
            return InstanceLock::Failed;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            ::close(fd);
            if (error == EWOULDBLOCK) return InstanceLock::AlreadyRunning;
            errno = error;
            problem_ = ErrnoText("cannot lock " + directory_ + "/" + lockName);
            return InstanceLock::Failed;
        }
        struct stat locked {
        }, named{};
        if (::fstat(fd, &locked) == 0 &&
            ::fstatat(directoryFd_, lockName.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            lockFd = fd;
        } else {
            ::close(fd);
        }
    }
    if (lockFd < 0) {
        problem_ = "cannot lock " + directory_ + "/" + lockName + ": it keeps being replaced";
        return InstanceLock::Failed;
    }

    // The lock is ours: a socket left by a process that ended without tidying up goes.
    const std::string socketPath = SocketPath();
    sockaddr_un address;
    const int listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const std::string socketName = SocketName();
    ::unlinkat(directoryFd_, socketName.c_str(), 0);
    if (listenFd < 0 || !PathAddress(socketPath, address) ||
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::fchmodat(directoryFd_, socketName.c_str(), 0600, 0) != 0 || ::listen(listenFd, 4) != 0) {
        problem_ = ErrnoText("cannot listen on " + socketPath);
        if (listenFd >= 0) ::close(listenFd);
        ::close(lockFd);
        return InstanceLock::Failed;
    }
    lockFd_ = lockFd;
    listenFd_ = listenFd;
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    onShowRequest_ = std::move(onShowRequest);
    listener_ = std::make_unique<WorkerThread>("InstanceListen");
    listener_->Start(
        [this, listenFd, wakeFd = wakeFd_](MessageQueue&) { return Listen(listenFd, wakeFd); });
    return InstanceLock::Acquired;
}

int SocketSingleInstance::Listen(int listenFd, int wakeFd) {
    for (;;) {
        pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (fds[1].revents) return 0;
        if (fds[0].revents & POLLIN) {
            const int connection = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) Serve(connection);
        }
    }
}

void SocketSingleInstance::Serve(int connection) {
    if (PeerIsTrusted(connection) && ReadLine(connection, 2000) == kShowRequest) {
        if (onShowRequest_) onShowRequest_();
        [[maybe_unused]] auto n = ::write(connection, kShowAnswer, sizeof kShowAnswer - 1);
    }
    ::close(connection);
}

bool SocketSingleInstance::NotifyRunningInstance() {
    // Only a socket in a directory of this user's own can belong to the running server.
    if (!OpenDirectory()) return false;
    sockaddr_un address;
    if (!PathAddress(SocketPath(), address)) return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool answered = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(fd, kShowRequest, sizeof kShowRequest - 1, MSG_NOSIGNAL) ==
            static_cast<ssize_t>(sizeof kShowRequest - 1)) {
        answered = ReadLine(fd, kReplyTimeoutMs) == kShowAnswer;
    }
    ::close(fd);
    return answered;
}

void SocketSingleInstance::StopAnswering() {
    if (lockFd_ < 0 || listenFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    if (listener_) listener_->Join(std::chrono::milliseconds(5000));
    listener_.reset();
    // The socket goes while the lock is still held, so that its removal cannot hit a
    // successor's.
    ::unlinkat(directoryFd_, SocketName().c_str(), 0);
    ::close(listenFd_);
    ::close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
}

void SocketSingleInstance::Release() {
    if (lockFd_ < 0) return;
    StopAnswering();
    ::unlinkat(directoryFd_, (name_ + ".lock").c_str(), 0);
    ::close(lockFd_);
    lockFd_ = -1;
}

}  // namespace velk
