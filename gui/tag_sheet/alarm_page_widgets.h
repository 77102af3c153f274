#pragma once
// Page "Alarm" of the tag property sheet: analog over an AnaAlarmPage, binary over a
// BinAlarmPage.
#include <array>

#include "gui/tag_sheet/named_page_widget.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;

namespace velk {
class AnaAlarmPage;
class BinAlarmPage;
struct AlarmRow;
}  // namespace velk

namespace velk::gui {

// The controls of one alarm row; value is null on rows without a limit.
struct AlarmRowWidgets {
    QCheckBox* enabled = nullptr;
    QLineEdit* value = nullptr;
    QLineEdit* priority = nullptr;
    QLineEdit* message = nullptr;
    QCheckBox* ack = nullptr;

    void Show(const AlarmRow& row) const;
};

class AnaAlarmWidget final : public NamedPageWidget {
  public:
    AnaAlarmWidget(AnaAlarmPage& page, QWidget* parent);
    void Refresh() override;
    QWidget* FieldWidget(int field) const override;

  private:
    AnaAlarmPage& page_;
    std::array<AlarmRowWidgets, 4> levels_;
    AlarmRowWidgets normal_;
    QLineEdit* area_;
    QLineEdit* class_;
    QLineEdit* deadband_;
    QLineEdit* onDelay_;
};

class BinAlarmWidget final : public NamedPageWidget {
  public:
    BinAlarmWidget(BinAlarmPage& page, QWidget* parent);
    void Refresh() override;
    QWidget* FieldWidget(int field) const override;

  private:
    BinAlarmPage& page_;
    AlarmRowWidgets alarm_;
    QCheckBox* state_;
    AlarmRowWidgets normal_;
    QLineEdit* source_;
    QComboBox* condition_;
    QComboBox* subcondition_;
    QCheckBox* simple_;
    QLineEdit* area_;
    QLineEdit* class_;
};

}  // namespace velk::gui
