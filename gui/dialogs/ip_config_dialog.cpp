#include "gui/dialogs/ip_config_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/qt_message_box.h"

namespace velk::gui {

IpConfigDialog::IpConfigDialog(const NetworkAdapterList& adapters, const IpAddresses& stored,
                               std::array<std::uint16_t, 2> tcpPorts, QWidget* parent)
    : QDialog(parent), model_(adapters, stored), tcpPorts_(tcpPorts) {
    setObjectName("ipConfiguration");
    setWindowTitle("IP address configuration");
    auto* layout = new QVBoxLayout(this);
    for (IpChannel channel : {IpChannel::kPrimary, IpChannel::kSecondary}) {
        auto* box = new QGroupBox(channel == IpChannel::kPrimary ? "Primary" : "Secondary", this);
        auto* form = new QFormLayout(box);
        ChannelWidgets& w = channels_[static_cast<int>(channel)];
        w.address = new QLineEdit(box);
        w.port = new QLineEdit(QString::number(tcpPorts_[static_cast<int>(channel)]), box);
        w.port->setObjectName(channel == IpChannel::kPrimary ? "primaryTcpPort"
                                                             : "secondaryTcpPort");
        w.device = new QComboBox(box);
        w.gateway = new QComboBox(box);
        w.gateway->setEditable(true);
        for (const std::string& line : model_.GatewayDeviceLines())
            w.device->addItem(QString::fromStdString(line));
        w.device->setMinimumWidth(220);
        form->addRow("IP address:", w.address);
        form->addRow("TCP port:", w.port);
        form->addRow("Gateway device:", w.device);
        form->addRow("Gateway address:", w.gateway);
        layout->addWidget(box);
        connect(w.address, &QLineEdit::textEdited, this, [this, channel](const QString& text) {
            model_.SetIpAddressText(channel, text.toStdString());
        });
        connect(w.device, &QComboBox::activated, this, [this, channel](int index) {
            model_.SelectGatewayDevice(channel, index);
            Sync(channel);
        });
        connect(w.gateway, &QComboBox::activated, this, [this, channel](int index) {
            model_.SelectGatewayAddress(channel, index);
            Sync(channel);
        });
        connect(w.gateway, &QComboBox::editTextChanged, this, [this, channel](const QString& text) {
            model_.SetGatewayAddressText(channel, text.toStdString());
        });
        Sync(channel);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &IpConfigDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void IpConfigDialog::accept() {
    // A field that holds no address keeps the dialog open, with the focus on it.
    if (const auto problem = model_.Check()) {
        QtMessageBox(this).Show(problem->message, MessageKind::Warning);
        ChannelWidgets& w = channels_[static_cast<int>(problem->channel)];
        if (problem->gateway) {
            w.gateway->setFocus();
        } else {
            w.address->setFocus();
        }
        return;
    }
    std::array<std::uint16_t, 2> ports{};
    for (IpChannel channel : {IpChannel::kPrimary, IpChannel::kSecondary}) {
        QLineEdit* field = TcpPortField(channel);
        const auto port = ParseTcpPortEntry(field->text().toStdString());
        if (!port) {
            // A port kept in 16 bits: 70000 would be another port, 0 none.
            QtMessageBox(this).Show(kMsgEnterTcpPort, MessageKind::Warning);
            field->setFocus();
            field->selectAll();
            return;
        }
        ports[static_cast<int>(channel)] = *port;
    }
    tcpPorts_ = ports;
    QDialog::accept();
}

void IpConfigDialog::Sync(IpChannel channel) {
    ChannelWidgets& w = channels_[static_cast<int>(channel)];
    const QSignalBlocker b1(w.address), b2(w.device), b3(w.gateway);
    w.address->setText(QString::fromStdString(model_.IpAddressText(channel)));
    w.device->setCurrentIndex(model_.SelectedGatewayDevice(channel));
    w.gateway->clear();
    for (const std::string& choice : model_.GatewayAddressChoices(channel))
        w.gateway->addItem(QString::fromStdString(choice));
    w.gateway->setCurrentIndex(model_.SelectedGatewayAddress(channel));
    w.gateway->setEditText(QString::fromStdString(model_.GatewayAddressText(channel)));
}

}  // namespace velk::gui
