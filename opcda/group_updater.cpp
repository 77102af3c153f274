#include "opcda/group_updater.h"

namespace velk {

namespace {

constexpr std::uint32_t kWake = WM_USER + 1;

// Waits as the step asks; false when the quit message came.
bool WaitAsAsked(MessageQueue& queue, const UpdateStep& step) {
    Message message;
    if (step.next == UpdateStep::Next::Sleep) {
        if (!queue.Get(message)) return false;
    } else if (step.waitMs > 0 && queue.WaitFor(std::chrono::milliseconds(step.waitMs))) {
        if (!queue.Get(message)) return false;
    }
    // Wakes that came meanwhile are one: the event is auto-reset.
    while (queue.Peek(message)) {
        if (message.id == WM_QUIT) return false;
    }
    return true;
}

}  // namespace

GroupUpdater::GroupUpdater() : thread_("DA group") {}

GroupUpdater::~GroupUpdater() { Stop(std::chrono::milliseconds(5000)); }

bool GroupUpdater::Start(Cycle cycle) {
    return thread_.Start(
        [cycle = std::move(cycle)](MessageQueue& queue) {
            UpdateStep step = UpdateStep::WaitFor(0);
            while (WaitAsAsked(queue, step)) {
                step = cycle();
                if (step.next == UpdateStep::Next::End) break;
            }
            return 0;
        },
        ThreadPriority::Highest);
}

void GroupUpdater::Wake() { thread_.Post(kWake); }

bool GroupUpdater::Stop(std::chrono::milliseconds timeout) {
    if (stopped_ || !thread_.IsStarted()) return true;
    stopped_ = true;
    thread_.PostQuit();
    if (thread_.IsCurrentThread()) {
        thread_.Abandon();
        return true;
    }
    return thread_.Join(timeout);
}

}  // namespace velk
