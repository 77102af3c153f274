// velkopc-config: works on ".vlk" configuration files from the command line.
//   new FILE          writes a new configuration (16 default ports, no devices)
//   dump FILE         prints the whole configuration tree
//   resave IN OUT     loads IN and saves it as OUT in the newest layout
//   export-csv, import-csv, import-res: CSV tag lists and RES listings (csv_commands.h)
//   ua-user add|remove|list: the OPC UA users of the machine settings (ua_user_commands.h)
// A failed load or save prints the user's message on stderr and exits with status 1; a
// wrong command line prints the usage and exits with status 2.
#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/version_option.h"
#include "tools/velkopc_config/csv_commands.h"
#include "tools/velkopc_config/tool_command.h"
#include "tools/velkopc_config/tool_context.h"
#include "tools/velkopc_config/ua_user_commands.h"

namespace velk {
namespace {

// New subcommands join this table.
const ToolCommand kCommands[] = {
    {"new", "FILE", 1, RunNewCommand},
    {"dump", "FILE", 1, RunDumpCommand},
    {"resave", "IN OUT", 2, RunResaveCommand},
    {"export-csv", "FILE.vlk OUT.csv [--format 1..4]", 2, RunExportCsvCommand, 4},
    {"import-csv", "FILE.vlk IN.csv [--update]", 2, RunImportCsvCommand, 3},
    {"import-res", "FILE.vlk IN.txt [--update]", 2, RunImportResCommand, 3},
    {"ua-user", "add NAME ROLE [--password-stdin] | remove NAME | list", 1, RunUaUserCommand, 4},
};

int Usage() {
    std::cerr << "usage:\n";
    for (const ToolCommand& command : kCommands) {
        std::cerr << "  velkopc-config " << command.name << ' ' << command.arguments << '\n';
    }
    return kExitUsage;
}

int Main(int argc, char** argv) {
    if (IsVersionRequest(argc, argv)) return PrintVersion("velkopc-config");
    if (argc < 2) return Usage();
    const std::string_view name = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const ToolCommand& command : kCommands) {
        if (command.name != name) continue;
        const std::size_t most = std::max(command.argumentCount, command.maxArgumentCount);
        if (args.size() < command.argumentCount || args.size() > most) return Usage();
        ToolContext context;
        return command.run(context, args);
    }
    return Usage();
}

}  // namespace
}  // namespace velk

int main(int argc, char** argv) { return velk::Main(argc, argv); }
