// The table of velkopc-client's commands.
#include "tools/client/client_command.h"
#include "tools/client/da_commands.h"

namespace velk::client {
namespace {

const ClientCommand kCommands[] = {
    {"status", "",
     "  the DA server's status: state, vendor, version, start and current time, groups",
     RunStatusCommand},
    {"browse", "[--flat] [BRANCH]",
     "  the address space below BRANCH (a path such as Device.Group; default the root) as a tree\n"
     "  with the item ID of every item; --flat prints only the item IDs, one per line",
     RunBrowseCommand},
    {"properties", "ITEM",
     "  every property of the item with its value (reads the item from its device)",
     RunPropertiesCommand},
    {"read", "[--device] ITEM...",
     "  value, quality and time stamp of each item, from the server's cache or, with --device,\n"
     "  read from the device now",
     RunReadCommand},
    {"write", "ITEM VALUE",
     "  writes the value to the item's device, converted to the item's canonical type\n"
     "  (booleans: true/false, 1/0, on/off; whole numbers also as 0x hex)",
     RunWriteCommand},
    {"subscribe", "[--rate MS] [--count N] ITEM...",
     "  prints every data change of the items at the update rate (default 1000 ms): local\n"
     "  time, item, value, quality, time stamp; until SIGINT or SIGTERM (Ctrl+C) or, with\n"
     "  --count, after N data change notifications; then removes its group and releases\n"
     "  the server",
     RunSubscribeCommand},
    {"devices", "", "  the Device Monitor of every device: active channel, channel names, counters",
     RunDevicesCommand},
    // The Alarms & Events commands join here.
};

}  // namespace

std::span<const ClientCommand> ClientCommands() { return kCommands; }

}  // namespace velk::client
