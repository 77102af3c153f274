#pragma once
// The single-instance lock, held for the process lifetime and released by the system when
// the process ends (a crash leaves nothing behind). The holder listens for a
// second start and hands it a "show yourself" request.
#include <functional>
#include <string>

namespace velk {

enum class InstanceLock { Acquired, AlreadyRunning, Failed };

class ISingleInstance {
  public:
    virtual ~ISingleInstance() = default;
    // Takes the lock. While held, onShowRequest runs (on a platform thread) each time a
    // second start asks the running instance to come forward.
    virtual InstanceLock Acquire(std::function<void()> onShowRequest) = 0;
    // From a second start: asks the running instance to come forward; false when it
    // cannot be reached.
    virtual bool NotifyRunningInstance() = 0;
    // For a server that is stopping: later starts are no longer answered (they find the
    // running instance unreachable), while the lock stays held until Release.
    virtual void StopAnswering() {}
    virtual void Release() = 0;
    // Why the lock could not be taken at all ("" when it could, or is held elsewhere).
    virtual std::string Problem() const { return {}; }
    // The process id of a server that runs as the system service on this machine (another
    // user's lock, which this lock does not cover), 0 when none does.
    virtual int SystemServiceProcess() const { return 0; }
};

}  // namespace velk
