// ack: acknowledges the condition of a source. Without --cookie the condition is looked up
// among the present ones (a refresh); with it, the cookie names the condition directly.
#include <cctype>
#include <ostream>

#include "tools/client/ae_commands.h"
#include "tools/client/ae_conditions.h"
#include "tools/client/bus/client_failure.h"
#include "tools/client/bus/signal_watch.h"

namespace velk::client {
namespace {

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

int RunAckCommand(ClientContext& context, CommandArguments& args) {
    const std::optional<std::uint32_t> cookie = args.TakeNumber("--cookie", 0, 0xFFFFFFFFu);
    const std::string comment = args.TakeOption("--comment").value_or("");
    const std::string actor = args.TakeOption("--actor").value_or("velkopc-client");
    RequireArguments(args, 2, 2);
    const std::string& source = args.Positional()[0];
    const std::string& condition = args.Positional()[1];

    SignalWatch signals;
    AeServer server(context.Session());
    AeAckEntry entry{source, condition, 0, cookie.value_or(0)};
    if (!cookie) {
        bool found = false;
        if (!CollectConditions(server, [&](const AeEvent& e) {
                if (found || !SameText(e.source, source) || e.condition != condition) return;
                entry = {e.source, e.condition, e.activeTime, e.cookie};
                found = true;
            }))
            throw ClientFailure(kExitFailed, "the refresh did not end");
        if (!found)
            throw ClientFailure(kExitFailed,
                                "no present condition \"" + condition + "\" of " + source);
    }
    const std::vector<std::int32_t> errors = server.AckCondition(actor, comment, {entry});
    if (errors.empty() || errors[0] < 0) {
        context.ReportFailure("acknowledging " + source + " " + condition,
                              errors.empty() ? static_cast<ResultCode>(0x80004005u)
                                             : static_cast<ResultCode>(errors[0]));
        return kExitFailed;
    }
    context.Out() << "acknowledged " << entry.source << "  " << entry.condition << "  cookie "
                  << entry.cookie << std::endl;
    return kExitOk;
}

}  // namespace velk::client
