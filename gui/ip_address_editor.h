#pragma once
// The device dialog's "&IP address...": the IP address configuration over this host's
// adapters, read when the dialog opens. The controllers' TCP ports are read from and kept in
// the machine settings (TcpPorts), where the channels look them up at every connect.
#include <functional>

class QWidget;

namespace velk {
class IRouteTable;
class ISettingsStore;
class ODeviceParams;
}  // namespace velk

namespace velk::gui {

using IpAddressEditor = std::function<void(QWidget*, ODeviceParams&)>;

// Over the given route table and machine settings (both must outlive the editor; without a
// store every controller is on port 502 and the ports are not kept).
IpAddressEditor IpAddressEditorOver(IRouteTable& routes, ISettingsStore* machineSettings);
// Over the host's own adapters.
IpAddressEditor SystemIpAddressEditor(ISettingsStore* machineSettings);

}  // namespace velk::gui
