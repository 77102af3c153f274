#pragma once
// The OPC UA server of the running program: the address space over the document, the plant's
// tag values, write path and sampling, and the front that serves them over UA TCP. Started
// once the document is loaded, stopped after the main loop while acquisition still runs: the
// front first (its sessions stop their sampling), then the sampling source.
#include <functional>
#include <memory>
#include <string>

#include "app/opcua/ua_front_options.h"
#include "opcua/space/namespace_zero.h"

namespace velk {

class CDoc;
class DeviceWorkers;
class IClientCounter;
class IClock;
class ITagIO;
class ITcpSockets;

struct UaServiceParts {
    const IClock& clock;
    ITagIO& tagIO;
    // The device readers and the update grid's pool, shared with the DA groups.
    DeviceWorkers& workers;
    ITcpSockets& sockets;
    IClientCounter& clients;
    std::function<void(const std::string&)> trace;
};

class UaService {
  public:
    explicit UaService(UaServiceParts parts);
    ~UaService();
    UaService(const UaService&) = delete;
    UaService& operator=(const UaService&) = delete;

    // Serves the document (which outlives the service) with the options; false (traced) when
    // the front could not start.
    bool Start(CDoc& document, const UaFrontOptions& options, const ua::ServerDescription& server);
    // Bounded; idempotent.
    void Stop();
    bool IsRunning() const;

  private:
    struct Running;
    UaServiceParts parts_;
    std::unique_ptr<Running> running_;
};

}  // namespace velk
