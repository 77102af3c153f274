#pragma once
// Page "Connection" of the tag property sheet over a TagPage.
#include "gui/tag_sheet/sheet_page_widget.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace velk {
class TagPage;
}

namespace velk::gui {

class ConnectionPageWidget final : public SheetPageWidget {
  public:
    ConnectionPageWidget(TagPage& page, QWidget* parent);
    void Refresh() override;
    QWidget* FieldWidget(int field) const override;

  private:
    TagPage& page_;
    QLineEdit* name_;
    QLineEdit* description_;
    QComboBox* location_;
    QLineEdit* address_;
    QComboBox* dataType_;
    QLineEdit* bytes_;
    QComboBox* byteOrder_;
    QLineEdit* bit_;
    QLineEdit* defaultDisplay_;
    QComboBox* simulation_;
    QCheckBox* read_;
    QCheckBox* write_;
};

}  // namespace velk::gui
