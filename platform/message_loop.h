#pragma once
// The main thread's message loop: posted messages and window-style timers. Timers are
// checked against the injected clock's tick count, so a test steps a fake clock and calls
// RunPending to deliver exactly the ticks that are due.
#include <cstdint>
#include <map>
#include <mutex>

#include "platform/clock.h"
#include "platform/message_queue.h"

namespace velk {

class IMessageHandler {
  public:
    virtual ~IMessageHandler() = default;
    virtual void OnMessage(const Message& message) = 0;
    virtual void OnTimer(std::uint32_t timerId) = 0;
};

class MessageLoop {
  public:
    explicit MessageLoop(const IClock& clock) : clock_(clock) {}

    bool Post(std::uint32_t id, std::uintptr_t wParam = 0,
              std::unique_ptr<MessagePayload> payload = nullptr) {
        return queue_.Post(id, wParam, std::move(payload));
    }
    void PostQuit() { queue_.PostQuit(); }

    // Starts or restarts a timer; any thread may call these.
    void SetTimer(std::uint32_t timerId, std::uint32_t periodMs);
    void KillTimer(std::uint32_t timerId);
    bool HasTimer(std::uint32_t timerId) const;

    // Dispatches until the quit message arrives; returns the quit message's wParam.
    int Run(IMessageHandler& handler);
    // Dispatches what is queued and the timers due now, without waiting.
    // False once the quit message has been taken.
    bool RunPending(IMessageHandler& handler);

  private:
    struct Timer {
        std::uint32_t period;
        std::uint32_t due;
    };
    // Delivers due timers; returns milliseconds until the next one (or a long wait).
    std::uint32_t FireDueTimers(IMessageHandler& handler);

    const IClock& clock_;
    MessageQueue queue_;
    mutable std::mutex timerMutex_;
    std::map<std::uint32_t, Timer> timers_;
};

}  // namespace velk
