#pragma once
// CStatistics: "OPC Server Statistics", refreshed every second while it is open.
#include <QDialog>

class QLabel;
class QTimer;

namespace velk::gui {

class IGuiHost;

inline constexpr int kStatisticsRefreshMs = 1000;

class StatisticsDialog final : public QDialog {
  public:
    StatisticsDialog(IGuiHost& host, QWidget* parent = nullptr);
    // Reads the counts again (the timer's tick).
    void Refresh();
    QString FieldText(const QString& objectName) const;

  private:
    IGuiHost& host_;
    QLabel* devices_;
    QLabel* tags_;
    QLabel* daConnections_;
    QLabel* daGroups_;
    QLabel* aeConnections_;
    QLabel* aeSubscriptions_;
    QTimer* timer_;
};

}  // namespace velk::gui
