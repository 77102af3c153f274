#pragma once
// The "Multiply Tag" window over a CDuplicateTagDialog. Its entries reach the model only
// on an accepted OK, so Cancel leaves the remembered values as they were.
#include <QDialog>

#include "gui/tag_sheet/dialog_callbacks.h"

class QLineEdit;

namespace velk {
class CDuplicateTagDialog;
}

namespace velk::gui {

class MultiplyTagWindow final : public QDialog {
  public:
    MultiplyTagWindow(CDuplicateTagDialog& dialog, ShowMessageFn showMessage, QWidget* parent);
    void accept() override;

  private:
    CDuplicateTagDialog& dialog_;
    ShowMessageFn showMessage_;
    QLineEdit* baseName_;
    QLineEdit* firstNumber_;
    QLineEdit* places_;
    QLineEdit* firstLocation_;
    QLineEdit* count_;
};

}  // namespace velk::gui
