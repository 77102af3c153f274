#include "app/server/acquisition_host.h"

#include "model/c_doc.h"
#include "model/o_device.h"

namespace velk {

AcquisitionHost::AcquisitionHost(AcquisitionServices services)
    : document_(services.document),
      serial_(serialPorts_, services.machineStore, services.clock,
              SerialChannelSet::WriteToStandardOutput,
              [this] { return stack_.Acquisition().AcquisitionRuns(); }),
      stack_(AcquisitionStackServices{
          services.clock, services.poster, &serial_, &sockets_, &routes_, services.machineStore,
          services.reloadCommFailCountdown, services.document, services.eventBuffer}),
      tagIO_(stack_.Scan()),
      monitor_(services.clock, services.clients, stack_.Scan().ReadTagsCallback()) {}

std::vector<DeviceMonitorModel> AcquisitionHost::DeviceMonitor() {
    std::vector<DeviceMonitorModel> models;
    CDoc* document = document_();
    if (document == nullptr) return models;
    std::lock_guard tree(document->Locks().tree);
    for (ODevice* device : document->Devices()) {
        models.push_back(
            DeviceMonitorModel::Of(*device, &stack_.Channels().ChannelsOf(*device), &serial_));
    }
    return models;
}

EventBufferSettings EventBufferFromSettings(std::uint16_t master1, std::uint16_t master2,
                                            std::uint16_t sizeInRegisters) {
    EventBufferSettings settings;
    settings.master1 = master1;
    settings.master2 = master2;
    settings.size = static_cast<std::uint16_t>(sizeInRegisters / 4);
    return settings;
}

}  // namespace velk
