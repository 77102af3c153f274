#pragma once
// The small interfaces through which the document reaches the rest of the server: the
// client and COM lock counts of the application object, the live-monitor thread and the
// stop of a device's acquisition before it is destroyed; and the document as the
// application object uses it.
#include <cstdint>
#include <string>

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

// The configuration document as the start-up sequence and the close rules use it.
class IAppDocument {
  public:
    virtual ~IAppDocument() = default;
    // Opens a configuration file; false (after telling the user) when it cannot be read.
    virtual bool OpenDocument(const std::string& path) = 0;
    // Replaces the configuration with a new, empty one.
    virtual bool NewDocument() = 0;
    // The live monitor (Monitor command) and its stop.
    virtual bool IsMonitorRunning() const = 0;
    virtual void StopMonitor() = 0;
};

// Client counting of the application object (AddClient / RemoveClient). Server objects call
// it with ServerListLock held; the live monitor calls it without.
class IClientCounter {
  public:
    virtual ~IClientCounter() = default;
    // True when the client count is non-zero afterwards.
    virtual bool AddClient() = 0;
    // True when the client count is still non-zero afterwards.
    virtual bool RemoveClient() = 0;
};

}  // namespace velk
