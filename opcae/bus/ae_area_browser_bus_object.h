#pragma once
// One AE area browser on the bus. BrowseOPCAreas answers with the whole enumeration at once
// instead of an enumerator object: the lists are short, and one call replaces many.
#include <memory>
#include <vector>

#include "opcae/opc_event_area_browser.h"
#include "platform/dbus/bus_object.h"

namespace velk {

class AeAreaBrowserBusObject final : public IBusObject {
  public:
    explicit AeAreaBrowserBusObject(std::unique_ptr<OPCEventAreaBrowser> browser);

    std::vector<BusInterface> Interfaces() override;

  private:
    BusReply BrowseOPCAreas(BusCall& call);
    BusReply Qualified(BusCall& call,
                       HRESULT (OPCEventAreaBrowser::*method)(const char*, std::string*));

    std::unique_ptr<OPCEventAreaBrowser> browser_;
};

}  // namespace velk
