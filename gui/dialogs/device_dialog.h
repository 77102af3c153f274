#pragma once
// DeviceDialog: "Device Properties". The entries are checked by ApplyDeviceDialogTexts on
// OK (a refused entry keeps the dialog open with its message); "Modbus &TCP/IP connection"
// follows SetModbusTcpConnection.
#include <QDialog>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "model/document_ui.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace velk {
class IMessageBox;
class OPort;
}  // namespace velk

namespace velk::gui {

struct DeviceDialogServices {
    IMessageBox* messages = nullptr;
    // The document's ports, for "&1···" and "&2···"; the port dialog opens on one of them.
    std::function<std::vector<OPort*>()> ports;
    std::function<void(const std::vector<OPort*>&, OPort*)> editPort;
    // "&IP address...": edits the four address texts; absent, the button stays disabled.
    std::function<void(ODeviceParams&)> editIpAddresses;
};

class DeviceDialog final : public QDialog {
  public:
    DeviceDialog(DeviceDialogValues& values, const std::vector<std::string>& enabledPortNames,
                 DeviceDialogServices services, QWidget* parent = nullptr);
    // OK: false (message shown) keeps the dialog open.
    bool Ok();
    QLineEdit* Field(const QString& objectName) const;
    QCheckBox* TcpBox() const { return tcp_; }

  private:
    void ApplyTcpRule();
    void OpenPort(QComboBox* list);

    DeviceDialogValues& values_;
    ODeviceParams params_;  // edited here; copied to values_ on OK
    std::array<CommAlarmSettings, kCommAlarmCount> alarms_;
    DeviceDialogServices services_;
    QLineEdit* name_;
    QLineEdit* description_;
    QComboBox* primary_;
    QComboBox* secondary_;
    QPushButton* primaryButton_;
    QPushButton* secondaryButton_;
    QCheckBox* tcp_;
    QPushButton* ipButton_;
    QComboBox* deviceType_;
    QRadioButton* master1_;
    QRadioButton* master2_;
    QCheckBox* wordSwap_;
    QCheckBox* readInitially_;
    QCheckBox* readAfterFailure_;
    QCheckBox* syncAtStartup_;
    QCheckBox* simulation_;
    std::map<QString, QLineEdit*> fields_;
    // The field settings' number fields and check boxes, by stored key.
    std::map<std::uint16_t, QLineEdit*> fieldSettingTexts_;
    std::map<std::uint16_t, QCheckBox*> fieldSettingChecks_;
};

}  // namespace velk::gui
