#include "app/server/bus_server_host.h"

#include <cstdio>
#include <cstdlib>

#include "app/trace_file.h"

namespace velk {
namespace {
void ReportProblem(const std::string& text) {
    std::fprintf(stderr, "velkopc: %s\n", text.c_str());
    Trace(text);
}
}  // namespace

BusServerHost::BusServerHost(BusServerOptions options, IModuleLock& moduleLock, std::vector<IBusClass*> classes)
    : options_(std::move(options)),
      classes_(std::move(classes)),
      host_(moduleLock, [](const std::string& line) { Trace("Bus host: " + line); }) {}

BusTarget BusServerHost::Target() const {
    if (options_.starterAddress && !options_.starterAddress->empty()) return BusTarget::At(*options_.starterAddress);
    return options_.systemBus ? BusTarget::System() : BusTarget::Session();
}

std::vector<std::string> BusServerHost::Names() const {
    std::vector<std::string> names;
    for (const IBusClass* busClass : classes_) names.push_back(busClass->BusName());
    return names;
}

bool BusServerHost::Initialize() {
    if (!options_.serve) return true;
    std::string reason;
    if (host_.Connect(Target(), reason)) return true;
    ReportProblem(std::string("cannot connect to the ") + (options_.systemBus ? "system" : "session") +
                  " bus: " + reason);
    return false;
}

int BusServerHost::Run(MessageQueue& queue) {
    int exitCode = 0;
    for (IBusClass* busClass : classes_) {
        std::string reason;
        if (!host_.AddClass(*busClass, reason)) {
            ReportProblem(reason);
            exitCode = 1;
        }
    }
    host_.Start();
    Message message;
    while (queue.Get(message)) {
    }
    host_.Stop();
    return exitCode;
}

bool BusServerHost::Register(std::string& reason) {
    return BusActivationFiles(options_.paths, Names()).Install(options_.executable, options_.systemBus, reason);
}

bool BusServerHost::Unregister(std::string& reason) {
    return BusActivationFiles(options_.paths, Names()).Remove(options_.systemBus, reason);
}

BusServerOptions BusServerOptionsFor(const CommandLine& commandLine, const std::string& executable) {
    BusServerOptions options;
    options.systemBus = commandLine.systemBus;
    options.serve = commandLine.command != ShellCommand::Register && commandLine.command != ShellCommand::Unregister;
    options.executable = executable;
    options.paths = BusActivationPaths::FromEnvironment();
    if (!commandLine.Interactive()) {
        if (const char* starter = std::getenv("DBUS_STARTER_ADDRESS")) options.starterAddress = starter;
    }
    return options;
}

}  // namespace velk
