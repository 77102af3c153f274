#pragma once
// "IP address configuration": per channel "IP address:", "TCP port:" (the controller's
// Modbus TCP port), "Gateway device:" (the host's adapters) and "Gateway address:" (an
// editable list of the chosen adapter's addresses), drawn over IpConfigDialogModel. OK
// refuses a port outside 1 to 65535 and stores the four texts as typed.
#include <QDialog>
#include <array>
#include <cstdint>

#include "modbus/channel_settings.h"
#include "modbus/ip_config_dialog_model.h"

class QComboBox;
class QLineEdit;

namespace velk::gui {

class IpConfigDialog final : public QDialog {
  public:
    // tcpPorts: the primary and the secondary controller's ports.
    IpConfigDialog(const NetworkAdapterList& adapters, const IpAddresses& stored,
                   std::array<std::uint16_t, 2> tcpPorts, QWidget* parent = nullptr);
    IpConfigDialog(const NetworkAdapterList& adapters, const IpAddresses& stored,
                   QWidget* parent = nullptr)
        : IpConfigDialog(adapters, stored, {kModbusTcpPort, kModbusTcpPort}, parent) {}
    IpAddresses Result() const { return model_.Ok(); }
    // The ports as accepted by OK.
    std::array<std::uint16_t, 2> TcpPorts() const { return tcpPorts_; }
    IpConfigDialogModel& Model() { return model_; }
    QLineEdit* TcpPortField(IpChannel channel) const {
        return channels_[static_cast<int>(channel)].port;
    }
    void accept() override;

  private:
    struct ChannelWidgets {
        QLineEdit* address = nullptr;
        QLineEdit* port = nullptr;
        QComboBox* device = nullptr;
        QComboBox* gateway = nullptr;
    };
    void Sync(IpChannel channel);

    IpConfigDialogModel model_;
    std::array<ChannelWidgets, 2> channels_;
    std::array<std::uint16_t, 2> tcpPorts_;
};

}  // namespace velk::gui
