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
    WakeablePass pass;
    std::optional<Key> key;  // set while scheduled
    // When the wait that a wake cut short would have ended (none: it slept), for kResume.
    std::optional<Clock::time_point> resumeAt;
    bool dueByWake = false;  // the scheduled run is a wake's
    bool running = false;
    bool woken = false;  // woken while running: the next pass follows at once
    bool cancelled = false;
    std::thread::id runner;
};

struct TimedPassPool::State {
    explicit State(Now clock) : now(std::move(clock)) {}

    const Now now;
    std::mutex mutex;
    std::condition_variable due;        // the threads wait for the first due pass
    std::condition_variable passEnded;  // cancellations wait for a pass in progress
    std::map<Key, std::shared_ptr<Entry>> schedule;
    std::size_t registered = 0;
    std::uint64_t nextOrder = 0;
    bool stopping = false;

    // Schedules the entry; the mutex is held.
    void ScheduleLocked(const std::shared_ptr<Entry>& entry, Clock::time_point when,
                        bool byWake = false) {
        const Key key{when, nextOrder++};
        entry->key = key;
        entry->dueByWake = byWake;
        const bool first = schedule.empty() || key < schedule.begin()->first;
        schedule.emplace(key, entry);
        if (first) due.notify_one();
    }

    void UnscheduleLocked(Entry& entry) {
        if (!entry.key) return;
        schedule.erase(*entry.key);
        entry.key.reset();
    }

    void WakeLocked(const std::shared_ptr<Entry>& entry) {
        if (entry->cancelled || stopping) return;
        if (entry->running) {
            entry->woken = true;
            return;
        }
        const Clock::time_point at = now();
        if (entry->key && entry->key->first <= at) {
            entry->dueByWake = true;  // due already: the run is the wake's as well
            return;
        }
        if (entry->key) {
            entry->resumeAt = entry->key->first;
        } else {
            entry->resumeAt.reset();  // it slept
        }
        UnscheduleLocked(*entry);
        ScheduleLocked(entry, at, true);
    }

    // Schedules the entry after a pass that asked for the wait; the mutex is held.
    void ScheduleAfterLocked(const std::shared_ptr<Entry>& entry, std::chrono::milliseconds wait) {
        const Clock::time_point at = now();
        std::optional<Clock::time_point> due;
        if (wait == kResume) {
            due = entry->resumeAt;
            if (due && *due < at) due = at;
        } else if (wait != kUntilWoken) {
            due = at + std::max(wait, wait.zero());
        }
        entry->resumeAt = due;
        if (entry->woken) {
            ScheduleLocked(entry, at, true);
        } else if (due) {
            ScheduleLocked(entry, *due);
        }
    }

    // Takes the first pass if it is due and runs it with the mutex released; false when
    // none is due.
    bool RunFirstDue(std::unique_lock<std::mutex>& lock) {
        if (schedule.empty() || schedule.begin()->first.first > now()) return false;
        const auto first = schedule.begin();
        std::shared_ptr<Entry> entry = first->second;
        schedule.erase(first);
        entry->key.reset();
        const bool byWake = entry->dueByWake;
        entry->dueByWake = false;
        entry->running = true;
        entry->woken = false;
        entry->runner = std::this_thread::get_id();
        // Another pass may be due as well: let a free thread take it.
        if (!schedule.empty() && schedule.begin()->first.first <= now()) due.notify_one();
        lock.unlock();
        std::chrono::milliseconds wait{1000};
        try {
            wait = entry->pass(byWake);
        } catch (...) {
            // A pass that failed runs again after the default wait.
            wait = std::chrono::milliseconds(1000);
        }
        lock.lock();
        entry->running = false;
        entry->runner = {};
        if (!entry->cancelled && !stopping) ScheduleAfterLocked(entry, wait);
        entry->woken = false;
        passEnded.notify_all();
        return true;
    }

    // The procedure of every thread: run due passes until the pool stops.
    int Serve() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            if (schedule.empty()) {
                due.wait(lock);
                continue;
            }
            // A copy: the wait reads its deadline again after the entry may have gone.
            const Clock::time_point when = schedule.begin()->first.first;
            if (when > now()) {
                due.wait_until(lock, when);
                continue;
            }
            RunFirstDue(lock);
        }
        return 0;
    }
};

TimedPassPool::Waker::Waker(std::weak_ptr<State> state, std::weak_ptr<Entry> entry)
    : state_(std::move(state)), entry_(std::move(entry)) {}

void TimedPassPool::Waker::Wake() const {
    std::shared_ptr<State> state = state_.lock();
    std::shared_ptr<Entry> entry = entry_.lock();
    if (!state || !entry) return;
    std::lock_guard lock(state->mutex);
    state->WakeLocked(entry);
}

TimedPassPool::Registration::Registration(std::shared_ptr<State> state,
                                          std::shared_ptr<Entry> entry)
    : state_(std::move(state)), entry_(std::move(entry)) {}

TimedPassPool::Registration::~Registration() {
    if (!Cancel(std::chrono::milliseconds(5000))) WaitIdle();
}

void TimedPassPool::Registration::Wake() {
    std::lock_guard lock(state_->mutex);
    state_->WakeLocked(entry_);
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
    : name_(std::move(name)),
      wanted_(threads),
      priority_(priority),
      state_(std::make_shared<State>([] { return Clock::now(); })) {
    std::lock_guard lock(threadsLock_);
    StartThreadsLocked();
}

TimedPassPool::TimedPassPool(Now now)
    : name_("stepped"), stepped_(true), state_(std::make_shared<State>(std::move(now))) {}

TimedPassPool::~TimedPassPool() { Stop(); }

void TimedPassPool::StartThreadsLocked() {
    while (threads_.size() < wanted_) {
        auto thread = std::make_unique<WorkerThread>(name_);
        auto state = state_;
        // A refusal is reported by the thread; the next one would be refused as well.
        if (!thread->Start([state](MessageQueue&) { return state->Serve(); }, priority_)) return;
        threads_.push_back(std::move(thread));
    }
}

bool TimedPassPool::EnsureThread() {
    std::lock_guard lock(threadsLock_);
    if (stopped_) return false;
    if (stepped_) return true;
    if (threads_.empty()) StartThreadsLocked();
    return !threads_.empty();
}

std::unique_ptr<TimedPassPool::Registration> TimedPassPool::Register(Pass pass) {
    return RegisterWakeable([pass = std::move(pass)](bool) { return pass(); });
}

std::unique_ptr<TimedPassPool::Registration> TimedPassPool::RegisterWakeable(WakeablePass pass,
                                                                             bool asleep) {
    if (!EnsureThread()) return nullptr;
    auto entry = std::make_shared<Entry>();
    entry->pass = std::move(pass);
    {
        std::lock_guard lock(state_->mutex);
        if (state_->stopping) return nullptr;
        ++state_->registered;
        if (!asleep) state_->ScheduleLocked(entry, state_->now());
    }
    return std::make_unique<Registration>(state_, std::move(entry));
}

std::size_t TimedPassPool::RunDue() {
    if (!stepped_) return 0;
    std::size_t ran = 0;
    std::unique_lock lock(state_->mutex);
    while (!state_->stopping && state_->RunFirstDue(lock)) ++ran;
    return ran;
}

bool TimedPassPool::Stop(std::chrono::milliseconds timeout) {
    std::vector<std::unique_ptr<WorkerThread>> threads;
    {
        std::lock_guard lock(threadsLock_);
        if (stopped_) return true;
        stopped_ = true;
        threads.swap(threads_);
    }
    std::map<Key, std::shared_ptr<Entry>> dropped;
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        dropped.swap(state_->schedule);
        for (auto& [key, entry] : dropped) entry->key.reset();
    }
    state_->due.notify_all();
    dropped.clear();  // outside the lock: a pass may own what takes it again
    return JoinAllBy(threads, Clock::now() + timeout);
}

std::size_t TimedPassPool::ThreadCount() const {
    std::lock_guard lock(threadsLock_);
    return threads_.size();
}

std::size_t TimedPassPool::Registered() const {
    std::lock_guard lock(state_->mutex);
    return state_->registered;
}

}  // namespace velk
