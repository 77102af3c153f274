#include "platform/linux/socket_single_instance.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace velk {
namespace {
constexpr const char kShowRequest[] = "SHOW\n";
constexpr const char kShowAnswer[] = "OK\n";
constexpr int kReplyTimeoutMs = 5000;

socklen_t AbstractAddress(const std::string& name, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    // sun_path[0] == 0 puts the name in the abstract namespace.
    const std::size_t n = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), n);
    return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
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
}  // namespace

SocketSingleInstance::SocketSingleInstance(std::string name) : name_(std::move(name)) {}

SocketSingleInstance::~SocketSingleInstance() { Release(); }

std::string SocketSingleInstance::DefaultName() {
    const char* name = std::getenv("VELKOPC_INSTANCE_NAME");
    return name && *name ? name : "VelkOpc_Mutex";
}

InstanceLock SocketSingleInstance::Acquire(std::function<void()> onShowRequest) {
    if (listenFd_ >= 0) return InstanceLock::Acquired;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return InstanceLock::Failed;
    sockaddr_un address;
    const socklen_t length = AbstractAddress(name_, address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EADDRINUSE ? InstanceLock::AlreadyRunning : InstanceLock::Failed;
    }
    if (::listen(fd, 4) != 0) {
        ::close(fd);
        return InstanceLock::Failed;
    }
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    listenFd_ = fd;
    onShowRequest_ = std::move(onShowRequest);
    listener_ = std::make_unique<WorkerThread>("InstanceListen");
    listener_->Start([this](MessageQueue&) {
        Listen();
        return 0;
    });
    return InstanceLock::Acquired;
}

void SocketSingleInstance::Listen() {
    for (;;) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        if (fds[0].revents & POLLIN) {
            const int connection = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (connection >= 0) Serve(connection);
        }
    }
}

void SocketSingleInstance::Serve(int connection) {
    if (ReadLine(connection, 2000) == kShowRequest) {
        if (onShowRequest_) onShowRequest_();
        [[maybe_unused]] auto n = ::write(connection, kShowAnswer, sizeof kShowAnswer - 1);
    }
    ::close(connection);
}

bool SocketSingleInstance::NotifyRunningInstance() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address;
    const socklen_t length = AbstractAddress(name_, address);
    bool answered = false;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::send(fd, kShowRequest, sizeof kShowRequest - 1, MSG_NOSIGNAL) ==
            static_cast<ssize_t>(sizeof kShowRequest - 1)) {
        answered = ReadLine(fd, kReplyTimeoutMs) == kShowAnswer;
    }
    ::close(fd);
    return answered;
}

void SocketSingleInstance::Release() {
    if (listenFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    if (listener_) listener_->Join();
    ::close(listenFd_);
    ::close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
}

}  // namespace velk
