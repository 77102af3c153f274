// status: the DA server's status record and address-space organisation.
#include <iomanip>
#include <ostream>

#include "tools/client/bus/da_server.h"
#include "tools/client/da_commands.h"
#include "tools/client/lib/time_text.h"

namespace velk::client {
namespace {

const char* StateText(std::uint32_t state) {
    switch (state) {
        case 1:
            return "running";
        case 2:
            return "failed";
        case 3:
            return "no configuration";
        case 4:
            return "suspended";
        case 5:
            return "test";
        default:
            return "unknown";
    }
}

}  // namespace

int RunStatusCommand(ClientContext& context, CommandArguments& args) {
    RequireArguments(args, 0, 0);
    DaServer server(context.Session());
    const ServerStatus status = server.GetStatus();
    const std::uint32_t organization = server.QueryOrganization();
    std::ostream& out = context.Out();
    auto line = [&](const char* label) -> std::ostream& {
        return out << std::left << std::setw(14) << label;
    };
    line("server") << kDaBusName << " on " << context.Session().Choice().Description() << '\n';
    line("instance") << server.InstancePath() << '\n';
    line("state") << StateText(status.serverState) << " (" << status.serverState << ")\n";
    line("vendor") << status.vendorInfo << '\n';
    line("version") << status.majorVersion << '.' << status.minorVersion << '.'
                    << status.buildNumber << '\n';
    line("start time") << FileTimeText(status.startTime) << '\n';
    line("current time") << FileTimeText(status.currentTime) << '\n';
    line("last update") << FileTimeText(status.lastUpdateTime) << '\n';
    line("groups") << status.groupCount << '\n';
    line("bandwidth") << status.bandWidth << '\n';
    line("address space") << (organization == 1   ? "hierarchical"
                              : organization == 2 ? "flat"
                                                  : "unknown")
                          << std::endl;
    server.Release();
    return kExitOk;
}

}  // namespace velk::client
