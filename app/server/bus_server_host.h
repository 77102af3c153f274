#pragma once
// The server host of this program on the message bus: connects at start-up, serves the DA
// and AE classes on ComServerThread until its quit message, and writes or removes the bus
// activation files for "Register" and "Unregister".
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

struct BusServerOptions {
    bool systemBus = false;   // "SystemBus"
    bool serve = true;        // false for "Register" / "Unregister", which need no bus
    std::string executable;   // written into the activation files
    BusActivationPaths paths;
    // The bus that started this process ($DBUS_STARTER_ADDRESS with "Embedding"); it is
    // served instead of the default one.
    std::optional<std::string> starterAddress;
};

class BusServerHost final : public IComServerHost {
public:
    // The classes are served under their own bus names; every one of them appears in the
    // activation files.
    BusServerHost(BusServerOptions options, IModuleLock& moduleLock, std::vector<IBusClass*> classes);

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
    BusTarget Target() const;
    std::vector<std::string> Names() const;

    BusServerOptions options_;
    std::vector<IBusClass*> classes_;
    BusHost host_;
};

// Options from the command line and the environment of this process.
BusServerOptions BusServerOptionsFor(const CommandLine& commandLine, const std::string& executable);

}  // namespace velk
