// refresh: the present conditions (tag conditions from the refresh, device conditions as
// they follow it), one line each, then the end of the refresh.
#include <ostream>

#include "tools/client/ae_commands.h"
#include "tools/client/ae_conditions.h"
#include "tools/client/ae_event_text.h"
#include "tools/client/bus/signal_watch.h"

namespace velk::client {

int RunRefreshCommand(ClientContext& context, CommandArguments& args) {
    RequireArguments(args, 0, 0);
    SignalWatch signals;
    AeServer server(context.Session());
    std::size_t count = 0;
    std::ostream& out = context.Out();
    const bool ended = CollectConditions(server, [&](const AeEvent& e) {
        out << EventLine(e) << '\n';
        ++count;
    });
    if (!ended) {
        context.Report("the refresh did not end");
        return kExitFailed;
    }
    out << "last refresh: " << count << " condition(s)" << std::endl;
    return kExitOk;
}

}  // namespace velk::client
