#include "tools/client/bus/signal_watch.h"

#include <sys/signalfd.h>
#include <unistd.h>

namespace velk::client {
namespace {
SignalWatch* current = nullptr;
}

SignalWatch::SignalWatch() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    // The client is single-threaded; the mask of this thread is the process's.
    sigprocmask(SIG_BLOCK, &set, &previous_);
    fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    current = this;
}

SignalWatch::~SignalWatch() {
    current = nullptr;
    // A second signal during the clean-up (Ctrl+C and a SIGTERM from a script, say) has been
    // answered by the clean-up already; it must not end the process once it is unblocked.
    while (Take() != 0) {
    }
    if (fd_ >= 0) close(fd_);
    sigprocmask(SIG_SETMASK, &previous_, nullptr);
}

int SignalWatch::Take() {
    if (fd_ < 0) return 0;
    signalfd_siginfo info{};
    if (read(fd_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return 0;
    return static_cast<int>(info.ssi_signo);
}

SignalWatch* SignalWatch::Current() { return current; }

}  // namespace velk::client
