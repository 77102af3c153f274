#include "gui/tag_sheet/alarm_page_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/tag_sheet/widget_binding.h"
#include "model/tag_sheet/alarm_pages.h"

namespace velk::gui {
namespace {

// Column headers of the alarm grids; the analog grid has "Value" in column 1.
void AddHeaders(QGridLayout* grid, QWidget* parent, bool withValue) {
    int column = 1;
    if (withValue) grid->addWidget(new QLabel("Value", parent), 0, column++);
    grid->addWidget(new QLabel("Priority", parent), 0, column++);
    grid->addWidget(new QLabel("Message Text", parent), 0, column++);
    grid->addWidget(new QLabel("Ack", parent), 0, column);
}

// One row of controls bound to a row of the page model; the check box itself is connected
// by the caller, whose rule decides what it changes.
AlarmRowWidgets AddRow(QGridLayout* grid, int line, QWidget* parent, const QString& label,
                       AlarmRow& row, bool withValue) {
    AlarmRowWidgets w;
    w.enabled = new QCheckBox(label, parent);
    int column = 0;
    grid->addWidget(w.enabled, line, column++);
    if (withValue) {
        w.value = BoundLineEdit(row.valueText, parent);
        grid->addWidget(w.value, line, column++);
    }
    w.priority = BoundLineEdit(row.priorityText, parent);
    grid->addWidget(w.priority, line, column++);
    w.message = BoundLineEdit(row.message, parent);
    grid->addWidget(w.message, line, column++);
    w.ack = BoundCheckBox(QString(), row.ack, parent);
    grid->addWidget(w.ack, line, column);
    return w;
}

}  // namespace

void AlarmRowWidgets::Show(const AlarmRow& row) const {
    enabled->setChecked(row.enabled);
    if (value) {
        ShowText(value, row.valueText);
        value->setEnabled(row.controlsEnabled);
    }
    ShowText(priority, row.priorityText);
    ShowText(message, row.message);
    ack->setChecked(row.ack);
    for (QWidget* w : {static_cast<QWidget*>(priority), static_cast<QWidget*>(message),
                       static_cast<QWidget*>(ack)})
        w->setEnabled(row.controlsEnabled);
}

AnaAlarmWidget::AnaAlarmWidget(AnaAlarmPage& page, QWidget* parent)
    : NamedPageWidget(parent), page_(page) {
    QVBoxLayout* layout = layout_;

    auto* box = new QGroupBox(" Analog Alarms ", this);
    auto* grid = new QGridLayout(box);
    AddHeaders(grid, box, true);
    const char* labels[4] = {"&LoLo", "Lo&w", "&High", "H&iHi"};
    for (int i = 0; i < 4; ++i) {
        levels_[i] = AddRow(grid, i + 1, box, labels[i], page.levels[i], true);
        levels_[i].enabled->setObjectName(QString("level%1").arg(i));
        levels_[i].value->setObjectName(QString("level%1Value").arg(i));
        levels_[i].priority->setObjectName(QString("level%1Priority").arg(i));
        levels_[i].message->setObjectName(QString("level%1Message").arg(i));
        connect(levels_[i].enabled, &QCheckBox::clicked, this, [this, i](bool ticked) {
            page_.OnLevelToggled(i, ticked);
            Refresh();
        });
    }
    // The return-to-normal row has no limit: its priority sits in the "Priority" column.
    normal_.enabled = new QCheckBox("&Return to Normal", box);
    grid->addWidget(normal_.enabled, 5, 0);
    normal_.priority = BoundLineEdit(page.normal.priorityText, box);
    grid->addWidget(normal_.priority, 5, 2);
    normal_.message = BoundLineEdit(page.normal.message, box);
    grid->addWidget(normal_.message, 5, 3);
    normal_.ack = BoundCheckBox(QString(), page.normal.ack, box);
    grid->addWidget(normal_.ack, 5, 4);
    connect(normal_.enabled, &QCheckBox::clicked, this, [this](bool ticked) {
        page_.OnNormalToggled(ticked);
        Refresh();
    });
    layout->addWidget(box);

    auto* specific = new QGroupBox("Specific properties", this);
    auto* form = new QFormLayout(specific);
    area_ = BoundLineEdit(page.area, specific);
    class_ = BoundLineEdit(page.classText, specific);
    form->addRow("Area:", area_);
    form->addRow("Class:", class_);
    deadband_ = BoundLineEdit(page.deadbandText, specific);
    deadband_->setObjectName("deadband");
    onDelay_ = BoundLineEdit(page.onDelayText, specific);
    onDelay_->setObjectName("onDelay");
    form->addRow("Deadband:", deadband_);
    form->addRow("On-Delay (ms):", onDelay_);
    layout->addWidget(specific);
    layout->addStretch();
    Refresh();
}

void AnaAlarmWidget::Refresh() {
    ShowNames(page_.nameShown, page_.descriptionShown);
    for (int i = 0; i < 4; ++i) levels_[i].Show(page_.levels[i]);
    normal_.Show(page_.normal);
    ShowText(area_, page_.area);
    ShowText(class_, page_.classText);
    ShowText(deadband_, page_.deadbandText);
    ShowText(onDelay_, page_.onDelayText);
}

QWidget* AnaAlarmWidget::FieldWidget(int field) const {
    if (field >= AnaAlarmPage::kFieldValue && field < AnaAlarmPage::kFieldPriority)
        return levels_[field - AnaAlarmPage::kFieldValue].value;
    if (field >= AnaAlarmPage::kFieldPriority && field < AnaAlarmPage::kFieldNormalPriority)
        return levels_[field - AnaAlarmPage::kFieldPriority].priority;
    if (field == AnaAlarmPage::kFieldNormalPriority) return normal_.priority;
    if (field == AnaAlarmPage::kFieldDeadband) return deadband_;
    if (field == AnaAlarmPage::kFieldOnDelay) return onDelay_;
    return class_;
}

BinAlarmWidget::BinAlarmWidget(BinAlarmPage& page, QWidget* parent)
    : NamedPageWidget(parent), page_(page) {
    QVBoxLayout* layout = layout_;

    auto* box = new QGroupBox(" Binary Alarms ", this);
    auto* grid = new QGridLayout(box);
    AddHeaders(grid, box, false);
    alarm_ = AddRow(grid, 1, box, "&Alarm", page.alarmRow, false);
    alarm_.enabled->setObjectName("alarm");
    state_ = BoundCheckBox("&State", page.state, box);
    grid->addWidget(state_, 2, 0);
    normal_ = AddRow(grid, 3, box, "&Return to Normal", page.normal, false);
    connect(alarm_.enabled, &QCheckBox::clicked, this, [this](bool ticked) {
        page_.OnAlarmToggled(ticked);
        Refresh();
    });
    connect(normal_.enabled, &QCheckBox::clicked, this, [this](bool ticked) {
        page_.OnNormalToggled(ticked);
        Refresh();
    });

    auto* form = new QFormLayout;
    source_ = BoundLineEdit(page.source, box);
    condition_ = new QComboBox(box);
    condition_->setObjectName("condition");
    subcondition_ = new QComboBox(box);
    subcondition_->setObjectName("subcondition");
    simple_ = BoundCheckBox("Simple Condition", page.simpleCondition, box);
    area_ = BoundLineEdit(page.area, box);
    class_ = BoundLineEdit(page.classText, box);
    form->addRow("Source:", source_);
    form->addRow("Condition:", condition_);
    form->addRow("Subcond.:", subcondition_);
    form->addRow(QString(), simple_);
    form->addRow("Area:", area_);
    form->addRow("Class:", class_);
    grid->addLayout(form, 4, 0, 1, 4);
    layout->addWidget(box);
    layout->addStretch();

    connect(condition_, &QComboBox::activated, this, [this](int position) {
        page_.OnConditionChosen(position);
        Refresh();
    });
    connect(subcondition_, &QComboBox::activated, this,
            [this](int position) { page_.subconditionPosition = position; });
    Refresh();
}

void BinAlarmWidget::Refresh() {
    ShowNames(page_.nameShown, page_.descriptionShown);
    alarm_.Show(page_.alarmRow);
    state_->setChecked(page_.state);
    state_->setEnabled(page_.alarmRow.controlsEnabled);
    normal_.Show(page_.normal);
    ShowText(source_, page_.source);
    ShowEntries(condition_, page_.conditionNames);
    condition_->setCurrentIndex(page_.conditionPosition);
    subcondition_->clear();
    for (const std::string& name : page_.subconditionNames) subcondition_->addItem(ToQString(name));
    subcondition_->setCurrentIndex(page_.subconditionPosition);
    simple_->setChecked(page_.simpleCondition);
    simple_->setEnabled(page_.simpleConditionEnabled);
    ShowText(area_, page_.area);
    ShowText(class_, page_.classText);
}

QWidget* BinAlarmWidget::FieldWidget(int field) const {
    if (field == BinAlarmPage::kFieldAlarmPriority) return alarm_.priority;
    if (field == BinAlarmPage::kFieldNormalPriority) return normal_.priority;
    return class_;
}

}  // namespace velk::gui
