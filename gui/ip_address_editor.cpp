#include "gui/ip_address_editor.h"

#include "gui/dialogs/ip_config_dialog.h"
#include "modbus/network_adapter_list.h"
#include "model/o_device_params.h"
#include "platform/linux/netlink_route_table.h"

namespace velk::gui {

IpAddressEditor IpAddressEditorOver(IRouteTable& routes) {
    return [&routes](QWidget* parent, ODeviceParams& params) {
        // The adapter list lives as long as the dialog.
        const NetworkAdapterList adapters(routes);
        const IpAddresses stored{params.primaryIpAddress, params.secondaryIpAddress,
                                 params.primaryGatewayAddress, params.secondaryGatewayAddress};
        IpConfigDialog dialog(adapters, stored, parent);
        if (dialog.exec() != QDialog::Accepted) return;
        const IpAddresses result = dialog.Result();
        params.primaryIpAddress = result.primaryIpAddress;
        params.secondaryIpAddress = result.secondaryIpAddress;
        params.primaryGatewayAddress = result.primaryGatewayAddress;
        params.secondaryGatewayAddress = result.secondaryGatewayAddress;
    };
}

IpAddressEditor SystemIpAddressEditor() {
    static NetlinkRouteTable routes;
    return IpAddressEditorOver(routes);
}

}  // namespace velk::gui
