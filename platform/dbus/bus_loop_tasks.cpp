#include "platform/dbus/bus_loop_tasks.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <future>
#include <memory>

namespace velk {

BusLoopTasks::BusLoopTasks(std::function<bool()> ownerMayRun)
    : ownerMayRun_(std::move(ownerMayRun)), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

BusLoopTasks::~BusLoopTasks() {
    if (wakeFd_ >= 0) close(wakeFd_);
}

void BusLoopTasks::Open() {
    {
        std::lock_guard lock(mutex_);
        open_ = true;
    }
    loopActive_ = true;  // before the thread exists: its handlers ask for it
}

void BusLoopTasks::CloseInbox() {
    std::lock_guard lock(mutex_);
    open_ = false;
}

void BusLoopTasks::LoopEnded() {
    loopActive_ = false;
    CloseInbox();
    // A thread made later may be given the ended loop thread's id.
    loopThread_ = std::thread::id{};
}

bool BusLoopTasks::Post(Task task) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return false;
        tasks_.push_back(std::move(task));
    }
    Wake();
    return true;
}

bool BusLoopTasks::PostSinkCall(BusSinkCalls::Queued& call) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return false;
        sinkCalls_.push_back(std::move(call));
    }
    Wake();
    return true;
}

void BusLoopTasks::Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

void BusLoopTasks::WaitForBusOrWake(int busFd, short busEvents, int timeoutMs) {
    pollfd fds[2] = {{busFd, busEvents, 0}, {wakeFd_, POLLIN, 0}};
    poll(fds, 2, timeoutMs);
    std::uint64_t count = 0;
    while (read(wakeFd_, &count, sizeof count) > 0) {
    }
}

void BusLoopTasks::Run(BusSinkCalls& sinkCalls) {
    std::vector<Task> tasks;
    std::vector<BusSinkCalls::Queued> sinks;
    {
        std::lock_guard lock(mutex_);
        tasks.swap(tasks_);
        sinks.swap(sinkCalls_);
    }
    for (auto& sink : sinks) sinkCalls.Start(std::move(sink));
    for (auto& task : tasks) task();
    ClearGraveyard();
}

void BusLoopTasks::FailQueued() {
    std::vector<BusSinkCalls::Queued> sinks;
    std::vector<Task> tasks;
    {
        std::lock_guard lock(mutex_);
        sinks.swap(sinkCalls_);
        tasks.swap(tasks_);
    }
    for (auto& sink : sinks) {
        if (sink.done) sink.done(RPC_E_DISCONNECTED, {});
    }
}

bool BusLoopTasks::Invoke(const std::function<void()>& work) {
    if (OnLoopThread()) {
        work();
        return true;
    }
    return RunOnLoop(work);
}

bool BusLoopTasks::RunOnLoop(const std::function<void()>& work) {
    if (!loopActive_) {
        // Only the owner before the start runs work here; once the host stops, nobody.
        if (!ownerMayRun_()) return false;
        work();
        return true;
    }
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    if (!Post([&work, done] {
            work();
            done->set_value();
        })) {
        return false;
    }
    try {
        finished.get();
    } catch (const std::future_error&) {
        return false;
    }
    return true;
}

}  // namespace velk
