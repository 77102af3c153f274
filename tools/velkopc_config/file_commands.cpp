// The subcommands on whole configuration files.
#include <iostream>

#include "tools/velkopc_config/config_dump.h"
#include "tools/velkopc_config/tool_command.h"
#include "tools/velkopc_config/tool_context.h"

namespace velk {

int RunNewCommand(ToolContext& c, const std::vector<std::string>& args) {
    c.document.ClearContents();
    c.document.AddDefaultPorts();
    return c.Save(args[0]) ? 0 : kExitFailure;
}

int RunDumpCommand(ToolContext& c, const std::vector<std::string>& args) {
    if (!c.Load(args[0])) return kExitFailure;
    std::cout << DumpConfiguration(c.document);
    std::cout.flush();
    return std::cout.good() ? 0 : kExitFailure;
}

int RunResaveCommand(ToolContext& c, const std::vector<std::string>& args) {
    return c.Load(args[0]) && c.Save(args[1]) ? 0 : kExitFailure;
}

}  // namespace velk
