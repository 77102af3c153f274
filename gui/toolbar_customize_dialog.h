#pragma once
// The "Standard" toolbar's "Customize..." dialog: which buttons the toolbar shows.
#include <QDialog>

class QToolBar;

namespace velk::gui {

class ToolBarCustomizeDialog final : public QDialog {
  public:
    ToolBarCustomizeDialog(QToolBar& toolBar, QWidget* parent = nullptr);
};

}  // namespace velk::gui
