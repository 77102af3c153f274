// devices: the Device Monitor data of the running server, per device: the active channel,
// the two channel names and the counters with their totals.
#include <iomanip>
#include <ostream>

#include "tools/client/bus/da_server.h"
#include "tools/client/da_commands.h"

namespace velk::client {

int RunDevicesCommand(ClientContext& context, CommandArguments& args) {
    RequireArguments(args, 0, 0);
    DaServer server(context.Session());
    const std::vector<DeviceMonitorEntry> devices = server.GetDeviceMonitor();
    std::ostream& out = context.Out();
    if (devices.empty()) out << "no device is running\n";
    for (const DeviceMonitorEntry& device : devices) {
        out << device.device << '\n';
        out << "  active channel     " << (device.secondaryActive ? "secondary" : "primary")
            << '\n';
        out << "  primary channel    " << device.primaryName << '\n';
        out << "  secondary channel  " << device.secondaryName << '\n';
        out << "  " << std::left << std::setw(20) << "" << std::right << std::setw(10) << "total"
            << std::setw(10) << "primary" << std::setw(10) << "secondary" << '\n';
        for (const DeviceMonitorRow& row : device.rows) {
            out << "  " << std::left << std::setw(20) << row.label << std::right << std::setw(10)
                << row.total;
            if (!row.totalOnly)
                out << std::setw(10) << row.primary << std::setw(10) << row.secondary;
            out << '\n';
        }
    }
    out.flush();
    server.Release();
    return kExitOk;
}

}  // namespace velk::client
