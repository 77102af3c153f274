#pragma once
// The acquisition objects of one server, made in the order they depend on each other: the
// supervision before the channels that report to it, then the channel exchange and the scan
// engine over those channels, and the device threads last, so that they end first.
#include <functional>

#include "modbus/comm_supervision.h"
#include "modbus/device_acquisition.h"
#include "modbus/device_channel_exchange.h"
#include "modbus/device_channels_set.h"
#include "modbus/scan_engine.h"
#include "modbus/shared_tcp_connections.h"

namespace velk {

class CDoc;

struct AcquisitionStackServices {
    IClock& clock;
    IEventPoster& poster;  // alarm records
    // The lines and the network; a device on a missing one fails its exchanges.
    SerialChannelSet* serialChannels = nullptr;
    ITcpSockets* sockets = nullptr;
    IRouteTable* routes = nullptr;
    ISettingsStore* machineSettings = nullptr;  // TCP port overrides
    // Called after every good exchange on an active channel.
    std::function<void()> reloadCommFailCountdown;
    std::function<CDoc*()> document;                   // null before the document exists
    std::function<EventBufferSettings()> eventBuffer;  // defaults when empty
};

class AcquisitionStack {
  public:
    explicit AcquisitionStack(AcquisitionStackServices services);
    AcquisitionStack(const AcquisitionStack&) = delete;
    AcquisitionStack& operator=(const AcquisitionStack&) = delete;

    CommSupervision& Supervision() { return supervision_; }
    DeviceChannelsSet& Channels() { return channels_; }
    DeviceChannelExchange& Exchange() { return exchange_; }
    ScanEngine& Scan() { return scan_; }
    DeviceAcquisition& Acquisition() { return acquisition_; }

  private:
    CommSupervision supervision_;
    // Before the channels, which use it, and so ended after them.
    SharedTcpConnections sharedConnections_;
    DeviceChannelsSet channels_;
    DeviceChannelExchange exchange_;
    ScanEngine scan_;
    DeviceAcquisition acquisition_;
};

}  // namespace velk
