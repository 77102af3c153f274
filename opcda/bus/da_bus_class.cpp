#include "opcda/bus/da_bus_class.h"

#include <algorithm>
#include <chrono>

#include "core/trace_file.h"
#include "opcda/bus/remote_sinks.h"

namespace velk {

using namespace dabus;

DaBusClass::DaBusClass(std::string busName, std::string factoryPath, DaBusServices services)
    : busName_(std::move(busName)),
      factoryPath_(std::move(factoryPath)),
      services_(std::move(services)),
      workers_(std::make_shared<DeviceWorkers>()) {}

DaBusClass::~DaBusClass() {
    // A group that an update pass held last goes on that pass's thread, after its cycle; it
    // still uses the tag I/O and the tree, which go after this class.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(5000);
    if (!releases_.Drain(deadline) ||
        !OPCGroup::WaitUntilNoneLive(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  deadline - std::chrono::steady_clock::now()),
                                              std::chrono::milliseconds(0)))) {
        Trace(
            "OPC DA objects still live 5000 ms after their last client; left to end on their own");
    }
    workers_->Stop();
}

BusInstanceResult DaBusClass::CreateInstance(const BusClient& client,
                                             std::shared_ptr<BusSinkChannel> sinks) {
    OTagGroup* root = services_.root ? services_.root() : nullptr;
    if (root == nullptr || services_.tagIO == nullptr) return {E_FAIL, nullptr};
    DAServerServices da{services_.clock, services_.tagIO,    services_.registry, root,
                        workers_,        services_.launcher, services_.locks,    {}};
    DAServerSettings settings = services_.settings ? services_.settings() : DAServerSettings{};
    settings.client = client.Describe();
    std::shared_ptr<void> place;
    {
        std::lock_guard lock(sharesLock_);
        std::erase_if(shares_, [](const auto& entry) { return entry.second.objects.expired(); });
        ClientShare& share = shares_[client.name];
        // A quota lives while an object of the connection does.
        const auto quota = [](std::weak_ptr<ClientQuota>& held, std::uint32_t limit) {
            std::shared_ptr<ClientQuota> q = held.lock();
            if (!q) held = q = std::make_shared<ClientQuota>(limit);
            return q;
        };
        const std::shared_ptr<ClientQuota> objects =
            quota(share.objects, settings.limits.maxObjects);
        da.quotas = {quota(share.groups, settings.limits.maxGroups),
                     quota(share.items, settings.limits.maxItems),
                     quota(share.requests, settings.limits.maxRequests)};
        place = objects->Take();
        if (!place) {
            Trace("OPC DA server instance refused for " + settings.client + ": it holds " +
                  std::to_string(objects->InUse()) + " instances");
            return {E_OUTOFMEMORY, nullptr};
        }
    }
    std::shared_ptr<OPCServer> server = OPCServer::Create(da, std::move(settings));
    if (!server) return {E_OUTOFMEMORY, nullptr};
    DaBusContext context;
    context.place = std::move(place);
    context.sinks = SinkWindow::Create(std::move(sinks));
    context.releases = &releases_;
    if (IModuleLock* lock = services_.moduleLock) {
        lock->Lock();
        context.moduleLock = std::shared_ptr<void>(
            lock, [](void* held) { static_cast<IModuleLock*>(held)->Unlock(); });
    }
    return {S_OK, std::make_unique<DaServerBusObject>(std::move(context), std::move(server),
                                                      services_.deviceMonitor)};
}

std::vector<std::string> DaBusClass::SinkInterfaces() const {
    return {kShutdownSinkInterface, kDataCallbackSinkInterface, kAdviseSinkInterface};
}

}  // namespace velk
