#pragma once
// The machine-wide single-instance lock, held for the process lifetime and released by the
// system when the process ends (a crash leaves nothing behind). The holder listens for a
// second start and hands it a "show yourself" request.
#include <functional>

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
    virtual void Release() = 0;
};

}  // namespace velk
