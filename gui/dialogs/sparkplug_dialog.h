#pragma once
// The "Sparkplug B" dialog, opened from "OPC Server Options": draws SparkplugDialogModel's
// fields in its order and follows its enabling rules; OK runs the model's checks (a refused
// entry keeps the dialog open with the model's message and focus).
#include <QDialog>
#include <map>
#include <string>

#include "app/sparkplug/sparkplug_dialog_model.h"
#include "gui/dialogs/settings_field_widgets.h"

class QCheckBox;
class QLineEdit;

namespace velk::gui {

class IGuiHost;

class SparkplugDialog final : public QDialog {
  public:
    SparkplugDialog(IGuiHost& host, QWidget* parent = nullptr);
    SparkplugDialogModel& Model() { return model_; }
    // The field of a setting ("GroupId", ...); null for none.
    QWidget* Field(const std::string& setting) const;
    // OK: true when the settings were taken and the dialog closed.
    bool Ok();

  private:
    void Sync();

    IGuiHost& host_;
    SparkplugDialogModel model_;
    SettingsFieldWidgets fields_;
};

}  // namespace velk::gui
