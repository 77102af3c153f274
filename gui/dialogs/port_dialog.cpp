#include "gui/dialogs/port_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>

#include "model/o_port.h"

namespace velk::gui {

PortDialog::PortDialog(const std::vector<OPort*>& ports, OPort* fixedPort, QWidget* parent)
    : QDialog(parent), ports_(ports) {
    setObjectName("portProperties");
    setWindowTitle("Port Properties");
    auto* form = new QFormLayout(this);
    portId_ = new QComboBox(this);
    for (const OPort* port : ports_) portId_->addItem(QString::fromStdString(port->name));
    baud_ = new QComboBox(this);
    for (std::uint32_t rate : kPortBaudRates) baud_->addItem(QString::number(rate));
    dataBits_ = new QComboBox(this);
    dataBits_->addItems({"7 (ASCII)", "8 (RTU)"});
    stopBits_ = new QComboBox(this);
    stopBits_->addItems({"1", "2"});
    parity_ = new QComboBox(this);
    parity_->addItems({"None", "Odd", "Even"});
    flow_ = new QComboBox(this);
    flow_->addItems({"None", "Hardware (RTS/CTS)", "Software (XON/XOFF)"});
    form->addRow("Port ID:", portId_);
    form->addRow("Baud rate:", baud_);
    form->addRow("Data bits:", dataBits_);
    form->addRow("Stop bits:", stopBits_);
    form->addRow("Parity:", parity_);
    form->addRow("Flow control:", flow_);
    // RS-485 adapters: the kernel drives the direction with RTS; some adapters echo.
    rs485_ = new QCheckBox("RS-&485 direction control", this);
    rs485_->setObjectName("rs485");
    rtsOnSend_ = new QCheckBox("RTS &high while sending", this);
    rtsOnSend_->setObjectName("rtsOnSend");
    rtsAfterSend_ = new QCheckBox("RTS high &after sending", this);
    rtsAfterSend_->setObjectName("rtsAfterSend");
    delayBefore_ = new QSpinBox(this);
    delayBefore_->setObjectName("delayBeforeSend");
    delayAfter_ = new QSpinBox(this);
    delayAfter_->setObjectName("delayAfterSend");
    for (QSpinBox* box : {delayBefore_, delayAfter_}) {
        box->setRange(0, 1000);
        box->setSuffix(" ms");
    }
    echo_ = new QCheckBox("Adapter &echoes what it sends", this);
    echo_->setObjectName("echoSuppression");
    form->addRow(rs485_);
    form->addRow(rtsOnSend_);
    form->addRow(rtsAfterSend_);
    form->addRow("Delay before send:", delayBefore_);
    form->addRow("Delay after send:", delayAfter_);
    form->addRow(echo_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    int start = 0;
    if (fixedPort != nullptr) {
        for (std::size_t i = 0; i < ports_.size(); ++i) {
            if (ports_[i] == fixedPort) start = static_cast<int>(i);
        }
        portId_->setEnabled(false);
    }
    Show(ports_.empty() ? -1 : start);
    connect(portId_, &QComboBox::currentIndexChanged, this, [this](int index) {
        WriteShown();
        Show(index);
    });
}

void PortDialog::Show(int index) {
    shown_ = index;
    if (index < 0) return;
    const OPort& port = *ports_[static_cast<std::size_t>(index)];
    const QSignalBlocker block(portId_);
    portId_->setCurrentIndex(index);
    int baud = 0;
    for (std::size_t i = 0; i < std::size(kPortBaudRates); ++i) {
        if (kPortBaudRates[i] == port.baudRate) baud = static_cast<int>(i);
    }
    baud_->setCurrentIndex(baud);
    dataBits_->setCurrentIndex(port.dataBits == 7 ? 0 : 1);
    stopBits_->setCurrentIndex(port.stopBits == 2 ? 1 : 0);
    parity_->setCurrentIndex(port.parity);
    flow_->setCurrentIndex(port.flowControl);
    rs485_->setChecked(port.rs485 != 0);
    rtsOnSend_->setChecked(port.rs485RtsOnSend != 0);
    rtsAfterSend_->setChecked(port.rs485RtsAfterSend != 0);
    delayBefore_->setValue(port.rs485DelayBeforeSend);
    delayAfter_->setValue(port.rs485DelayAfterSend);
    echo_->setChecked(port.echoSuppression != 0);
}

void PortDialog::WriteShown() {
    if (shown_ < 0) return;
    ports_[static_cast<std::size_t>(shown_)]->ApplyDialogValues(
        baud_->currentIndex(), dataBits_->currentIndex() == 0 ? 7 : 8,
        stopBits_->currentIndex() == 1 ? 2 : 0, static_cast<std::uint16_t>(parity_->currentIndex()),
        static_cast<std::uint16_t>(flow_->currentIndex()));
    ports_[static_cast<std::size_t>(shown_)]->ApplyRs485Values(
        rs485_->isChecked(), rtsOnSend_->isChecked(), rtsAfterSend_->isChecked(),
        delayBefore_->value(), delayAfter_->value(), echo_->isChecked());
}

void PortDialog::Ok() {
    WriteShown();
    accept();
}

}  // namespace velk::gui
