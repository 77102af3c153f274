// The table of velkopc-client's commands.
#include "tools/client/ae_commands.h"
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
    // The Alarms & Events commands.
    {"ae-space", "",
     "  the AE event space: categories, their conditions and subconditions, attributes",
     RunAeSpaceCommand},
    {"areas", "[--sources] [AREA]",
     "  the process areas (devices and their groups) below AREA (default the root) as a tree,\n"
     "  with --sources also the alarm sources of every area",
     RunAreasCommand},
    {"events",
     "[--category N]... [--severity LOW-HIGH] [--area PATTERN]... [--source PATTERN]... [--buffer "
     "MS] "
     "[--max N]",
     "  prints every alarm event that passes the filters: time, source, condition/subcondition,\n"
     "  severity, message, state (active/acked/enabled) and cookie; until SIGINT or SIGTERM or,\n"
     "  with --max, after N events. Areas and sources are patterns (*, ?, #); sources are\n"
     "  matched by the client. --buffer is the delivery period (default 1000 ms)",
     RunEventsCommand},
    {"refresh", "", "  the present conditions, one line each, then the end of the refresh",
     RunRefreshCommand},
    {"ack", "SOURCE CONDITION [--cookie N] [--comment TEXT] [--actor ID]",
     "  acknowledges the condition of the source (found among the present conditions, or named\n"
     "  by its cookie); the acknowledger is ID (default velkopc-client)",
     RunAckCommand},
};

}  // namespace

std::span<const ClientCommand> ClientCommands() { return kCommands; }

}  // namespace velk::client
