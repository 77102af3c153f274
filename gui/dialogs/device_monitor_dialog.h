#pragma once
// CDevMonitor: the "Device Monitor" dialog. The devices in a list; for the selected one the
// active channel, the two channel names and the exchange counters, refreshed every second.
#include <QDialog>
#include <vector>

#include "modbus/device_monitor_model.h"

class QLineEdit;
class QListWidget;
class QRadioButton;
class QTableWidget;
class QTimer;

namespace velk::gui {

class IGuiHost;

inline constexpr int kDeviceMonitorRefreshMs = 1000;

class DeviceMonitorDialog final : public QDialog {
  public:
    DeviceMonitorDialog(IGuiHost& host, QWidget* parent = nullptr);
    void Refresh();
    // The counter table's text at a row ("Sent messages:" ...) and column (0 total, 1
    // primary, 2 secondary).
    QString Cell(int row, int column) const;
    void SelectDevice(int index);

  private:
    IGuiHost& host_;
    QListWidget* devices_;
    QRadioButton* primary_;
    QRadioButton* secondary_;
    QLineEdit* primaryName_;
    QLineEdit* secondaryName_;
    QTableWidget* counters_;
    QTimer* timer_;
};

}  // namespace velk::gui
