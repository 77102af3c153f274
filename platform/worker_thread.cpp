#include "platform/worker_thread.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <new>
#include <system_error>

namespace velk {
namespace {

class SystemThreadFactory final : public IThreadFactory {
  public:
    std::thread Make(const std::string&, std::function<void()> body) override {
        return std::thread(std::move(body));
    }
};

// Never destroyed: a thread may start while the process exits.
SystemThreadFactory& systemFactory = *new SystemThreadFactory;
std::atomic<IThreadFactory*> currentFactory{&systemFactory};

std::mutex& reportLock = *new std::mutex;
std::function<void(const std::string&)>& startReport = *new std::function<void(const std::string&)>;

void ReportRefusedStart(const std::string& name, const std::string& reason) {
    std::function<void(const std::string&)> report;
    {
        std::lock_guard lock(reportLock);
        report = startReport;
    }
    if (report) report("Thread " + name + " could not be started: " + reason);
}

}  // namespace

ScopedThreadFactory::ScopedThreadFactory(IThreadFactory& factory)
    : previous_(currentFactory.exchange(&factory)) {}

ScopedThreadFactory::~ScopedThreadFactory() { currentFactory.store(previous_); }

void SetThreadStartReport(std::function<void(const std::string& line)> report) {
    std::lock_guard lock(reportLock);
    startReport = std::move(report);
}

struct WorkerThread::State {
    MessageQueue queue;
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    int exitCode = 0;
};

WorkerThread::WorkerThread(std::string name)
    : name_(std::move(name)), state_(std::make_shared<State>()) {}

WorkerThread::~WorkerThread() {
    if (IsCurrentThread()) {
        // Destroyed by its own procedure: it ends when that returns.
        PostQuit();
        thread_.detach();
        return;
    }
    if (thread_.joinable()) {
        PostQuit();
        Join(std::chrono::milliseconds(5000));
    }
}

bool WorkerThread::Start(Procedure procedure, ThreadPriority priority) {
    if (thread_.joinable()) return false;
    auto state = state_;
    try {
        thread_ = currentFactory.load()->Make(
            name_, [state, procedure = std::move(procedure), priority, name = name_] {
                NameCurrentThread(name);
                if (priority != ThreadPriority::Normal) SetCurrentThreadPriority(priority);
                const int code = procedure(state->queue);
                state->queue.Close();
                {
                    std::lock_guard lock(state->mutex);
                    state->finished = true;
                    state->exitCode = code;
                }
                state->ended.notify_all();
            });
    } catch (const std::system_error& error) {
        ReportRefusedStart(name_, error.code().message());
        return false;
    } catch (const std::bad_alloc&) {
        ReportRefusedStart(name_, "out of memory");
        return false;
    }
    return thread_.joinable();
}

bool WorkerThread::Post(Message message) { return state_->queue.Post(std::move(message)); }

bool WorkerThread::Post(std::uint32_t id, std::uintptr_t wParam,
                        std::unique_ptr<MessagePayload> payload) {
    return state_->queue.Post(id, wParam, std::move(payload));
}

void WorkerThread::PostQuit() { state_->queue.PostQuit(); }

bool WorkerThread::Join(std::chrono::milliseconds timeout) {
    if (!thread_.joinable()) return Finished();
    bool finished;
    {
        std::unique_lock lock(state_->mutex);
        finished = state_->ended.wait_for(lock, timeout, [this] { return state_->finished; });
    }
    if (finished) {
        thread_.join();
    } else {
        thread_.detach();
    }
    return finished;
}

void WorkerThread::Join() {
    if (thread_.joinable()) thread_.join();
}

bool WaitForWake(MessageQueue& queue, std::chrono::milliseconds timeout) {
    if (!queue.WaitFor(timeout)) return false;
    Message message;
    while (queue.Peek(message)) {
    }
    return true;
}

bool WorkerThread::WaitFinished(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(state_->mutex);
    return state_->ended.wait_for(lock, timeout, [this] { return state_->finished; });
}

bool WorkerThread::IsCurrentThread() const {
    return thread_.joinable() && thread_.get_id() == std::this_thread::get_id();
}

void WorkerThread::Abandon() {
    if (thread_.joinable()) thread_.detach();
}

bool WorkerThread::Finished() const {
    std::lock_guard lock(state_->mutex);
    return state_->finished;
}

int WorkerThread::ExitCode() const {
    std::lock_guard lock(state_->mutex);
    return state_->exitCode;
}

bool JoinAllBy(std::vector<std::unique_ptr<WorkerThread>>& threads,
               std::chrono::steady_clock::time_point deadline) {
    bool allEnded = true;
    for (auto& thread : threads) {
        if (thread->IsCurrentThread()) {
            thread->Abandon();
            allEnded = false;
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        allEnded &= thread->Join(std::max(left, std::chrono::milliseconds(0)));
    }
    return allEnded;
}

}  // namespace velk
