// A server program for the activation tests: the bus wiring of velkopc with the test class
// in the DA class's place. It registers like velkopc, and when the bus starts it with
// "Embedding" it ends by itself once its last instance is released.
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/server/bus_server_host.h"
#include "platform/linux/process_info.h"
#include "platform/message_queue.h"
#include "tests/platform/dbus/test_counter_class.h"

namespace {

// The module lock count as the application object keeps it: an embedded process ends when
// the count returns to zero.
class EmbeddedModuleLock final : public velk::IModuleLock {
  public:
    EmbeddedModuleLock(velk::MessageQueue& queue, bool embedded)
        : queue_(queue), embedded_(embedded) {}
    void Lock() override { ++count_; }
    void Unlock() override {
        if (--count_ == 0 && embedded_) queue_.PostQuit();
    }

  private:
    velk::MessageQueue& queue_;
    bool embedded_;
    std::atomic<int> count_{0};
};

}  // namespace

int main(int argc, char** argv) {
    using namespace velk;
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const CommandLine commandLine = ParseCommandLine(arguments);
    MessageQueue queue;
    EmbeddedModuleLock lock(queue, !commandLine.Interactive());
    testing::TestCounterClass counter(kDaBusName, kDaFactoryPath, arguments);
    BusServerHost host(BusServerOptionsFor(commandLine, ExecutablePath()), lock, {&counter});

    std::string reason;
    if (commandLine.command == ShellCommand::Register ||
        commandLine.command == ShellCommand::Unregister) {
        const bool ok = commandLine.command == ShellCommand::Register ? host.Register(reason)
                                                                      : host.Unregister(reason);
        if (!ok) std::fprintf(stderr, "%s\n", reason.c_str());
        return ok ? 0 : 1;
    }
    if (!host.Initialize()) return 2;
    return host.Run(queue);
}
