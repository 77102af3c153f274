#pragma once
// A page widget of the tag property sheet: shows its page model and names the widget of a
// field, so that a refused entry can take the user back to it.
#include <QWidget>

namespace velk::gui {

class SheetPageWidget : public QWidget {
  public:
    using QWidget::QWidget;
    // Sets every control from the page model.
    virtual void Refresh() = 0;
    // The widget of a field of the page model (its own field numbering).
    virtual QWidget* FieldWidget(int field) const = 0;
};

}  // namespace velk::gui
