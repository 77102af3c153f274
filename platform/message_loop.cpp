#include "platform/message_loop.h"

#include <vector>

namespace velk {
namespace {
constexpr std::uint32_t kIdleWaitMs = 1000;

// Wrap-safe "tick a is at or after tick b".
bool TickReached(std::uint32_t now, std::uint32_t due) {
    return static_cast<std::int32_t>(now - due) >= 0;
}
}  // namespace

void MessageLoop::SetTimer(std::uint32_t timerId, std::uint32_t periodMs) {
    std::lock_guard lock(timerMutex_);
    timers_[timerId] = Timer{periodMs, clock_.TickCount() + periodMs};
    // Wake a waiting loop so that it recomputes its wait.
    queue_.Post(0);
}

void MessageLoop::KillTimer(std::uint32_t timerId) {
    std::lock_guard lock(timerMutex_);
    timers_.erase(timerId);
}

bool MessageLoop::HasTimer(std::uint32_t timerId) const {
    std::lock_guard lock(timerMutex_);
    return timers_.count(timerId) != 0;
}

std::uint32_t MessageLoop::FireDueTimers(IMessageHandler& handler) {
    std::vector<std::uint32_t> due;
    std::uint32_t wait = kIdleWaitMs;
    {
        std::lock_guard lock(timerMutex_);
        const std::uint32_t now = clock_.TickCount();
        for (auto& [id, timer] : timers_) {
            if (TickReached(now, timer.due)) {
                due.push_back(id);
                // Like window timers, a late tick is not repeated to catch up.
                timer.due = now + timer.period;
            }
            const std::uint32_t left = TickReached(now, timer.due) ? 0 : timer.due - now;
            if (left < wait) wait = left;
        }
    }
    for (std::uint32_t id : due) {
        // A handler may have killed a later timer of this round.
        if (HasTimer(id)) handler.OnTimer(id);
    }
    return wait;
}

bool MessageLoop::RunPending(IMessageHandler& handler) {
    Message message;
    while (queue_.Peek(message)) {
        if (message.id == WM_QUIT) return false;
        if (message.id != 0) handler.OnMessage(message);
    }
    FireDueTimers(handler);
    return true;
}

int MessageLoop::Run(IMessageHandler& handler) {
    for (;;) {
        Message message;
        while (queue_.Peek(message)) {
            if (message.id == WM_QUIT) return static_cast<int>(message.wParam);
            if (message.id != 0) handler.OnMessage(message);
        }
        const std::uint32_t wait = FireDueTimers(handler);
        queue_.WaitFor(std::chrono::milliseconds(wait));
    }
}

}  // namespace velk
