#pragma once
#include <string>

#include "platform/single_instance.h"
#include "platform/worker_thread.h"

namespace velk {

// The single-instance lock is an abstract Unix-domain socket name: binding it is the lock,
// the kernel releases it when the process ends however it ends, and a second start
// connects to it to ask the running instance to come forward. The name comes from the
// environment variable VELKOPC_INSTANCE_NAME, default "VelkOpc_Mutex". The listener thread
// waits in poll(); Release wakes it through an eventfd and joins it.
class SocketSingleInstance final : public ISingleInstance {
  public:
    explicit SocketSingleInstance(std::string name = DefaultName());
    ~SocketSingleInstance() override;

    InstanceLock Acquire(std::function<void()> onShowRequest) override;
    bool NotifyRunningInstance() override;
    void Release() override;

    static std::string DefaultName();

  private:
    void Listen();
    void Serve(int connection);

    std::string name_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::function<void()> onShowRequest_;
    std::unique_ptr<WorkerThread> listener_;  // made anew for each Acquire
};

}  // namespace velk
