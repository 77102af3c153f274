#pragma once
// One velkopc-config subcommand: its name, its arguments and the function that runs it.
// A new subcommand is a function in a file of its own and one line in the table of main.cpp.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velk {

struct ToolContext;

struct ToolCommand {
    std::string_view name;
    std::string_view arguments;  // shown in the usage text
    std::size_t argumentCount;
    // Returns the exit status.
    int (*run)(ToolContext& context, const std::vector<std::string>& args);
    // Commands with options take up to this many (0: exactly argumentCount).
    std::size_t maxArgumentCount = 0;
};

// The file subcommands: new FILE, dump FILE, resave IN OUT.
int RunNewCommand(ToolContext& context, const std::vector<std::string>& args);
int RunDumpCommand(ToolContext& context, const std::vector<std::string>& args);
int RunResaveCommand(ToolContext& context, const std::vector<std::string>& args);

}  // namespace velk
