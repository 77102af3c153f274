#pragma once
// The scaling and alarm page widgets: a layout that starts with the read-only "Name:" and
// "Description:" fields showing the Connection page's name and description.
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>
#include <string>

#include "gui/tag_sheet/sheet_page_widget.h"
#include "gui/tag_sheet/widget_binding.h"

namespace velk::gui {

class NamedPageWidget : public SheetPageWidget {
  protected:
    explicit NamedPageWidget(QWidget* parent)
        : SheetPageWidget(parent),
          layout_(new QVBoxLayout(this)),
          name_(new QLineEdit(this)),
          description_(new QLineEdit(this)) {
        name_->setReadOnly(true);
        description_->setReadOnly(true);
        auto* top = new QFormLayout;
        top->addRow("Name:", name_);
        top->addRow("Description:", description_);
        layout_->addLayout(top);
    }
    void ShowNames(const std::string& name, const std::string& description) {
        ShowText(name_, name);
        ShowText(description_, description);
    }

    QVBoxLayout* layout_;

  private:
    QLineEdit* name_;
    QLineEdit* description_;
};

}  // namespace velk::gui
