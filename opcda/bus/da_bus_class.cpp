#include "opcda/bus/da_bus_class.h"

namespace velk {

using namespace dabus;

DaBusClass::DaBusClass(std::string busName, std::string factoryPath, DaBusServices services)
    : busName_(std::move(busName)),
      factoryPath_(std::move(factoryPath)),
      services_(std::move(services)),
      workers_(std::make_shared<DaWorkers>()) {}

DaBusClass::~DaBusClass() {
    releases_.Drain();
    workers_->Stop();
}

BusInstanceResult DaBusClass::CreateInstance(const std::string& /*client*/,
                                             std::shared_ptr<BusSinkChannel> sinks) {
    OTagGroup* root = services_.root ? services_.root() : nullptr;
    if (root == nullptr || services_.tagIO == nullptr) return {E_FAIL, nullptr};
    DAServerServices da{services_.clock, services_.tagIO,   services_.registry, root,
                        workers_,        services_.launcher};
    DAServerSettings settings = services_.settings ? services_.settings() : DAServerSettings{};
    std::shared_ptr<OPCServer> server = OPCServer::Create(da, std::move(settings));
    if (!server) return {E_OUTOFMEMORY, nullptr};
    DaBusContext context;
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

}  // namespace velk
