#pragma once
// The "OPC UA" dialog, opened from "OPC Server Options": draws UaDialogModel's fields in its
// order, read-only for a user without the rights, and says that changes wait for a restart;
// OK runs the model's checks (a refused entry keeps the dialog open with its focus).
#include <QDialog>
#include <map>
#include <string>

#include "app/opcua/ua_dialog_model.h"
#include "gui/dialogs/settings_field_widgets.h"

class QCheckBox;
class QLineEdit;

namespace velk::gui {

class IGuiHost;

class UaDialog final : public QDialog {
  public:
    UaDialog(IGuiHost& host, QWidget* parent = nullptr);
    UaDialogModel& Model() { return model_; }
    QWidget* Field(const std::string& setting) const;
    bool Ok();

  private:
    void Sync();

    IGuiHost& host_;
    UaDialogModel model_;
    SettingsFieldWidgets fields_;
};

}  // namespace velk::gui
