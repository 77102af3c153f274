#pragma once
#include <functional>

#include "platform/worker_thread.h"

namespace velk {

// Turns SIGINT, SIGTERM and SIGHUP into a call on a thread of its own, so that the process can end
// through its orderly shutdown. The thread waits in poll(); the destructor wakes it through
// an eventfd (a poll cannot wait on the thread's message queue) and joins it.
// BlockTerminationSignals must run in main before any other thread starts, so that every thread
// inherits the blocked mask.
class SignalWatch {
  public:
    static void BlockTerminationSignals();

    explicit SignalWatch(std::function<void(int signal)> onSignal);
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

  private:
    void Watch();
    std::function<void(int)> onSignal_;
    int signalFd_ = -1;
    int wakeFd_ = -1;
    WorkerThread thread_{"SignalWatch"};
};

}  // namespace velk
