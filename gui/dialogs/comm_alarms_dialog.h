#pragma once
// CommAlmDlg: "Communication Alarms", drawn over CommAlarmsDialogModel. A refused priority
// keeps the dialog open with the model's message.
#include <QDialog>
#include <array>

#include "model/comm_alarms_dialog_model.h"

class QCheckBox;
class QLineEdit;

namespace velk {
class IMessageBox;
}

namespace velk::gui {

class CommAlarmsDialog final : public QDialog {
  public:
    CommAlarmsDialog(std::array<CommAlarmSettings, kCommAlarmCount>& alarms, IMessageBox& messages,
                     QWidget* parent = nullptr);
    CommAlarmsDialogModel& Model() { return model_; }
    // The priority field of an alarm's part, for tests.
    QLineEdit* PriorityField(int index, bool failurePart) const;
    QCheckBox* EnableBox(int index, bool failurePart) const;
    bool Ok();

  private:
    struct PartWidgets {
        QCheckBox* enabled = nullptr;
        QLineEdit* priority = nullptr;
        QLineEdit* message = nullptr;
        QCheckBox* acknowledge = nullptr;
    };
    struct AlarmWidgets {
        PartWidgets failure;
        PartWidgets normal;
        QLineEdit* source = nullptr;
    };
    void Sync();

    std::array<CommAlarmSettings, kCommAlarmCount>& alarms_;
    IMessageBox& messages_;
    CommAlarmsDialogModel model_;
    std::array<AlarmWidgets, kCommAlarmCount> widgets_;
};

}  // namespace velk::gui
