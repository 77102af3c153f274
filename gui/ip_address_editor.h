#pragma once
// The device dialog's "&IP address...": the IP address configuration over this host's
// adapters, read when the dialog opens.
#include <functional>

class QWidget;

namespace velk {
class IRouteTable;
class ODeviceParams;
}  // namespace velk

namespace velk::gui {

using IpAddressEditor = std::function<void(QWidget*, ODeviceParams&)>;

// Over the given route table (which must outlive the editor).
IpAddressEditor IpAddressEditorOver(IRouteTable& routes);
// Over the host's own adapters.
IpAddressEditor SystemIpAddressEditor();

}  // namespace velk::gui
