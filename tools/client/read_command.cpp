// read: the items' states through a group of the client's own, from the cache or the
// device: one line per item with value, quality and time stamp.
#include <iomanip>
#include <ostream>

#include "tools/client/bus/da_group.h"
#include "tools/client/da_commands.h"
#include "tools/client/item_list.h"
#include "tools/client/lib/quality_text.h"
#include "tools/client/lib/time_text.h"
#include "tools/client/lib/value_text.h"

namespace velk::client {

int RunReadCommand(ClientContext& context, CommandArguments& args) {
    const bool device = args.TakeFlag("--device");
    RequireArguments(args, 1, 10000);
    DaServer server(context.Session());
    // Active, so that the cache holds what the server last read; the long rate keeps the
    // group's own polling from mattering.
    DaGroup group(server, true, 60000);
    ItemList items(context, group, args.Positional());
    bool failed = items.AnyFailed();
    if (!items.Added().empty()) {
        const ReadOutcome outcome =
            group.Read(device ? OPC_DS_DEVICE : OPC_DS_CACHE, items.ServerHandles());
        for (std::size_t i = 0; i < items.Added().size(); ++i) {
            const ListedItem& item = items.Added()[i];
            const ResultCode error = i < outcome.errors.size() ? outcome.errors[i] : 0;
            if (error < 0 || i >= outcome.states.size()) {
                context.ReportFailure(item.itemId, error);
                failed = true;
                continue;
            }
            const ItemState& state = outcome.states[i];
            context.Out() << std::left << std::setw(static_cast<int>(items.Width())) << item.itemId
                          << "  " << std::setw(10) << ValueText(state.value) << "  "
                          << QualityText(state.quality) << "  " << FileTimeText(state.timestamp)
                          << '\n';
        }
    }
    context.Out().flush();
    group.Close();
    server.Release();
    return failed ? kExitFailed : kExitOk;
}

}  // namespace velk::client
