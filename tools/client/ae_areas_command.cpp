// areas: the process area space as a tree, from the root or from an area path; with
// --sources also the alarm sources of every area, by their qualified names.
#include <ostream>
#include <string>

#include "tools/client/ae_commands.h"
#include "tools/client/ae_server.h"

namespace velk::client {
namespace {

constexpr std::uint32_t kOpcArea = 1;
constexpr std::uint32_t kOpcSource = 2;
constexpr std::uint32_t kBrowseUp = 1;
constexpr std::uint32_t kBrowseDown = 2;
constexpr std::uint32_t kBrowseTo = 3;

void PrintSources(AeAreaBrowser& browser, std::ostream& out, const std::string& indent) {
    for (const std::string& source : browser.Browse(kOpcSource, "")) {
        const std::string qualified = browser.QualifiedSourceName(source);
        out << indent << "source " << source;
        if (qualified != source) out << "  (" << qualified << ")";
        out << '\n';
    }
}

void PrintAreas(AeAreaBrowser& browser, std::ostream& out, bool sources,
                const std::string& indent) {
    for (const std::string& area : browser.Browse(kOpcArea, "")) {
        out << indent << area << "  (" << browser.QualifiedAreaName(area) << ")\n";
        browser.ChangeBrowsePosition(kBrowseDown, area);
        if (sources) PrintSources(browser, out, indent + "  ");
        PrintAreas(browser, out, sources, indent + "  ");
        browser.ChangeBrowsePosition(kBrowseUp, "");
    }
}

}  // namespace

int RunAreasCommand(ClientContext& context, CommandArguments& args) {
    const bool sources = args.TakeFlag("--sources");
    RequireArguments(args, 0, 1);
    AeServer server(context.Session());
    std::unique_ptr<AeAreaBrowser> browser = server.CreateAreaBrowser();
    std::string indent;
    if (!args.Positional().empty()) {
        browser->ChangeBrowsePosition(kBrowseTo, args.Positional()[0]);
        context.Out() << browser->QualifiedAreaName("") << '\n';
        if (sources) PrintSources(*browser, context.Out(), "  ");
        indent = "  ";
    }
    PrintAreas(*browser, context.Out(), sources, indent);
    context.Out().flush();
    return kExitOk;
}

}  // namespace velk::client
