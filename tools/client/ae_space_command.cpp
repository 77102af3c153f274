// ae-space: the AE server's event space: categories with their conditions, subconditions
// and attributes.
#include <ostream>

#include "tools/client/ae_commands.h"
#include "tools/client/ae_server.h"
#include "tools/client/bus/bus_call_error.h"

namespace velk::client {
namespace {

const char* AttributeTypeName(std::uint16_t type) {
    switch (type) {
        case 3:
            return "int32";
        case 8:
            return "text";
        case 11:
            return "boolean";
        case 12:
            return "any";
        default:
            return "other";
    }
}

}  // namespace

int RunAeSpaceCommand(ClientContext& context, CommandArguments& args) {
    RequireArguments(args, 0, 0);
    AeServer server(context.Session());
    std::ostream& out = context.Out();
    for (const auto& [types, typeName] :
         {std::pair<std::uint32_t, const char*>{4, "condition"}, {1, "simple"}, {2, "tracking"}}) {
        for (const AeCategory& category : server.QueryEventCategories(types)) {
            out << "category " << category.id << "  " << category.description << "  (" << typeName
                << " events)\n";
            std::vector<std::string> conditions;
            if (types == 4) {
                try {
                    conditions = server.QueryConditionNames(category.id);
                } catch (const BusCallError&) {
                    // A condition category without conditions (no user conditions defined).
                }
            }
            for (const std::string& condition : conditions) {
                out << "  condition \"" << condition << "\":";
                for (const std::string& sub : server.QuerySubConditionNames(condition))
                    out << " \"" << sub << "\"";
                out << '\n';
            }
            for (const AeAttribute& a : server.QueryEventAttributes(category.id))
                out << "  attribute " << a.id << "  " << a.description << "  ("
                    << AttributeTypeName(a.type) << ")\n";
        }
    }
    out.flush();
    return kExitOk;
}

}  // namespace velk::client
