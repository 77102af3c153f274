#pragma once
// What the application object reaches through interfaces: the configuration document, the
// device acquisition, the main window and the server objects of the OPC classes. The
// subsystems implement them; tests use doubles.
#include <cstdint>
#include <string>

namespace velk {

class BEvent;

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

// Starting and stopping every device's acquisition threads, in device-list order.
// Both are idempotent per device.
class IDeviceAcquisition {
  public:
    virtual ~IDeviceAcquisition() = default;
    virtual void StartAllDevices() = 0;
    virtual void StopAllDevices() = 0;
};

// The main window: hidden for embedded starts, drawn by the GUI when there is a display.
class IMainWindow {
  public:
    virtual ~IMainWindow() = default;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void BringToFront() = 0;
    virtual bool IsVisible() const = 0;
};

// A DA server object as the application sees it.
class IDAServerObject {
  public:
    virtual ~IDAServerObject() = default;
    // Asks the object's client to disconnect; 0 on success.
    virtual int RequestClientShutdown(const std::string& reason) = 0;
};

// An AE server object as the application sees it.
class IAEServerObject {
  public:
    virtual ~IAEServerObject() = default;
    virtual int RequestClientShutdown(const std::string& reason) = 0;
    // Takes one alarm record for the object's subscriptions (copies it; never keeps it).
    virtual void DistributeEvent(const BEvent& event) = 0;
};

// Where server objects announce themselves: each joins its list under ServerListLock and
// counts as a client until it leaves (the application object implements it).
class IServerObjectRegistry {
  public:
    virtual ~IServerObjectRegistry() = default;
    virtual void AddDAServer(IDAServerObject* server) = 0;
    virtual void RemoveDAServer(IDAServerObject* server) = 0;
    virtual void AddAEServer(IAEServerObject* server) = 0;
    virtual void RemoveAEServer(IAEServerObject* server) = 0;
};

// The module lock count of the object host: a lock per outstanding client reference; the
// application object keeps the count on its main loop (WM_MODULE_LOCK).
class IModuleLock {
  public:
    virtual ~IModuleLock() = default;
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

}  // namespace velk
