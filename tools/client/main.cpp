// velkopc-client: the OPC Data Access (and Alarms & Events) server VELK.ModbusOPCServer from
// the command line, over the message bus. See --help for the commands, messages and exit
// statuses.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "platform/version_option.h"
#include "tools/client/bus/bus_call_error.h"
#include "tools/client/bus/client_failure.h"
#include "tools/client/client_command.h"

namespace velk::client {
namespace {

constexpr const char* kHelpTail = R"(
Options (anywhere before "--"):
  --session         the session bus (default)
  --system          the system bus, for a server started with -SystemBus
  --address ADDR    the bus at ADDR, e.g. unix:path=/run/my-bus
  -h, --help        this text

Item IDs are device, group and tag names joined by ".", e.g. BoilerHouse.Level.
Result codes show with their name and number, e.g.
  OPC_E_UNKNOWNITEMID (0xC0040007): unknown item ID
  OPC_E_BADRIGHTS (0xC0040006): the item's access rights do not allow the operation

Messages (on standard error) and exit statuses:
  0  done
  1  the server refused the request or an item failed:
       velkopc-client: ITEM: <code>            (unknown item, bad rights, failed write)
       velkopc-client: bad value "V" for VT_..: <why>   (nothing is written)
       velkopc-client: <Interface>.<Method> failed: <code>
  2  wrong command line:  velkopc-client: <problem>; see velkopc-client --help
  3  no server:  velkopc-client: the server VELK.ModbusOPCServer is not running on the session bus
                 velkopc-client: cannot connect to the session bus: <reason>
                 velkopc-client: the server VELK.ModbusOPCServer has left the bus
)";

int Usage(std::ostream& out) {
    out << "usage: velkopc-client [options] COMMAND [arguments]\n\nCommands:\n";
    for (const ClientCommand& command : ClientCommands()) {
        out << "  " << command.name;
        if (!command.synopsis.empty()) out << ' ' << command.synopsis;
        out << '\n';
        // Help lines are written with two leading blanks; they show below the synopsis.
        std::string_view help = command.help;
        while (!help.empty()) {
            const std::size_t end = std::min(help.find('\n'), help.size());
            std::string_view line = help.substr(0, end);
            while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
            out << "      " << line << '\n';
            help.remove_prefix(std::min(end + 1, help.size()));
        }
    }
    out << kHelpTail;
    return kExitOk;
}

int UsageProblem(const std::string& problem) {
    std::cerr << "velkopc-client: " << problem << "; see velkopc-client --help" << std::endl;
    return kExitUsage;
}

int Main(int argc, char** argv) {
    if (IsVersionRequest(argc, argv)) return PrintVersion("velkopc-client");
    const Invocation invocation = ParseInvocation(std::vector<std::string>(argv + 1, argv + argc));
    if (!invocation.problem.empty()) return UsageProblem(invocation.problem);
    if (invocation.help || invocation.command == "help") return Usage(std::cout);
    if (invocation.command.empty()) return UsageProblem("no command given");
    for (const ClientCommand& command : ClientCommands()) {
        if (command.name != invocation.command) continue;
        ClientContext context(invocation.bus, std::cout, std::cerr);
        CommandArguments args(invocation.arguments);
        try {
            return command.run(context, args);
        } catch (const ClientFailure& failure) {
            if (failure.ExitStatus() == kExitUsage) {
                return UsageProblem(std::string(command.name) + ": " + failure.what());
            }
            context.Report(failure.what());
            return failure.ExitStatus();
        } catch (const BusCallError& error) {
            if (error.ServerMissing()) {
                context.Report("the server " + error.Destination() + " has left the bus");
                return kExitNoServer;
            }
            std::string text = error.Method() + " failed: " + error.Reason();
            if (!error.ServerDescription().empty()) text += " (" + error.ServerDescription() + ")";
            context.Report(text);
            return kExitFailed;
        } catch (const sdbus::Error& error) {
            context.Report("the bus failed: " + error.getName() + ": " + error.getMessage());
            return kExitNoServer;
        }
    }
    return UsageProblem("unknown command " + invocation.command);
}

}  // namespace
}  // namespace velk::client

int main(int argc, char** argv) { return velk::client::Main(argc, argv); }
