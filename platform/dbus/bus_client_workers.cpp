#include "platform/dbus/bus_client_workers.h"

#include <algorithm>

#include "platform/trim_memory.h"

namespace velk {
namespace {

std::string BesideKey(const std::string& client) { return client + "+beside"; }

}  // namespace

BusClientWorkers::BusClientWorkers(Report report) : report_(std::move(report)) {}

BusClientWorker* BusClientWorkers::For(const std::string& client) {
    auto found = workers_.find(client);
    if (found != workers_.end()) return found->second.get();
    if (workers_.size() + ending_.size() >= kMaxWorkers) {
        if (!atLimitReported_ && report_) {
            report_("refused the calls of client " + client + ": " + std::to_string(kMaxWorkers) +
                    " client threads run");
        }
        atLimitReported_ = true;
        return nullptr;
    }
    atLimitReported_ = false;
    auto worker = std::make_unique<BusClientWorker>();
    // Not kept: the client's next call tries again.
    if (!worker->Started()) return nullptr;
    return workers_.emplace(client, std::move(worker)).first->second.get();
}

BusClientWorker* BusClientWorkers::BesideFor(const std::string& client) {
    return For(BesideKey(client));
}

void BusClientWorkers::End(const std::string& client) {
    for (const std::string& key : {client, BesideKey(client)}) {
        auto found = workers_.find(key);
        if (found == workers_.end()) continue;
        found->second->Finish(true);
        ending_.push_back(std::move(found->second));
        workers_.erase(found);
    }
}

void BusClientWorkers::Reap() {
    for (auto it = ending_.begin(); it != ending_.end();) {
        if ((*it)->Finished()) {
            (*it)->Join(std::chrono::milliseconds(0));
            it = ending_.erase(it);
        } else {
            ++it;
        }
    }
}

BusClientWorkers::Workers BusClientWorkers::Take() {
    Workers taken;
    for (auto& [client, worker] : workers_) taken.push_back(std::move(worker));
    for (auto& worker : ending_) taken.push_back(std::move(worker));
    workers_.clear();
    ending_.clear();
    return taken;
}

void BusClientWorkers::Drain(Workers& workers, std::chrono::milliseconds wait) {
    for (auto& worker : workers) worker->Finish(false);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    std::size_t left = 0;
    for (auto& worker : workers) {
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (worker->Join(std::max(remaining, std::chrono::milliseconds(0)))) continue;
        ++left;
        std::lock_guard lock(abandonedMutex_);
        abandoned_.push_back(std::move(worker));
    }
    workers.clear();
    if (left != 0 && report_) {
        report_(std::to_string(left) + " call(s) still running after " +
                std::to_string(wait.count()) + " ms are left to end on their own");
    }
}

void BusClientWorkers::DrainRest(std::chrono::milliseconds wait) {
    Workers rest = Take();
    Drain(rest, wait);
}

bool BusClientWorkers::StartReleases() {
    if (releaser_) return true;
    auto releaser = std::make_unique<BusClientWorker>();
    if (!releaser->Started()) {
        if (report_) report_("no release thread: the bus host does not start");
        return false;
    }
    releaser_ = std::move(releaser);
    return true;
}

void BusClientWorkers::Release(std::shared_ptr<IBusObject> object) {
    if (!object || !releaser_) return;  // without the worker the object ends here
    // A client's object that went may have held much (a subscription's queue, say). A
    // finished worker refuses the job, and the object ends here with it.
    releaser_->Push([object = std::move(object)]() mutable {
        object.reset();
        ReturnFreedMemory();
    });
}

void BusClientWorkers::DrainReleases(std::chrono::milliseconds wait) {
    if (!releaser_) return;
    Workers last;
    last.push_back(std::move(releaser_));
    Drain(last, wait);
}

bool BusClientWorkers::AbandonedStillRunning() const {
    std::lock_guard lock(abandonedMutex_);
    for (const auto& worker : abandoned_) {
        if (!worker->Finished()) return true;
    }
    return false;
}

}  // namespace velk
