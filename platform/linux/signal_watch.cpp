#include "platform/linux/signal_watch.h"

#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace velk {
namespace {
sigset_t TerminationSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // The end of a terminal session: without it the process would die on the spot.
    sigaddset(&set, SIGHUP);
    return set;
}
}  // namespace

void SignalWatch::BlockTerminationSignals() {
    const sigset_t set = TerminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

SignalWatch::SignalWatch(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
    const sigset_t set = TerminationSignals();
    signalFd_ = ::signalfd(-1, &set, SFD_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
    if (!thread_.Start([this](MessageQueue&) {
            Watch();
            return 0;
        })) {
        // Without the watch the signals keep their default action on this thread: they end
        // the process rather than go unheard.
        pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    }
}

SignalWatch::~SignalWatch() {
    const std::uint64_t one = 1;
    [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    thread_.Join();
    ::close(signalFd_);
    ::close(wakeFd_);
}

void SignalWatch::Watch() {
    for (;;) {
        pollfd fds[2] = {{signalFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[1].revents) return;
        signalfd_siginfo info{};
        if (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
            onSignal_(static_cast<int>(info.ssi_signo));
        }
    }
}

}  // namespace velk
