#pragma once
// The small interfaces through which the document reaches the rest of the server: the
// client and COM lock counts of the application object, the live-monitor thread and the
// stop of a device's acquisition before it is destroyed.
#include <cstdint>

namespace velk {

class CDoc;
class ODevice;

// Counts kept by the application object.
class IServerCounts {
  public:
    virtual ~IServerCounts() = default;
    // The COM lock count: non-zero while OPC clients hold the server.
    virtual std::int32_t ComLockCount() const = 0;
    // clientCount: server objects plus the live monitor while it runs.
    virtual std::int32_t ClientCount() const = 0;
};

// The live-monitor thread (its body is the scan engine's). Start runs it while the
// document's monitorRunning flag is set; Join waits for its end without a time limit.
class IMonitorThread {
  public:
    virtual ~IMonitorThread() = default;
    // False when the thread could not be created.
    virtual bool Start(CDoc& document) = 0;
    virtual void Join() = 0;
};

// Told before a device is destroyed, so that its acquisition threads stop first.
class IDeviceLifecycle {
  public:
    virtual ~IDeviceLifecycle() = default;
    virtual void StopDevice(ODevice& device) = 0;
};

}  // namespace velk
