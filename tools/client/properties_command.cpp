// properties: every property that the server lists for the item, with its value, read with
// one GetItemProperties call (which reads the item from its device).
#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <ostream>

#include "tools/client/bus/bus_call_error.h"
#include "tools/client/bus/da_server.h"
#include "tools/client/da_commands.h"
#include "tools/client/item_list.h"
#include "tools/client/lib/quality_text.h"
#include "tools/client/lib/value_text.h"

namespace velk::client {
namespace {

// Property IDs whose values read better as words than as numbers.
constexpr std::uint32_t kCanonicalType = 1;
constexpr std::uint32_t kQuality = 3;
constexpr std::uint32_t kAccessRights = 5;

std::string PropertyText(std::uint32_t id, const ClientValue& value) {
    const std::int64_t number = value.AsSigned() ? *value.AsSigned()
                                : value.AsUnsigned()
                                    ? static_cast<std::int64_t>(*value.AsUnsigned())
                                    : -1;
    if (number >= 0) {
        if (id == kCanonicalType) return TypeName(static_cast<VarType>(number));
        if (id == kQuality) {
            char hex[16];
            std::snprintf(hex, sizeof hex, " (0x%04X)", static_cast<unsigned>(number) & 0xFFFFu);
            return QualityText(static_cast<std::uint16_t>(number)) + hex;
        }
        if (id == kAccessRights) return AccessRightsText(static_cast<std::uint32_t>(number));
    }
    return ValueText(value);
}

}  // namespace

int RunPropertiesCommand(ClientContext& context, CommandArguments& args) {
    RequireArguments(args, 1, 1);
    const std::string& itemId = args.Positional().front();
    DaServer server(context.Session());
    std::vector<PropertyInfo> properties;
    std::vector<PropertyValue> values;
    try {
        properties = server.QueryAvailableProperties(itemId);
    } catch (const BusCallError& error) {
        // The item's own failure (unknown item) reads as for the other item commands.
        if (!error.Code()) throw;
        context.ReportFailure(itemId, *error.Code());
        return kExitFailed;
    }
    std::vector<std::uint32_t> ids;
    std::size_t width = 0;
    for (const PropertyInfo& property : properties) {
        ids.push_back(property.id);
        width = std::max(width, property.description.size());
    }
    try {
        values = server.GetItemProperties(itemId, ids);
    } catch (const BusCallError& error) {
        // A tag that cannot be read from its device (write-only) is unknown to this call.
        if (!error.Code()) throw;
        context.ReportFailure(itemId, *error.Code());
        return kExitFailed;
    }
    std::ostream& out = context.Out();
    out << itemId << '\n';
    for (std::size_t i = 0; i < properties.size(); ++i) {
        const PropertyInfo& property = properties[i];
        out << std::right << std::setw(6) << property.id << "  " << std::left
            << std::setw(static_cast<int>(width)) << property.description << "  ";
        if (i >= values.size()) {
            out << "(no value)\n";
        } else if (values[i].error < 0) {
            out << DescribeResult(values[i].error) << '\n';
        } else {
            out << PropertyText(property.id, values[i].value) << '\n';
        }
    }
    out.flush();
    server.Release();
    return kExitOk;
}

}  // namespace velk::client
