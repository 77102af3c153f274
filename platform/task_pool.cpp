#include "platform/task_pool.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace velk {

struct TaskPool::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;

    // The procedure of every thread: take and run tasks until the pool stops.
    int Serve() {
        while (true) {
            std::function<void()> task;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return stopping || !tasks.empty(); });
                if (stopping) return 0;
                task = std::move(tasks.front());
                tasks.pop_front();
            }
            task();
        }
    }
};

TaskPool::TaskPool(std::string name, std::size_t threads, ThreadPriority priority)
    : name_(std::move(name)),
      wanted_(threads),
      priority_(priority),
      queue_(std::make_shared<Queue>()) {
    std::lock_guard lock(threadsLock_);
    StartThreadsLocked();
}

TaskPool::~TaskPool() { Stop(); }

void TaskPool::StartThreadsLocked() {
    while (threads_.size() < wanted_) {
        auto thread = std::make_unique<WorkerThread>(name_);
        auto queue = queue_;
        // A refusal is reported by the thread; the next one would be refused as well.
        if (!thread->Start([queue](MessageQueue&) { return queue->Serve(); }, priority_)) return;
        threads_.push_back(std::move(thread));
    }
}

bool TaskPool::EnsureThread() {
    std::lock_guard lock(threadsLock_);
    if (stopping_) return false;
    if (threads_.empty()) StartThreadsLocked();
    return !threads_.empty();
}

bool TaskPool::Post(std::function<void()> task) {
    if (!EnsureThread()) return false;
    // Once queued, the task may release the pool before this call has returned: the rest of
    // the call uses its own reference to the queue, not the pool's members.
    std::shared_ptr<Queue> queue = queue_;
    {
        std::lock_guard lock(queue->mutex);
        if (queue->stopping) return false;
        queue->tasks.push_back(std::move(task));
    }
    queue->changed.notify_one();
    return true;
}

bool TaskPool::Stop(std::chrono::milliseconds timeout) {
    BeginStop();
    return WaitStopped(std::chrono::steady_clock::now() + timeout);
}

void TaskPool::BeginStop() {
    {
        std::lock_guard lock(threadsLock_);
        stopping_ = true;
    }
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard lock(queue_->mutex);
        queue_->stopping = true;
        dropped.swap(queue_->tasks);
    }
    queue_->changed.notify_all();
    dropped.clear();  // outside the lock: a task may own what takes it again
}

bool TaskPool::WaitStopped(std::chrono::steady_clock::time_point deadline) {
    std::vector<std::unique_ptr<WorkerThread>> threads;
    {
        std::lock_guard lock(threadsLock_);
        if (stopped_) return true;
        stopped_ = true;
        threads.swap(threads_);
    }
    return JoinAllBy(threads, deadline);
}

std::size_t TaskPool::ThreadCount() const {
    std::lock_guard lock(threadsLock_);
    return threads_.size();
}

std::size_t TaskPool::Queued() const {
    std::lock_guard lock(queue_->mutex);
    return queue_->tasks.size();
}

}  // namespace velk
