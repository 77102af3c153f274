#include "gui/ip_address_editor.h"

#include "gui/dialogs/ip_config_dialog.h"
#include "gui/qt_message_box.h"
#include "modbus/channel_settings.h"
#include "modbus/network_adapter_list.h"
#include "model/o_device_params.h"
#include "platform/linux/netlink_route_table.h"

namespace velk::gui {

IpAddressEditor IpAddressEditorOver(IRouteTable& routes, ISettingsStore* machineSettings) {
    return [&routes, machineSettings](QWidget* parent, ODeviceParams& params) {
        // The adapter list lives as long as the dialog.
        const NetworkAdapterList adapters(routes);
        const IpAddresses stored{params.primaryIpAddress, params.secondaryIpAddress,
                                 params.primaryGatewayAddress, params.secondaryGatewayAddress};
        const std::array<std::uint16_t, 2> ports{
            ModbusTcpPort(machineSettings, params.primaryIpAddress),
            ModbusTcpPort(machineSettings, params.secondaryIpAddress)};
        IpConfigDialog dialog(adapters, stored, ports, parent);
        if (dialog.exec() != QDialog::Accepted) return;
        const IpAddresses result = dialog.Result();
        params.primaryIpAddress = result.primaryIpAddress;
        params.secondaryIpAddress = result.secondaryIpAddress;
        params.primaryGatewayAddress = result.primaryGatewayAddress;
        params.secondaryGatewayAddress = result.secondaryGatewayAddress;
        if (machineSettings == nullptr) return;
        // Kept at once, like the port dialog's values: the settings are not part of the
        // device, whose dialog may still be cancelled.
        const std::array<std::uint16_t, 2> chosen = dialog.TcpPorts();
        bool kept = StoreModbusTcpPort(*machineSettings, result.primaryIpAddress, chosen[0]);
        // Two channels on one address share its port: the secondary's entry wins.
        kept = StoreModbusTcpPort(*machineSettings, result.secondaryIpAddress, chosen[1]) && kept;
        if (!kept) {
            QtMessageBox(parent).Show("The TCP port could not be stored in the server settings.",
                                      MessageKind::Error);
        }
    };
}

IpAddressEditor SystemIpAddressEditor(ISettingsStore* machineSettings) {
    static NetlinkRouteTable routes;
    return IpAddressEditorOver(routes, machineSettings);
}

}  // namespace velk::gui
