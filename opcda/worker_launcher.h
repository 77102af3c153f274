#pragma once
// Who runs the asynchronous request workers of a group. Without one, each request gets a
// thread of its own that the group owns and joins; a host (or a test) that drives workers
// itself supplies a launcher.
#include <functional>

namespace velk {

class IWorkerLauncher {
  public:
    virtual ~IWorkerLauncher() = default;
    // Runs the work once, later, on some thread; false when it cannot be started.
    virtual bool Launch(std::function<void()> work) = 0;
};

}  // namespace velk
