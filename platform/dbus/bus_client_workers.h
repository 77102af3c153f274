#pragma once
// The bus host's worker threads: one per client for its calls in order, one beside it for the
// calls that must reach a call in progress (a cancel), and the release worker on which the
// objects withdrawn by a departed client or the stop end. The release worker is started with
// the host, so that a client's departure never needs a new thread; a client whose worker the
// system refuses (a task limit) has its calls refused until a worker can be started. A departed
// client's workers end after their call in progress; the stop gives every call a bounded time, then
// abandons the workers still in a call and keeps them until they end (the host stays alive for
// them).
//
// The workers' table is the loop thread's (or the owner's while no loop runs); the abandoned
// workers have a mutex of their own, taken alone, as any thread may ask about them.
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dbus/bus_client_worker.h"
#include "platform/dbus/bus_object.h"

namespace velk {

class BusClientWorkers {
  public:
    using Report = std::function<void(const std::string& line)>;
    using Workers = std::vector<std::unique_ptr<BusClientWorker>>;
    // Workers at a time, the ending ones of departed clients included: a client has one, or
    // two with calls beside its others, so at least 256 clients are served at once. A client
    // beyond them has its calls refused until another goes.
    static constexpr std::size_t kMaxWorkers = 512;

    explicit BusClientWorkers(Report report);
    BusClientWorkers(const BusClientWorkers&) = delete;
    BusClientWorkers& operator=(const BusClientWorkers&) = delete;

    // The client's worker, made on its first call; null when its thread cannot be started.
    BusClientWorker* For(const std::string& client);
    // The worker of the client's calls that run beside its others; null likewise.
    BusClientWorker* BesideFor(const std::string& client);
    // A departed client's workers end after their call in progress; their queued calls go.
    void End(const std::string& client);
    // Joins the ended workers whose call has returned (the loop, on each round).
    void Reap();
    // Every worker, the ending ones too, for the stop to drain.
    Workers Take();
    // Lets the workers finish their queued calls within the wait; a worker still in a call
    // then (a device exchange with a silent controller, say) is abandoned and kept until it
    // ends.
    void Drain(Workers& workers, std::chrono::milliseconds wait);
    // Drains the workers that appeared after the stop took the others.
    void DrainRest(std::chrono::milliseconds wait);

    // Starts the release worker; false (reported) when its thread cannot be started.
    bool StartReleases();
    // Ends the withdrawn object on the release worker, never on the loop: its end may wait
    // for an update or delivery thread that waits for a device or a client. Without the
    // worker (before the start, after the stop) it ends here.
    void Release(std::shared_ptr<IBusObject> object);
    // The stop's last step: the objects still to end get the time that is left.
    void DrainReleases(std::chrono::milliseconds wait);

    // True while a worker that the stop abandoned is still in its call.
    bool AbandonedStillRunning() const;

  private:
    Report report_;
    std::map<std::string, std::unique_ptr<BusClientWorker>> workers_;
    Workers ending_;
    bool atLimitReported_ = false;
    std::unique_ptr<BusClientWorker> releaser_;

    mutable std::mutex abandonedMutex_;
    Workers abandoned_;
};

}  // namespace velk
