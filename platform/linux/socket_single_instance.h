#pragma once
#include <memory>
#include <string>

#include "platform/single_instance.h"
#include "platform/worker_thread.h"

namespace velk {

// The single-instance lock is a lock file under a directory that only the server's own user
// can write to (InstanceDirectory below): holding an exclusive flock on "<name>.lock" is the
// lock, and the kernel drops it when the process ends however it ends, so a crash never
// blocks the next start. The holder listens on the Unix socket "<name>.socket" beside it,
// where a second start asks the running instance to come forward. Because nobody else can
// create files in that directory, no other local user can take the lock or answer in the
// server's place. The name comes from the environment variable VELKOPC_INSTANCE_NAME,
// default "VelkOpc_Mutex".
class SocketSingleInstance final : public ISingleInstance {
  public:
    // directory: where the lock and the socket live; it must be owned by the effective user
    // and writable by nobody else, else the lock fails.
    explicit SocketSingleInstance(std::string directory, std::string name = DefaultName());
    ~SocketSingleInstance() override;
    SocketSingleInstance(const SocketSingleInstance&) = delete;
    SocketSingleInstance& operator=(const SocketSingleInstance&) = delete;

    InstanceLock Acquire(std::function<void()> onShowRequest) override;
    bool NotifyRunningInstance() override;
    void StopAnswering() override;
    void Release() override;

    static std::string DefaultName();
    // The directory of the lock: /run/velkopc for the system service (created, mode 0755,
    // when missing), else $XDG_RUNTIME_DIR (the user's own runtime directory) when it is
    // there, else /run/velkopc for root and /run/user/<uid> for another user.
    static std::string InstanceDirectory(bool systemService);
    // Why the last Acquire failed ("" after a success).
    std::string Problem() const override { return problem_; }
    // The holder of the lock of the same name in the system directory when it serves on the
    // system bus (its command line holds "SystemBus"; one whose command line cannot be read,
    // as the service's own /proc entry hides it, counts as the service), unless it is this
    // process; else 0.
    int SystemServiceProcess() const override;
    // The process that holds "<name>.lock" in the directory, from the kernel's lock table
    // (/proc/locks), which anyone may read: no access to the file is needed, and nothing is
    // locked, so a holder starting at the same moment never sees a false holder. 0 when the
    // file is missing or unlocked.
    static int LockHolder(const std::string& directory, const std::string& name);

  private:
    bool OpenDirectory();
    std::string SocketName() const;
    std::string SocketPath() const;
    int Listen(int listenFd, int wakeFd);
    void Serve(int connection);

    std::string directory_;
    std::string name_;
    std::string problem_;
    int directoryFd_ = -1;
    int lockFd_ = -1;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::function<void()> onShowRequest_;
    std::unique_ptr<WorkerThread> listener_;
};

}  // namespace velk
