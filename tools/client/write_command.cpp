// write: one value to one item, converted here to the item's canonical type, so that a
// value that does not fit is refused before anything reaches the device.
#include <ostream>

#include "tools/client/bus/client_failure.h"
#include "tools/client/bus/da_group.h"
#include "tools/client/da_commands.h"
#include "tools/client/item_list.h"
#include "tools/client/lib/value_text.h"

namespace velk::client {

int RunWriteCommand(ClientContext& context, CommandArguments& args) {
    RequireArguments(args, 2, 2);
    const std::string& itemId = args.Positional()[0];
    const std::string& text = args.Positional()[1];
    DaServer server(context.Session());
    DaGroup group(server, false, 60000);
    ItemList items(context, group, {itemId});
    if (items.Added().empty()) return kExitFailed;
    const ListedItem& item = items.Added().front();
    const ParsedValue parsed = ParseValue(text, item.result.canonicalType);
    if (!parsed.ok) throw ClientFailure(kExitFailed, parsed.problem);
    const WriteOutcome outcome = group.Write({item.result.serverHandle}, {parsed.value});
    const ResultCode error = outcome.errors.empty() ? outcome.result : outcome.errors.front();
    group.Close();
    server.Release();
    if (error < 0) {
        context.ReportFailure(itemId, error);
        return kExitFailed;
    }
    context.Out() << itemId << " = " << ValueText(parsed.value) << " ("
                  << TypeName(parsed.value.Type()) << ") written" << std::endl;
    return kExitOk;
}

}  // namespace velk::client
