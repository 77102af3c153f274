// subscribe: a group at the given rate whose data changes come to a data callback sink on
// this client's connection; every change prints one line per item. SIGINT and SIGTERM end
// it through the same clean-up as --count: unadvise, remove the group, release the server.
#include <iomanip>
#include <optional>
#include <ostream>

#include "tools/client/bus/bus_call_error.h"
#include "tools/client/bus/da_group.h"
#include "tools/client/bus/da_sinks.h"
#include "tools/client/bus/signal_watch.h"
#include "tools/client/da_commands.h"
#include "tools/client/item_list.h"
#include "tools/client/lib/quality_text.h"
#include "tools/client/lib/time_text.h"
#include "tools/client/lib/value_text.h"

namespace velk::client {

int RunSubscribeCommand(ClientContext& context, CommandArguments& args) {
    const std::uint32_t rate = args.TakeNumber("--rate", 1, 24u * 3600u * 1000u).value_or(1000);
    const std::optional<std::uint32_t> count = args.TakeNumber("--count", 1, 0xFFFFFFFFu);
    RequireArguments(args, 1, 10000);
    // From here on the signals wait for the loop, so that the clean-up always runs.
    SignalWatch signals;
    BusSession& session = context.Session();
    DaServer server(session);
    bool serverGone = false;
    session.WatchName(kDaBusName, [&] {
        serverGone = true;
        session.Stop();
    });
    bool shutdownRequested = false;
    ShutdownSink shutdownSink(session, [&](const std::string& reason) {
        context.Report("the server asks its clients to disconnect" +
                       (reason.empty() ? "" : ": " + reason));
        shutdownRequested = true;
        session.Stop();
    });
    const std::uint32_t shutdownCookie = server.Advise(kShutdownInterface, shutdownSink.Path());

    DaGroup group(server, true, rate);
    std::uint32_t changes = 0;
    const ItemList* listed = nullptr;
    std::ostream& out = context.Out();
    DataCallbackSink sink(session, [&](const DataChange& change) {
        if (!listed) return;
        for (const ItemChange& item : change.items) {
            const ListedItem* known = listed->ByClientHandle(item.clientHandle);
            const std::string itemId =
                known ? known->itemId : "#" + std::to_string(item.clientHandle);
            out << LocalNowText() << "  " << std::left
                << std::setw(static_cast<int>(listed->Width())) << itemId << "  " << std::setw(10)
                << ValueText(item.value) << "  " << QualityText(item.quality) << "  "
                << FileTimeText(item.timestamp);
            if (item.error < 0) out << "  " << DescribeResult(item.error);
            out << '\n';
        }
        out.flush();
        if (change.items.empty()) return;
        ++changes;
        if (count && changes >= *count) session.Stop();
    });
    const std::uint32_t cookie = group.Advise(kDataCallbackInterface, sink.Path());
    ItemList items(context, group, args.Positional());
    listed = &items;
    if (items.Added().empty()) return kExitFailed;
    out << "subscribed to " << items.Added().size() << " item(s) at "
        << group.Created().revisedUpdateRate << " ms; Ctrl+C stops" << std::endl;

    const int signal = session.Run();
    if (serverGone) {
        group.Abandon();
        server.Abandon();
        context.Report(std::string("the server ") + kDaBusName + " has left the bus");
        return kExitNoServer;
    }
    if (shutdownRequested) {
        // The server is stopping: it may refuse the clean-up calls, and takes the objects
        // with it anyway.
        try {
            group.Close();
            server.Release();
        } catch (const BusCallError&) {
            group.Abandon();
            server.Abandon();
        }
        return kExitNoServer;
    }
    group.Unadvise(kDataCallbackInterface, cookie);
    group.Close();
    server.Unadvise(kShutdownInterface, shutdownCookie);
    server.Release();
    out << "stopped"
        << (signal ? " on " + std::string(signal == SIGINT ? "SIGINT" : "SIGTERM") : std::string())
        << " after " << changes << " data change(s); group removed, server released" << std::endl;
    return items.AnyFailed() ? kExitFailed : kExitOk;
}

}  // namespace velk::client
