// browse: the server's address space, walked with ChangeBrowsePosition and
// BrowseOPCItemIDs, as a tree (branches end with "/", items show their item IDs) or as the
// flat list of item IDs.
#include <algorithm>
#include <ostream>

#include "tools/client/bus/bus_call_error.h"
#include "tools/client/bus/client_failure.h"
#include "tools/client/bus/da_server.h"
#include "tools/client/da_commands.h"

namespace velk::client {
namespace {

class AddressSpaceWalk {
  public:
    AddressSpaceWalk(DaServer& server, std::ostream& out, bool flat)
        : server_(server), out_(out), flat_(flat) {}

    // Prints the current position's branches (each followed by its own contents) and items.
    void Walk(int depth) {
        const std::vector<std::string> branches = server_.BrowseItemIds(OPC_BRANCH);
        const std::vector<std::string> leaves = server_.BrowseItemIds(OPC_LEAF);
        std::size_t width = 0;
        for (const std::string& leaf : leaves) width = std::max(width, leaf.size());
        for (const std::string& branch : branches) {
            if (!flat_) out_ << Indent(depth) << branch << "/\n";
            server_.ChangeBrowsePosition(OPC_BROWSE_DOWN, branch);
            Walk(depth + 1);
            server_.ChangeBrowsePosition(OPC_BROWSE_UP, "");
        }
        for (const std::string& leaf : leaves) {
            const std::string itemId = server_.GetItemId(leaf);
            if (flat_) {
                out_ << itemId << '\n';
            } else {
                out_ << Indent(depth) << leaf << std::string(width - leaf.size() + 2, ' ') << itemId
                     << '\n';
            }
            ++items_;
        }
    }
    std::size_t Items() const { return items_; }

  private:
    static std::string Indent(int depth) {
        return std::string(static_cast<std::size_t>(depth) * 2, ' ');
    }

    DaServer& server_;
    std::ostream& out_;
    bool flat_;
    std::size_t items_ = 0;
};

}  // namespace

int RunBrowseCommand(ClientContext& context, CommandArguments& args) {
    const bool flat = args.TakeFlag("--flat");
    RequireArguments(args, 0, 1);
    DaServer server(context.Session());
    int depth = 0;
    if (!args.Positional().empty()) {
        const std::string& branch = args.Positional().front();
        try {
            server.ChangeBrowsePosition(OPC_BROWSE_TO, branch);
        } catch (const BusCallError& error) {
            if (!error.Code()) throw;
            throw ClientFailure(kExitFailed,
                                "no branch " + branch + " in the address space: " + error.Reason());
        }
        if (!flat) context.Out() << branch << "/\n";
        depth = 1;
    }
    AddressSpaceWalk walk(server, context.Out(), flat);
    walk.Walk(depth);
    context.Out().flush();
    server.Release();
    return kExitOk;
}

}  // namespace velk::client
