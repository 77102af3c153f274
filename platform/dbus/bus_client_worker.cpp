#include "platform/dbus/bus_client_worker.h"

namespace velk {
namespace {

constexpr std::uint32_t kRunJob = WM_USER + 1;
// A finished worker that is destroyed waits no longer than this for its call in progress.
constexpr std::chrono::milliseconds kDestroyWait{5000};

struct JobPayload final : MessagePayload {
    explicit JobPayload(std::function<void()> work) : job(std::move(work)) {}
    std::function<void()> job;
};

}  // namespace

BusClientWorker::BusClientWorker() : dropping_(std::make_shared<std::atomic<bool>>(false)) {
    started_ = thread_.Start([dropping = dropping_](MessageQueue& queue) {
        Message message;
        while (queue.Get(message)) {
            auto* payload = message.PayloadAs<JobPayload>();
            if (payload != nullptr && !dropping->load()) payload->job();
            message.payload.reset();  // what the job held goes here, on this thread
        }
        return 0;
    });
}

BusClientWorker::~BusClientWorker() {
    Finish(true);
    Join(kDestroyWait);
}

bool BusClientWorker::Push(std::function<void()> job) {
    if (!started_) return false;
    return thread_.Post(kRunJob, 0, std::make_unique<JobPayload>(std::move(job)));
}

void BusClientWorker::Finish(bool dropQueued) {
    if (dropQueued) dropping_->store(true);
    thread_.PostQuit();
}

bool BusClientWorker::Join(std::chrono::milliseconds timeout) {
    return !started_ || thread_.Join(timeout);
}

}  // namespace velk
