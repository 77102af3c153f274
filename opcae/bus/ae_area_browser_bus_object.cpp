#include "opcae/bus/ae_area_browser_bus_object.h"

#include "opc/bus/argument_limits.h"
#include "opcae/b_enum_event_area.h"
#include "opcae/bus/ae_bus_names.h"
#include "platform/dbus/bus_call_arguments.h"

namespace velk {

AeAreaBrowserBusObject::AeAreaBrowserBusObject(std::unique_ptr<OPCEventAreaBrowser> browser)
    : browser_(std::move(browser)) {}

std::vector<BusInterface> AeAreaBrowserBusObject::Interfaces() {
    return WithArgumentLimits(
        {{kIOPCEventAreaBrowser,
          {{"ChangeBrowsePosition",
            "us",
            {"direction", "text"},
            "",
            {},
            [this](BusCall& c) {
                return ReplyOf(
                    browser_->ChangeBrowsePosition(UInt32Arg(c, 0), TextArg(c, 1).c_str()));
            }},
           {"BrowseOPCAreas",
            "us",
            {"browseType", "filter"},
            "ias",
            {"hresult", "names"},
            [this](BusCall& c) { return BrowseOPCAreas(c); }},
           {"GetQualifiedAreaName",
            "s",
            {"area"},
            "s",
            {"qualified"},
            [this](BusCall& c) {
                return Qualified(c, &OPCEventAreaBrowser::GetQualifiedAreaName);
            }},
           {"GetQualifiedSourceName", "s", {"source"}, "s", {"qualified"}, [this](BusCall& c) {
                return Qualified(c, &OPCEventAreaBrowser::GetQualifiedSourceName);
            }}}}});
}

BusReply AeAreaBrowserBusObject::BrowseOPCAreas(BusCall& call) {
    std::unique_ptr<BEnumEventArea> enumerator;
    const HRESULT r =
        browser_->BrowseOPCAreas(UInt32Arg(call, 0), TextArg(call, 1).c_str(), &enumerator);
    if (Failed(r)) return BusReply::Fail(r);
    std::vector<std::string> names;
    // The enumerator walks the live tree; taking it in batches ends on its S_FALSE.
    for (;;) {
        std::vector<std::string> batch;
        std::uint32_t fetched = 0;
        const HRESULT next = enumerator->Next(256, &batch, &fetched);
        names.insert(names.end(), batch.begin(), batch.end());
        if (next != S_OK || fetched == 0) break;
    }
    return ReplyOf(r, {BusValue::Int32(r), BusValue::StringArray(names)});
}

BusReply AeAreaBrowserBusObject::Qualified(BusCall& call,
                                           HRESULT (OPCEventAreaBrowser::*method)(const char*,
                                                                                  std::string*)) {
    std::string qualified;
    const HRESULT r = ((*browser_).*method)(TextArg(call, 0).c_str(), &qualified);
    return ReplyOf(r, {BusValue::String(qualified)});
}

}  // namespace velk
