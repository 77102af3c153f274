#pragma once
// A named thread with its own message queue, stopped by its owner: PostQuit (or whatever
// the procedure ends on, with Wake to cut its wait short), then Join.
//
// Every system thread of the process is made here, through the process's thread factory.
// A start that the system refuses (a task limit, no memory for a stack) is never an
// exception to the caller: Start returns false and the refusal is reported once, through
// the report that the application wires to its trace file.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/message_queue.h"

namespace velk {

// Does nothing: posted to wake a thread that waits for its queue (WorkerThread::Wake).
inline constexpr std::uint32_t WM_NULL = 0x0000;

enum class ThreadPriority { Normal, AboveNormal, BelowNormal, Highest };

// Sets the calling thread's scheduling priority; false when the system refuses.
bool SetCurrentThreadPriority(ThreadPriority priority);
// Names the calling thread for debuggers and ps (at most 15 characters are kept).
void NameCurrentThread(const std::string& name);

// For a procedure that runs in cycles and is only ever woken: waits up to the time-out for a
// message and takes every queued one. True when woken; a wake that came before the wait
// ends the next wait at once.
bool WaitForWake(MessageQueue& queue, std::chrono::milliseconds timeout);

// Makes the system threads. The process uses std::thread; a test puts in one that refuses.
class IThreadFactory {
  public:
    virtual ~IThreadFactory() = default;
    // Runs the body on a new thread named `name`; throws std::system_error when the system
    // refuses, as std::thread does.
    virtual std::thread Make(const std::string& name, std::function<void()> body) = 0;
};

// Puts a factory in place for as long as it lives, then the one before it comes back.
// Meant for tests: the factory is replaced while no thread is being started elsewhere.
class ScopedThreadFactory {
  public:
    explicit ScopedThreadFactory(IThreadFactory& factory);
    ~ScopedThreadFactory();
    ScopedThreadFactory(const ScopedThreadFactory&) = delete;
    ScopedThreadFactory& operator=(const ScopedThreadFactory&) = delete;

  private:
    IThreadFactory* previous_;
};

// Where a refused thread start is reported, one line each ("" report: nowhere). The
// application wires its trace file here.
void SetThreadStartReport(std::function<void(const std::string& line)> report);

class WorkerThread {
  public:
    // The procedure pumps the queue and returns the thread's exit code.
    using Procedure = std::function<int(MessageQueue&)>;

    explicit WorkerThread(std::string name);
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts the thread; false (and reported) when the system refuses the thread. A priority
    // the system refuses leaves it at normal priority.
    bool Start(Procedure procedure, ThreadPriority priority = ThreadPriority::Normal);
    bool IsStarted() const { return thread_.joinable(); }
    const std::string& Name() const { return name_; }

    bool Post(Message message);
    bool Post(std::uint32_t id, std::uintptr_t wParam = 0,
              std::unique_ptr<MessagePayload> payload = nullptr);
    void PostQuit();
    // Ends the procedure's current or next WaitForWake early.
    void Wake() { Post(WM_NULL); }

    // Waits up to the time-out for the thread to end; true when it ended. A thread still
    // running after the wait is abandoned: it keeps its own queue alive until it returns.
    bool Join(std::chrono::milliseconds timeout);
    // Waits for the thread to end, however long that takes.
    void Join();
    // Waits up to the time-out for the procedure to return, without giving the thread up
    // (Join then returns at once), also for a thread that Join gave up on; true when it has
    // returned.
    bool WaitFinished(std::chrono::milliseconds timeout) const;
    bool Finished() const;
    int ExitCode() const;
    // True on the thread itself (whose owner must not wait for it there).
    bool IsCurrentThread() const;
    // Lets the thread end on its own without waiting for it (used on the thread itself).
    void Abandon();

  private:
    struct State;
    std::string name_;
    std::shared_ptr<State> state_;
    std::thread thread_;
};

// Joins the threads within one deadline, for an owner that stops several at once; a thread
// that is the caller itself is abandoned instead of waited for. True when every thread ended.
bool JoinAllBy(std::vector<std::unique_ptr<WorkerThread>>& threads,
               std::chrono::steady_clock::time_point deadline);

}  // namespace velk
