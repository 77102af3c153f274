#pragma once
// The "OPC Server Options" dialog: draws the controls of OptionsDialogModel in its order,
// passes every entry to the model and follows its enabling rules; OK runs the model's checks
// (a refused entry keeps the dialog open with the model's message and focus).
#include <QDialog>
#include <map>

#include "app/options_dialog_model.h"

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QWidget;

namespace velk::gui {

class IGuiHost;

class OptionsDialog final : public QDialog {
  public:
    OptionsDialog(IGuiHost& host, QWidget* parent = nullptr);
    OptionsDialogModel& Model() { return model_; }
    QWidget* Control(OptionsControl control) const;
    // OK: true when the settings were taken and the dialog closed.
    bool Ok();

  private:
    void Sync();

    IGuiHost& host_;
    OptionsDialogModel model_;
    std::map<OptionsControl, QCheckBox*> boxes_;
    std::map<OptionsControl, QLineEdit*> fields_;
    std::map<OptionsControl, QWidget*> controls_;
    std::map<OptionsControl, std::pair<QFormLayout*, QWidget*>> rows_;  // labelled fields
};

}  // namespace velk::gui
