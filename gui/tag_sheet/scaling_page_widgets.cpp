#include "gui/tag_sheet/scaling_page_widgets.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/tag_sheet/widget_binding.h"
#include "model/tag_sheet/scaling_pages.h"

namespace velk::gui {
namespace {

QButtonGroup* AddRadioGroup(QGroupBox* box, std::initializer_list<const char*> labels) {
    auto* group = new QButtonGroup(box);
    auto* layout = new QHBoxLayout(box);
    int id = 0;
    for (const char* label : labels) {
        auto* button = new QRadioButton(label, box);
        group->addButton(button, id++);
        layout->addWidget(button);
    }
    return group;
}

void ShowChoice(QButtonGroup* group, int id) {
    if (QAbstractButton* button = group->button(id)) button->setChecked(true);
}

}  // namespace

AnaScalingWidget::AnaScalingWidget(AnaScalingPage& page, QWidget* parent)
    : NamedPageWidget(parent), page_(page) {
    QVBoxLayout* layout = layout_;

    auto* scaling = new QGroupBox(" Analog Scaling ", this);
    auto* grid = new QGridLayout(scaling);
    rawMin_ = BoundLineEdit(page.rawMinText, scaling);
    rawMin_->setObjectName("rawMin");
    rawMax_ = BoundLineEdit(page.rawMaxText, scaling);
    rawMax_->setObjectName("rawMax");
    engMin_ = BoundLineEdit(page.engMinText, scaling);
    engMin_->setObjectName("engMin");
    engMax_ = BoundLineEdit(page.engMaxText, scaling);
    engMax_->setObjectName("engMax");
    units_ = BoundLineEdit(page.units, scaling);
    units_->setObjectName("units");
    grid->addWidget(new QLabel("Raw Data", scaling), 0, 0);
    grid->addWidget(rawMin_, 0, 1);
    grid->addWidget(rawMax_, 1, 1);
    grid->addWidget(new QLabel("Scales to >", scaling), 0, 2, 2, 1);
    grid->addWidget(new QLabel("Min:", scaling), 0, 3);
    grid->addWidget(engMin_, 0, 4);
    grid->addWidget(new QLabel("Max:", scaling), 1, 3);
    grid->addWidget(engMax_, 1, 4);
    grid->addWidget(new QLabel("Units:", scaling), 2, 3);
    grid->addWidget(units_, 2, 4);
    auto* conversionBox = new QGroupBox(" Conversion ", scaling);
    conversion_ = AddRadioGroup(conversionBox, {"&None", "&Linear", "&Square Root"});
    grid->addWidget(conversionBox, 3, 0, 1, 5);
    auto* values = new QFormLayout;
    init_ = BoundLineEdit(page.initText, scaling);
    lowProcess_ = BoundLineEdit(page.lowProcessText, scaling);
    highProcess_ = BoundLineEdit(page.highProcessText, scaling);
    values->addRow("Init Value:", init_);
    values->addRow("Low Process:", lowProcess_);
    values->addRow("High Process:", highProcess_);
    grid->addLayout(values, 4, 0, 1, 5);
    layout->addWidget(scaling);
    layout->addStretch();

    connect(conversion_, &QButtonGroup::idClicked, this, [this](int id) {
        page_.OnConversionChosen(id);
        Refresh();
    });
    Refresh();
}

void AnaScalingWidget::Refresh() {
    ShowNames(page_.nameShown, page_.descriptionShown);
    ShowText(rawMin_, page_.rawMinText);
    ShowText(rawMax_, page_.rawMaxText);
    ShowText(engMin_, page_.engMinText);
    ShowText(engMax_, page_.engMaxText);
    ShowText(units_, page_.units);
    ShowChoice(conversion_, page_.conversion);
    ShowText(init_, page_.initText);
    ShowText(lowProcess_, page_.lowProcessText);
    ShowText(highProcess_, page_.highProcessText);
    for (QLineEdit* edit : {rawMin_, rawMax_, engMin_, engMax_, units_, lowProcess_, highProcess_})
        edit->setEnabled(page_.rangesEnabled);
}

QWidget* AnaScalingWidget::FieldWidget(int field) const {
    switch (field) {
        case AnaScalingPage::kFieldRawMin:
            return rawMin_;
        case AnaScalingPage::kFieldRawMax:
            return rawMax_;
        case AnaScalingPage::kFieldEngMin:
            return engMin_;
        case AnaScalingPage::kFieldEngMax:
            return engMax_;
        case AnaScalingPage::kFieldInit:
            return init_;
        case AnaScalingPage::kFieldLowProcess:
            return lowProcess_;
        default:
            return highProcess_;
    }
}

BinScalingWidget::BinScalingWidget(BinScalingPage& page, QWidget* parent)
    : NamedPageWidget(parent), page_(page) {
    QVBoxLayout* layout = layout_;
    auto* scaling = new QGroupBox(" Binary Scaling ", this);
    auto* inner = new QVBoxLayout(scaling);
    auto* conversionBox = new QGroupBox(" Conversion ", scaling);
    conversion_ = AddRadioGroup(conversionBox, {"&Normal", "&Inverted"});
    inner->addWidget(conversionBox);
    init_ = BoundCheckBox("Init Value", page.initValue, scaling);
    inner->addWidget(init_);
    layout->addWidget(scaling);
    layout->addStretch();
    connect(conversion_, &QButtonGroup::idClicked, this, [this](int id) { page_.conversion = id; });
    Refresh();
}

void BinScalingWidget::Refresh() {
    ShowNames(page_.nameShown, page_.descriptionShown);
    ShowChoice(conversion_, page_.conversion);
    init_->setChecked(page_.initValue);
}

}  // namespace velk::gui
