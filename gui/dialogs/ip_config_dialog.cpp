#include "gui/dialogs/ip_config_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QVBoxLayout>

namespace velk::gui {

IpConfigDialog::IpConfigDialog(const NetworkAdapterList& adapters, const IpAddresses& stored,
                               QWidget* parent)
    : QDialog(parent), model_(adapters, stored) {
    setObjectName("ipConfiguration");
    setWindowTitle("IP address configuration");
    auto* layout = new QVBoxLayout(this);
    for (IpChannel channel : {IpChannel::kPrimary, IpChannel::kSecondary}) {
        auto* box = new QGroupBox(channel == IpChannel::kPrimary ? "Primary" : "Secondary", this);
        auto* form = new QFormLayout(box);
        ChannelWidgets& w = channels_[static_cast<int>(channel)];
        w.address = new QLineEdit(box);
        w.device = new QComboBox(box);
        w.gateway = new QComboBox(box);
        w.gateway->setEditable(true);
        for (const std::string& line : model_.GatewayDeviceLines())
            w.device->addItem(QString::fromStdString(line));
        w.device->setMinimumWidth(220);
        form->addRow("IP address:", w.address);
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
    // A field that holds no address keeps the dialog open, with the focus on it.
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        if (const auto problem = model_.Check()) {
            QMessageBox::warning(this, windowTitle(), QString::fromUtf8(problem->message));
            ChannelWidgets& w = channels_[static_cast<int>(problem->channel)];
            if (problem->gateway) {
                w.gateway->setFocus();
            } else {
                w.address->setFocus();
            }
            return;
        }
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
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
