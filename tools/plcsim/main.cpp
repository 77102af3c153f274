// velkopc-plcsim: a simulated safety controller for tests and demonstrations.
#include <csignal>
#include <cstdio>
#include <string>

#include "platform/version_option.h"
#include "tools/plcsim/plc_simulator.h"
#include "tools/plcsim/simulator_options.h"

namespace {

void OnSignal(int) { velk::plcsim::PlcSimulator::RequestQuit(); }

}  // namespace

int main(int argc, char** argv) {
    if (velk::IsVersionRequest(argc, argv)) return velk::PrintVersion("velkopc-plcsim");
    velk::plcsim::SimulatorOptions options;
    std::string error;
    if (!velk::plcsim::ParseOptions(argc, argv, options, error)) {
        if (error == "help") {
            std::fputs(velk::plcsim::Usage().c_str(), stdout);
            return 0;
        }
        std::fprintf(stderr, "velkopc-plcsim: %s\n%s", error.c_str(),
                     velk::plcsim::Usage().c_str());
        return 2;
    }
    velk::plcsim::PlcSimulator simulator(options);
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "velkopc-plcsim: %s\n", error.c_str());
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    return simulator.Run();
}
