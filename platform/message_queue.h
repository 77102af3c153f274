#pragma once
// A thread's message queue: posted messages with an owned payload, and the quit message.
// The queue owns every payload until it is taken out; what is left at destruction is
// destroyed with it, so a discarded message never leaks.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace velk {

// The queue's own message numbers; the layers above number theirs from WM_USER (fixed values,
// each beside the thread that takes it).
inline constexpr std::uint32_t WM_USER = 0x0400;
inline constexpr std::uint32_t WM_QUIT = 0x0012;
inline constexpr std::uint32_t WM_CLOSE = 0x0010;
inline constexpr std::uint32_t WM_TIMER = 0x0113;

// Base of anything carried by a message.
class MessagePayload {
  public:
    virtual ~MessagePayload() = default;
};

struct Message {
    std::uint32_t id = 0;
    std::uintptr_t wParam = 0;
    std::unique_ptr<MessagePayload> payload;

    template <class T>
    T* PayloadAs() const {
        return dynamic_cast<T*>(payload.get());
    }
};

class MessageQueue {
  public:
    // Appends a message; false once the queue has been closed.
    bool Post(Message message);
    bool Post(std::uint32_t id, std::uintptr_t wParam = 0,
              std::unique_ptr<MessagePayload> payload = nullptr);
    void PostQuit() { Post(WM_QUIT); }

    // Waits for the next message; false when it is the quit message.
    bool Get(Message& out);
    // Takes the next message if there is one.
    bool Peek(Message& out);
    // Waits until a message is queued or the time-out passes; true when one is queued.
    bool WaitFor(std::chrono::milliseconds timeout);
    // Refuses further posts and drops (destroys) what is queued.
    void Close();
    std::size_t Size() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Message> messages_;
    bool closed_ = false;
};

}  // namespace velk
