#pragma once
// Holds SIGINT and SIGTERM back from their default action while it lives, so that a command
// that has made objects on the server can clean them up: the signals arrive on a descriptor
// instead, which the bus loop watches.
#include <signal.h>

namespace velk::client {

class SignalWatch {
  public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    // Readable when a signal is pending; -1 when the descriptor could not be made.
    int Descriptor() const { return fd_; }
    // Takes one pending signal; 0 when none is pending.
    int Take();
    // The live watch, if any: the bus loop looks for it.
    static SignalWatch* Current();

  private:
    sigset_t previous_;
    int fd_ = -1;
};

}  // namespace velk::client
