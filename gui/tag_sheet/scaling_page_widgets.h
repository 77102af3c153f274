#pragma once
// Page "Scaling" of the tag property sheet: analog over an AnaScalingPage, binary over a
// BinScalingPage.
#include "gui/tag_sheet/named_page_widget.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;

namespace velk {
class AnaScalingPage;
class BinScalingPage;
}  // namespace velk

namespace velk::gui {

class AnaScalingWidget final : public NamedPageWidget {
  public:
    AnaScalingWidget(AnaScalingPage& page, QWidget* parent);
    void Refresh() override;
    QWidget* FieldWidget(int field) const override;

  private:
    AnaScalingPage& page_;
    QLineEdit* rawMin_;
    QLineEdit* rawMax_;
    QLineEdit* engMin_;
    QLineEdit* engMax_;
    QLineEdit* units_;
    QButtonGroup* conversion_;
    QLineEdit* init_;
    QLineEdit* lowProcess_;
    QLineEdit* highProcess_;
};

class BinScalingWidget final : public NamedPageWidget {
  public:
    BinScalingWidget(BinScalingPage& page, QWidget* parent);
    void Refresh() override;
    QWidget* FieldWidget(int) const override { return nullptr; }

  private:
    BinScalingPage& page_;
    QButtonGroup* conversion_;
    QCheckBox* init_;
};

}  // namespace velk::gui
