// events: a subscription with the given filters whose events print one line each until
// SIGINT or SIGTERM, or until --max events. Source patterns are matched here, since the
// server filters by event type, category, severity and area only.
#include <csignal>
#include <optional>
#include <ostream>

#include "tools/client/ae_commands.h"
#include "tools/client/ae_event_sink.h"
#include "tools/client/ae_event_text.h"
#include "tools/client/ae_server.h"
#include "tools/client/bus/client_failure.h"
#include "tools/client/bus/da_sinks.h"
#include "tools/client/bus/signal_watch.h"

namespace velk::client {
namespace {

// "LOW-HIGH" within 1..1000.
std::pair<std::uint32_t, std::uint32_t> SeverityRange(const std::string& text) {
    const auto dash = text.find('-');
    try {
        if (dash != std::string::npos && dash > 0 && dash + 1 < text.size()) {
            std::size_t used = 0;
            const unsigned long low = std::stoul(text.substr(0, dash), &used);
            if (used == dash) {
                const std::string rest = text.substr(dash + 1);
                const unsigned long high = std::stoul(rest, &used);
                if (used == rest.size() && low >= 1 && high <= 1000 && low <= high)
                    return {static_cast<std::uint32_t>(low), static_cast<std::uint32_t>(high)};
            }
        }
    } catch (const std::exception&) {
    }
    throw ClientFailure(kExitUsage,
                        "--severity wants LOW-HIGH within 1-1000, not \"" + text + "\"");
}

}  // namespace

int RunEventsCommand(ClientContext& context, CommandArguments& args) {
    std::vector<std::uint32_t> categories;
    for (const std::string& c : args.TakeRepeatedOption("--category")) {
        try {
            std::size_t used = 0;
            const unsigned long id = std::stoul(c, &used);
            if (used != c.size() || id > 0xFFFFFFFFul) throw std::invalid_argument(c);
            categories.push_back(static_cast<std::uint32_t>(id));
        } catch (const std::exception&) {
            throw ClientFailure(kExitUsage, "--category wants a category ID, not \"" + c + "\"");
        }
    }
    std::pair<std::uint32_t, std::uint32_t> severity{1, 1000};
    if (auto s = args.TakeOption("--severity")) severity = SeverityRange(*s);
    const std::vector<std::string> areas = args.TakeRepeatedOption("--area");
    const std::vector<std::string> sources = args.TakeRepeatedOption("--source");
    const std::uint32_t buffer = args.TakeNumber("--buffer", 0, 3600u * 1000u).value_or(1000);
    const std::optional<std::uint32_t> max = args.TakeNumber("--max", 1, 0xFFFFFFFFu);
    RequireArguments(args, 0, 0);

    SignalWatch signals;
    BusSession& session = context.Session();
    AeServer server(session);
    bool serverGone = false;
    session.WatchName(kAeBusName, [&] {
        serverGone = true;
        session.Stop();
    });
    ShutdownSink shutdownSink(session, [&](const std::string& reason) {
        context.Report("the server asks its clients to disconnect" +
                       (reason.empty() ? "" : ": " + reason));
        session.Stop();
    });
    const std::uint32_t shutdownCookie =
        server.Object().Advise(kShutdownInterface, shutdownSink.Path());

    AeSubscriptionCreated created = server.CreateEventSubscription(true, buffer, 1024, 1);
    AeSubscription& subscription = *created.subscription;
    subscription.SetFilter(4, categories, severity.first, severity.second, areas);
    std::uint32_t printed = 0;
    std::ostream& out = context.Out();
    AeEventSink sink(session, [&](const AeEventCall& call) {
        for (const AeEvent& e : call.events) {
            if (max && printed >= *max) break;
            if (!sources.empty()) {
                bool any = false;
                for (const std::string& p : sources) any = any || SourceMatches(e.source, p);
                if (!any) continue;
            }
            out << EventLine(e) << '\n';
            ++printed;
        }
        out.flush();
        if (max && printed >= *max) session.Stop();
    });
    const std::uint32_t cookie = subscription.Advise(kEventSinkInterface, sink.Path());
    out << "subscribed with buffer time " << created.revisedBufferTime << " ms; Ctrl+C stops"
        << std::endl;

    const int signal = session.Run();
    if (serverGone) {
        subscription.Abandon();
        server.Object().Abandon();
        context.Report(std::string("the server ") + kAeBusName + " has left the bus");
        return kExitNoServer;
    }
    subscription.Unadvise(kEventSinkInterface, cookie);
    subscription.Release();
    server.Object().Unadvise(kShutdownInterface, shutdownCookie);
    server.Object().Release();
    out << "stopped"
        << (signal ? " on " + std::string(signal == SIGINT ? "SIGINT" : "SIGTERM") : std::string())
        << " after " << printed << " event(s)" << std::endl;
    return kExitOk;
}

}  // namespace velk::client
