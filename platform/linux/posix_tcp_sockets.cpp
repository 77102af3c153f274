#include "platform/linux/posix_tcp_sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ipv4_address.h"

namespace velk {
namespace {

// The outcome of the calling thread's last send or receive.
thread_local bool lastWasTimeout = false;

bool ToAddress(std::string_view text, std::uint16_t port, sockaddr_in& out) {
    out = sockaddr_in{};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    // Read as every address field is, so that a text the routes and the peer check accept
    // also connects.
    const auto address = ParseIpv4Address(text);
    if (!address) return false;
    out.sin_addr.s_addr = *address;
    return true;
}

bool SetBlocking(int fd, bool blocking) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
    return ::fcntl(fd, F_SETFL, flags) == 0;
}

bool IsNonBlocking(int fd) {
    int flags = ::fcntl(fd, F_GETFL, 0);
    return flags >= 0 && (flags & O_NONBLOCK) != 0;
}

// Waits for the event: 1 ready, 0 time-out, -1 error or exception condition.
int WaitFor(int fd, short events, std::uint32_t timeoutMs) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, static_cast<int>(timeoutMs));
    } while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return 0;
    if ((p.revents & (POLLERR | POLLNVAL)) != 0) return -1;
    return (p.revents & (events | POLLHUP)) != 0 ? 1 : -1;
}

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

}  // namespace

bool PosixTcpSockets::CreateNonBlocking(SocketHolder& holder) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (!SetBlocking(fd, false)) {
        ::close(fd);
        return false;
    }
    holder.handle = fd;
    return true;
}

bool PosixTcpSockets::ConnectTimed(SocketHolder& holder, std::string_view address,
                                   std::uint16_t port) {
    if (holder.Empty()) return false;
    sockaddr_in to{};
    // "0.0.0.0" is the configuration's unset address; Linux would take it for this host.
    if (!ToAddress(address, port, to) || to.sin_addr.s_addr == htonl(INADDR_ANY) ||
        to.sin_addr.s_addr == htonl(INADDR_BROADCAST)) {
        return false;
    }
    if (::connect(holder.handle, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    if (WaitFor(holder.handle, POLLOUT, connectWaitMs_) != 1) return false;
    // Writable also after a refused connect: the socket's pending error tells.
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(holder.handle, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return false;
    return error == 0;
}

int PosixTcpSockets::SendTimed(SocketHolder& holder, const std::uint8_t* bytes, int count,
                               std::uint32_t timeoutMs) {
    lastWasTimeout = false;
    if (holder.Empty() || count < 0) return -1;
    ssize_t n = ::send(holder.handle, bytes, static_cast<std::size_t>(count), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (!WouldBlock(errno)) return -1;
    if (!IsNonBlocking(holder.handle)) {
        // A blocking socket that would block has run out of its send time-out (the flags
        // are asked only here, to spare every exchange the extra call).
        lastWasTimeout = true;
        return -1;
    }
    int ready = WaitFor(holder.handle, POLLOUT, timeoutMs);
    if (ready == 0) return -2;
    if (ready < 0) return -1;
    n = ::send(holder.handle, bytes, static_cast<std::size_t>(count), MSG_NOSIGNAL);
    return n >= 0 ? static_cast<int>(n) : -1;
}

int PosixTcpSockets::RecvTimed(SocketHolder& holder, std::uint8_t* buffer, int count,
                               std::uint32_t timeoutMs) {
    lastWasTimeout = false;
    if (holder.Empty() || count < 0) return -1;
    ssize_t n;
    do {
        n = ::recv(holder.handle, buffer, static_cast<std::size_t>(count), 0);
    } while (n < 0 && errno == EINTR);
    if (n >= 0) return static_cast<int>(n);
    if (!WouldBlock(errno)) return -1;
    if (!IsNonBlocking(holder.handle)) {
        lastWasTimeout = true;
        return -1;
    }
    int ready = WaitFor(holder.handle, POLLIN, timeoutMs);
    if (ready == 0) return -2;
    if (ready < 0) return -1;
    n = ::recv(holder.handle, buffer, static_cast<std::size_t>(count), 0);
    return n >= 0 ? static_cast<int>(n) : -1;
}

int PosixTcpSockets::AcceptTimed(SocketHolder& listening, SocketHolder& accepted) {
    if (listening.Empty()) return -1;
    int fd = ::accept4(listening.handle, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        accepted.handle = fd;
        return 1;
    }
    if (!WouldBlock(errno)) return -1;
    int ready = WaitFor(listening.handle, POLLIN, connectWaitMs_);
    if (ready <= 0) return ready;
    fd = ::accept4(listening.handle, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return WouldBlock(errno) ? 0 : -1;
    accepted.handle = fd;
    return 1;
}

void PosixTcpSockets::CloseSocket(SocketHolder& holder) {
    if (holder.Empty()) return;
    ::shutdown(holder.handle, SHUT_RDWR);
    ::close(holder.handle);
    holder.handle = -1;
}

bool PosixTcpSockets::OpenConnection(SocketHolder& holder, std::string_view address,
                                     std::uint16_t port) {
    holder.handle = -1;
    SocketHolder fresh;
    if (!CreateNonBlocking(fresh)) return false;
    if (!ConnectTimed(fresh, address, port)) {
        ::close(fresh.handle);
        return false;
    }
    timeval timeout{};
    timeout.tv_sec = connectionTimeoutMs_ / 1000;
    timeout.tv_usec = static_cast<suseconds_t>((connectionTimeoutMs_ % 1000) * 1000);
    int one = 1;
    if (!SetBlocking(fresh.handle, true) ||
        ::setsockopt(fresh.handle, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0 ||
        ::setsockopt(fresh.handle, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0) {
        CloseSocket(fresh);
        return false;
    }
    // Requests are small single writes that wait for an answer; do not hold them back.
    ::setsockopt(fresh.handle, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    holder = fresh;
    return true;
}

bool PosixTcpSockets::LastErrorWasTimeout() const { return lastWasTimeout; }

int PosixTcpSockets::RecvWithin(SocketHolder& holder, std::uint8_t* buffer, int count,
                                std::uint32_t waitMs) {
    lastWasTimeout = false;
    if (holder.Empty() || count < 0) return -1;
    auto take = [&] {
        ssize_t n;
        do {
            n = ::recv(holder.handle, buffer, static_cast<std::size_t>(count), MSG_DONTWAIT);
        } while (n < 0 && errno == EINTR);
        return n;
    };
    // The wait first: a receive right after the request would find nothing yet.
    const int ready = WaitFor(holder.handle, POLLIN, waitMs);
    if (ready > 0) {
        const ssize_t n = take();
        if (n >= 0) return static_cast<int>(n);
        if (!WouldBlock(errno)) return -1;
    } else if (ready < 0) {
        // An error condition: the receive tells which (a reset, say), or the peer's close.
        const ssize_t n = take();
        return n >= 0 ? static_cast<int>(n) : -1;
    }
    lastWasTimeout = true;
    return -2;
}

int PosixTcpSockets::WaitReadable(std::span<const SocketHolder> holders, std::uint32_t waitMs,
                                  std::vector<bool>& ready) {
    std::vector<pollfd> polled;
    polled.reserve(holders.size());
    for (const SocketHolder& holder : holders) polled.push_back(pollfd{holder.handle, POLLIN, 0});
    int r;
    do {
        r = ::poll(polled.data(), polled.size(), static_cast<int>(waitMs));
    } while (r < 0 && errno == EINTR);
    ready.assign(holders.size(), false);
    if (r <= 0) return r < 0 ? -1 : 0;
    int count = 0;
    for (std::size_t i = 0; i < polled.size(); ++i) {
        // An empty holder (fd -1) is never reported; any event on another is something to take.
        if (polled[i].fd >= 0 && polled[i].revents != 0) {
            ready[i] = true;
            ++count;
        }
    }
    return count;
}

int PosixTcpSockets::WaitReady(std::span<const SocketHolder> holders,
                               const std::vector<bool>& wantWrite, std::uint32_t waitMs,
                               std::vector<bool>& readable, std::vector<bool>& writable) {
    std::vector<pollfd> polled;
    polled.reserve(holders.size());
    for (std::size_t i = 0; i < holders.size(); ++i) {
        const bool write = i < wantWrite.size() && wantWrite[i];
        polled.push_back(
            pollfd{holders[i].handle, static_cast<short>(POLLIN | (write ? POLLOUT : 0)), 0});
    }
    int r;
    do {
        r = ::poll(polled.data(), polled.size(), static_cast<int>(waitMs));
    } while (r < 0 && errno == EINTR);
    readable.assign(holders.size(), false);
    writable.assign(holders.size(), false);
    if (r <= 0) return r < 0 ? -1 : 0;
    int count = 0;
    for (std::size_t i = 0; i < polled.size(); ++i) {
        const short events = polled[i].revents;
        if (polled[i].fd < 0 || events == 0) continue;
        // An error or a hang-up shows as readable: the receive tells which it was.
        readable[i] = (events & ~POLLOUT) != 0;
        writable[i] = (events & POLLOUT) != 0;
        ++count;
    }
    return count;
}

std::string PosixTcpSockets::LastErrorText() const { return std::strerror(errno); }

std::size_t PosixTcpSockets::DiscardPending(SocketHolder& holder) {
    if (holder.Empty()) return 0;
    std::size_t dropped = 0;
    std::uint8_t scratch[512];
    for (;;) {
        ssize_t n = ::recv(holder.handle, scratch, sizeof scratch, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        dropped += static_cast<std::size_t>(n);
    }
    return dropped;
}

bool PosixTcpSockets::Listen(SocketHolder& holder, std::string_view address, std::uint16_t port) {
    sockaddr_in at{};
    if (!ToAddress(address, port, at)) return false;
    SocketHolder fresh;
    if (!CreateNonBlocking(fresh)) return false;
    int one = 1;
    ::setsockopt(fresh.handle, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fresh.handle, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(fresh.handle, 8) != 0) {
        ::close(fresh.handle);
        return false;
    }
    holder = fresh;
    return true;
}

std::uint16_t PosixTcpSockets::LocalPort(const SocketHolder& holder) const {
    if (holder.Empty()) return 0;
    sockaddr_in at{};
    socklen_t length = sizeof at;
    if (::getsockname(holder.handle, reinterpret_cast<sockaddr*>(&at), &length) != 0) return 0;
    return ntohs(at.sin_port);
}

bool PosixTcpSockets::Bind(SocketHolder& holder, std::string_view address, std::uint16_t port) {
    sockaddr_in at{};
    if (holder.Empty() || !ToAddress(address, port, at)) return false;
    // A restarted server binds its port again at once, whatever connections linger.
    int one = 1;
    ::setsockopt(holder.handle, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    return ::bind(holder.handle, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0;
}

bool PosixTcpSockets::StartListening(SocketHolder& holder) {
    return !holder.Empty() && ::listen(holder.handle, SOMAXCONN) == 0;
}

bool PosixTcpSockets::MakeNonBlocking(SocketHolder& holder) {
    return !holder.Empty() && SetBlocking(holder.handle, false);
}

std::string PosixTcpSockets::PeerAddress(const SocketHolder& holder) const {
    if (holder.Empty()) return {};
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(holder.handle, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
        peer.sin_family != AF_INET) {
        return {};
    }
    char text[INET_ADDRSTRLEN] = {};
    if (::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text) == nullptr) return {};
    return text;
}

}  // namespace velk
