#pragma once
// The server host of this program on the message bus: connects at start-up, serves the DA
// and AE classes on ComServerThread until its quit message, and writes or removes the bus
// activation files for "Register" and "Unregister".
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "app/opc_app.h"
#include "platform/dbus/bus_activation_files.h"
#include "platform/dbus/bus_host.h"

namespace velk {

inline constexpr const char* kDaBusName = "VELK.ModbusOPCServer";
inline constexpr const char* kDaFactoryPath = "/VELK/ModbusOPCServer";
inline constexpr const char* kAeBusName = "VELK.AlarmEventServer";
inline constexpr const char* kAeFactoryPath = "/VELK/AlarmEventServer";

// Posted to ComServerThread when the bus connection is lost.
inline constexpr std::uint32_t WM_BUS_CONNECTION_LOST = WM_USER + 110;

struct BusServerOptions {
    bool systemBus = false;  // "SystemBus"
    // Started by the bus ("Embedding" or "Automation"): the process holds one module lock of
    // its own until its first instance is created, the idle time has passed, or the bus is
    // lost, so that a start that no client follows up still ends ($VELKOPC_DBUS_IDLE_EXIT_MS).
    bool embedded = false;
    std::chrono::milliseconds idleExit{30000};
    bool serve = true;       // false for "Register" / "Unregister", which need no bus
    std::string executable;  // written into the activation files
    BusActivationPaths paths;
    // The bus that started this process ($DBUS_STARTER_ADDRESS with "Embedding"); it is
    // served instead of the default one.
    std::optional<std::string> starterAddress;
};

class BusServerHost final : public IComServerHost {
  public:
    // The classes are served under their own bus names; every one of them appears in the
    // activation files.
    BusServerHost(BusServerOptions options, IModuleLock& moduleLock,
                  std::vector<IBusClass*> classes);

    // Connects to the bus; false, with the reason on standard error and in the trace, when
    // there is none.
    bool Initialize() override;
    // Requests the class names, serves until the quit message, withdraws them. Returns 0,
    // or 1 when a class could not be served.
    int Run(MessageQueue& queue) override;
    bool Register(std::string& reason) override;
    bool Unregister(std::string& reason) override;

    BusHost& Host() { return host_; }

  private:
    // The module lock as the bus host takes it: the first instance's lock takes over from
    // the lock of the start.
    class ForwardingLock final : public IModuleLock {
      public:
        explicit ForwardingLock(IModuleLock& target) : target_(target) {}
        void Lock() override;
        void Unlock() override { target_.Unlock(); }
        void HoldStartLock();
        void ReleaseStartLock();

      private:
        IModuleLock& target_;
        std::atomic<bool> startLockHeld_{false};
    };

    BusTarget Target() const;
    std::vector<std::string> Names() const;

    BusServerOptions options_;
    std::vector<IBusClass*> classes_;
    ForwardingLock lock_;
    BusHost host_;
};

// Options from the command line and the environment of this process.
BusServerOptions BusServerOptionsFor(const CommandLine& commandLine, const std::string& executable);

}  // namespace velk
