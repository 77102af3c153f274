#include "platform/timed_pass_pool.h"

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace velk {

using Clock = std::chrono::steady_clock;
// Due time, then the order of scheduling: passes due at the same time run first come first.
using Key = std::pair<Clock::time_point, std::uint64_t>;

struct TimedPassPool::Entry {
    Pass pass;
    std::optional<Key> key;  // set while scheduled
    bool running = false;
    bool cancelled = false;
    std::thread::id runner;
};

struct TimedPassPool::State {
    std::mutex mutex;
    std::condition_variable due;        // the threads wait for the first due pass
    std::condition_variable passEnded;  // cancellations wait for a pass in progress
    std::map<Key, std::shared_ptr<Entry>> schedule;
    std::size_t registered = 0;
    std::uint64_t nextOrder = 0;
    bool stopping = false;

    // Schedules the entry; the mutex is held.
    void ScheduleLocked(const std::shared_ptr<Entry>& entry, Clock::time_point when) {
        const Key key{when, nextOrder++};
        entry->key = key;
        const bool first = schedule.empty() || key < schedule.begin()->first;
        schedule.emplace(key, entry);
        if (first) due.notify_one();
    }

    void UnscheduleLocked(Entry& entry) {
        if (!entry.key) return;
        schedule.erase(*entry.key);
        entry.key.reset();
    }

    // The procedure of every thread: run due passes until the pool stops.
    int Serve() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (schedule.empty()) {
                due.wait(lock);
                continue;
            }
            const auto first = schedule.begin();
            // A copy: the wait reads its deadline again after the entry may have gone.
            const Clock::time_point when = first->first.first;
            if (when > Clock::now()) {
                due.wait_until(lock, when);
                continue;
            }
            std::shared_ptr<Entry> entry = first->second;
            schedule.erase(first);
            entry->key.reset();
            entry->running = true;
            entry->runner = std::this_thread::get_id();
            // Another pass may be due as well: let a free thread take it.
            if (!schedule.empty() && schedule.begin()->first.first <= Clock::now())
                due.notify_one();
            lock.unlock();
            std::chrono::milliseconds wait{1000};
            try {
                wait = entry->pass();
            } catch (...) {
                // A pass that failed runs again after the default wait.
            }
            lock.lock();
            entry->running = false;
            entry->runner = {};
            if (!entry->cancelled && !stopping)
                ScheduleLocked(entry, Clock::now() + std::max(wait, wait.zero()));
            passEnded.notify_all();
        }
        return 0;
    }
};

TimedPassPool::Registration::Registration(std::shared_ptr<State> state,
                                          std::shared_ptr<Entry> entry)
    : state_(std::move(state)), entry_(std::move(entry)) {}

TimedPassPool::Registration::~Registration() {
    if (!Cancel(std::chrono::milliseconds(5000))) WaitIdle();
}

bool TimedPassPool::Registration::Cancel(std::chrono::milliseconds timeout) {
    std::unique_lock lock(state_->mutex);
    if (!entry_->cancelled) {
        entry_->cancelled = true;
        state_->UnscheduleLocked(*entry_);
        --state_->registered;
    }
    if (entry_->running && entry_->runner == std::this_thread::get_id()) return true;
    return state_->passEnded.wait_for(lock, timeout, [this] { return !entry_->running; });
}

void TimedPassPool::Registration::WaitIdle() {
    std::unique_lock lock(state_->mutex);
    if (entry_->running && entry_->runner == std::this_thread::get_id()) return;
    state_->passEnded.wait(lock, [this] { return !entry_->running; });
}

TimedPassPool::TimedPassPool(std::string name, std::size_t threads, ThreadPriority priority)
    : state_(std::make_shared<State>()) {
    for (std::size_t i = 0; i < threads; ++i) {
        auto thread = std::make_unique<WorkerThread>(name);
        auto state = state_;
        if (thread->Start([state](MessageQueue&) { return state->Serve(); }, priority))
            threads_.push_back(std::move(thread));
    }
}

TimedPassPool::~TimedPassPool() { Stop(); }

std::unique_ptr<TimedPassPool::Registration> TimedPassPool::Register(Pass pass) {
    auto entry = std::make_shared<Entry>();
    entry->pass = std::move(pass);
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping || threads_.empty()) return nullptr;
        ++state_->registered;
        state_->ScheduleLocked(entry, Clock::now());
    }
    return std::make_unique<Registration>(state_, std::move(entry));
}

bool TimedPassPool::Stop(std::chrono::milliseconds timeout) {
    if (stopped_) return true;
    stopped_ = true;
    std::map<Key, std::shared_ptr<Entry>> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->schedule);
        for (auto& [key, entry] : dropped) entry->key.reset();
    }
    state_->due.notify_all();
    dropped.clear();  // outside the lock: a pass may own what takes it again
    return JoinAllBy(threads_, Clock::now() + timeout);
}

std::size_t TimedPassPool::Registered() const {
    std::lock_guard lock(state_->mutex);
    return state_->registered;
}

}  // namespace velk
