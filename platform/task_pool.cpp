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
    : queue_(std::make_shared<Queue>()) {
    for (std::size_t i = 0; i < threads; ++i) {
        auto thread = std::make_unique<WorkerThread>(name);
        auto queue = queue_;
        if (thread->Start([queue](MessageQueue&) { return queue->Serve(); }, priority)) {
            threads_.push_back(std::move(thread));
        }
    }
}

TaskPool::~TaskPool() { Stop(); }

bool TaskPool::Post(std::function<void()> task) {
    // Once queued, the task may release the pool before this call has returned: the rest of
    // the call uses its own reference to the queue, not the pool's members.
    std::shared_ptr<Queue> queue = queue_;
    {
        std::lock_guard lock(queue->mutex);
        if (queue->stopping || threads_.empty()) return false;
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
    if (stopped_) return true;
    stopped_ = true;
    return JoinAllBy(threads_, deadline);
}

std::size_t TaskPool::Queued() const {
    std::lock_guard lock(queue_->mutex);
    return queue_->tasks.size();
}

}  // namespace velk
