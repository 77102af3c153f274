#pragma once
// OPortDlg: "Port Properties". "Port ID:" lists the ports; from the Ports command the list
// can be changed, from a device it is fixed on one port. The shown port takes the dialog's
// values when another port is chosen and on OK; they stay even after Cancel.
#include <QCheckBox>
#include <QDialog>
#include <QSpinBox>
#include <vector>

class QComboBox;

namespace velk {
class OPort;
}

namespace velk::gui {

class PortDialog final : public QDialog {
  public:
    PortDialog(const std::vector<OPort*>& ports, OPort* fixedPort, QWidget* parent = nullptr);
    QComboBox* PortList() const { return portId_; }
    QComboBox* BaudList() const { return baud_; }
    void Ok();

  private:
    void Show(int index);
    void WriteShown();

    std::vector<OPort*> ports_;
    int shown_ = -1;
    QComboBox* portId_;
    QComboBox* baud_;
    QComboBox* dataBits_;
    QComboBox* stopBits_;
    QComboBox* parity_;
    QComboBox* flow_;
    QCheckBox* rs485_;
    QCheckBox* rtsOnSend_;
    QCheckBox* rtsAfterSend_;
    QSpinBox* delayBefore_;
    QSpinBox* delayAfter_;
    QCheckBox* echo_;
};

}  // namespace velk::gui
