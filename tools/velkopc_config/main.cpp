// velkopc-config: works on ".vlk" configuration files from the command line.
//   new FILE          writes a new configuration (16 default ports, no devices)
//   dump FILE         prints the whole configuration tree
//   resave IN OUT     loads IN and saves it as OUT in the newest layout
// A failed load or save prints the user's message on stderr and exits with status 1.
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/c_doc.h"
#include "model/config_file_storage.h"
#include "platform/linux/posix_document_file_access.h"
#include "platform/linux/system_clock.h"
#include "tools/velkopc_config/config_dump.h"

namespace velk {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// What every subcommand works with: one document and its file storage.
struct ToolContext {
    SystemClock clock;
    PosixDocumentFileAccess files;
    ConfigFileStorage storage{files, &clock};
    CDoc document{CDocServices{}, ModelSettings{}};

    bool Load(const std::string& path) {
        std::string message;
        if (storage.Load(document, path, message)) return true;
        std::cerr << message << '\n';
        return false;
    }
    bool Save(const std::string& path) {
        std::string message;
        if (storage.Save(document, path, message)) return true;
        std::cerr << message << '\n';
        return false;
    }
};

struct Command {
    std::string_view name;
    std::string_view arguments;
    std::size_t argumentCount;
    int (*run)(ToolContext& context, const std::vector<std::string>& args);
};

int RunNew(ToolContext& c, const std::vector<std::string>& args) {
    c.document.ClearContents();
    c.document.AddDefaultPorts();
    return c.Save(args[0]) ? 0 : kExitFailure;
}

int RunDump(ToolContext& c, const std::vector<std::string>& args) {
    if (!c.Load(args[0])) return kExitFailure;
    std::cout << DumpConfiguration(c.document);
    return std::cout.good() ? 0 : kExitFailure;
}

int RunResave(ToolContext& c, const std::vector<std::string>& args) {
    return c.Load(args[0]) && c.Save(args[1]) ? 0 : kExitFailure;
}

// New subcommands join this table.
const Command kCommands[] = {
    {"new", "FILE", 1, RunNew},
    {"dump", "FILE", 1, RunDump},
    {"resave", "IN OUT", 2, RunResave},
};

int Usage() {
    std::cerr << "usage:\n";
    for (const Command& command : kCommands) {
        std::cerr << "  velkopc-config " << command.name << ' ' << command.arguments << '\n';
    }
    return kExitUsage;
}

int Main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string_view name = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const Command& command : kCommands) {
        if (command.name != name) continue;
        if (args.size() != command.argumentCount) return Usage();
        ToolContext context;
        return command.run(context, args);
    }
    return Usage();
}

}  // namespace
}  // namespace velk

int main(int argc, char** argv) { return velk::Main(argc, argv); }
