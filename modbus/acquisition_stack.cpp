#include "modbus/acquisition_stack.h"

#include "modbus/device_channels.h"

namespace velk {

AcquisitionStack::AcquisitionStack(AcquisitionStackServices services)
    : supervision_(services.clock, services.poster, std::move(services.reloadCommFailCountdown)),
      channels_(ChannelServices{services.clock, supervision_, services.serialChannels,
                                services.sockets, services.routes, services.machineSettings,
                                nullptr, &sharedConnections_}),
      exchange_([this](ODevice& device) { return &channels_.ChannelsOf(device); }, &supervision_),
      scan_(exchange_, services.poster, services.clock),
      acquisition_(std::move(services.document),
                   DeviceAcquisitionParts{channels_, scan_, supervision_, services.clock,
                                          services.poster, std::move(services.eventBuffer)}) {
    supervision_.AttachChannels([this](ODevice& device) { return &channels_.ChannelsOf(device); });
}

}  // namespace velk
