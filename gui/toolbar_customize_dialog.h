#pragma once
// The "Standard" toolbar's "Customize..." dialog: which buttons the toolbar shows and in which
// order (ToolBarLayout holds the rules; the dialog edits a copy that OK hands back).
#include <QDialog>
#include <functional>

#include "app/toolbar_layout.h"

class QAction;
class QListWidget;
class QPushButton;

namespace velk::gui {

class ToolBarCustomizeDialog final : public QDialog {
  public:
    // actionOf gives the command's action (its text and icon) for the list.
    ToolBarCustomizeDialog(const ToolBarLayout& layout, std::function<const QAction*(int)> actionOf,
                           QWidget* parent = nullptr);

    // The arrangement as edited (what OK applies).
    const ToolBarLayout& Layout() const { return layout_; }
    QListWidget& List() { return *list_; }
    void MoveCurrent(bool up);
    void ResetLayout();

  private:
    void Fill(int currentRow);
    void UpdateButtons();

    ToolBarLayout layout_;
    std::function<const QAction*(int)> actionOf_;
    QListWidget* list_ = nullptr;
    QPushButton* up_ = nullptr;
    QPushButton* down_ = nullptr;
    bool filling_ = false;
};

}  // namespace velk::gui
