#include "app/server/bus_server_host.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/trace_file.h"

namespace velk {
namespace {
void ReportProblem(const std::string& text) {
    std::fprintf(stderr, "velkopc: %s\n", text.c_str());
    Trace(text);
}
}  // namespace

void BusServerHost::ForwardingLock::Lock() {
    target_.Lock();
    ReleaseStartLock();  // after the new lock, so that the count never passes through zero
}

void BusServerHost::ForwardingLock::HoldStartLock() {
    target_.Lock();
    startLockHeld_ = true;
}

void BusServerHost::ForwardingLock::ReleaseStartLock() {
    if (startLockHeld_.exchange(false)) target_.Unlock();
}

BusServerHost::BusServerHost(BusServerOptions options, IModuleLock& moduleLock,
                             std::vector<IBusClass*> classes)
    : options_(std::move(options)),
      classes_(std::move(classes)),
      lock_(moduleLock),
      host_(lock_, [](const std::string& line) { Trace("Bus host: " + line); }) {}

BusTarget BusServerHost::Target() const {
    if (options_.starterAddress && !options_.starterAddress->empty())
        return BusTarget::At(*options_.starterAddress);
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
    ReportProblem(std::string("cannot connect to the ") +
                  (options_.systemBus ? "system" : "session") + " bus: " + reason);
    return false;
}

int BusServerHost::Run(MessageQueue& queue) {
    if (options_.embedded) lock_.HoldStartLock();
    host_.OnConnectionLost([&queue] { queue.Post(WM_BUS_CONNECTION_LOST); });
    int exitCode = 0;
    for (IBusClass* busClass : classes_) {
        std::string reason;
        if (!host_.AddClass(*busClass, reason)) {
            ReportProblem(reason);
            exitCode = 1;
        }
    }
    if (!host_.Start()) {
        ReportProblem("the bus host could not start its threads; no client can reach the server");
        exitCode = 1;
    }
    const auto idleEnd = std::chrono::steady_clock::now() + options_.idleExit;
    bool waitingForIdle = options_.embedded;
    while (true) {
        if (waitingForIdle) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= idleEnd) {
                lock_.ReleaseStartLock();
                waitingForIdle = false;
                continue;
            }
            if (!queue.WaitFor(
                    std::chrono::duration_cast<std::chrono::milliseconds>(idleEnd - now) +
                    std::chrono::milliseconds(1))) {
                continue;
            }
        }
        Message message;
        if (!queue.Get(message)) break;
        if (message.id == WM_BUS_CONNECTION_LOST) {
            ReportProblem("the bus connection was lost; no client can reach the server any more");
            lock_.ReleaseStartLock();
            waitingForIdle = false;
        }
    }
    host_.Stop();
    lock_.ReleaseStartLock();
    return exitCode;
}

bool BusServerHost::Register(std::string& reason) {
    std::vector<std::string> sinks;
    for (const IBusClass* busClass : classes_) {
        for (std::string& sink : busClass->SinkInterfaces()) {
            if (std::find(sinks.begin(), sinks.end(), sink) == sinks.end()) sinks.push_back(sink);
        }
    }
    return BusActivationFiles(options_.paths, Names(), sinks)
        .Install(options_.executable, options_.systemBus, reason);
}

bool BusServerHost::Unregister(std::string& reason) {
    return BusActivationFiles(options_.paths, Names()).Remove(options_.systemBus, reason);
}

BusServerOptions BusServerOptionsFor(const CommandLine& commandLine,
                                     const std::string& executable) {
    BusServerOptions options;
    options.systemBus = commandLine.systemBus;
    options.serve = commandLine.command != ShellCommand::Register &&
                    commandLine.command != ShellCommand::Unregister;
    options.executable = executable;
    options.paths = BusActivationPaths::FromEnvironment();
    if (!commandLine.Interactive()) {
        options.embedded = true;
        if (const char* starter = std::getenv("DBUS_STARTER_ADDRESS"))
            options.starterAddress = starter;
        if (const char* idle = std::getenv("VELKOPC_DBUS_IDLE_EXIT_MS")) {
            char* end = nullptr;
            const long long milliseconds = std::strtoll(idle, &end, 10);
            if (end != idle && *end == '\0' && milliseconds >= 0) {
                options.idleExit = std::chrono::milliseconds(milliseconds);
            }
        }
    }
    return options;
}

}  // namespace velk
