#pragma once
// The "Copying Tag" window over a CCopyTagDlg: the received tag's name (editable), the
// three comparison lines and the buttons Rename, Overwrite, Skip and Cancel.
#include <QDialog>

#include "model/document_ui.h"

class QLineEdit;

namespace velk {
class CCopyTagDlg;
}

namespace velk::gui {

class CopyTagWindow final : public QDialog {
  public:
    CopyTagWindow(const CCopyTagDlg& dialog, QWidget* parent);
    // The button that closed the window (Cancel also for the window's close button).
    CopyTagChoice Choice() const { return choice_; }
    // The name field as it stood when the window closed.
    std::string EnteredName() const;

  private:
    void CloseWith(CopyTagChoice choice);

    QLineEdit* name_;
    CopyTagChoice choice_ = CopyTagChoice::Cancel;
};

}  // namespace velk::gui
