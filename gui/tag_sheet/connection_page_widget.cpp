#include "gui/tag_sheet/connection_page_widget.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "gui/tag_sheet/widget_binding.h"
#include "model/tag_sheet/tag_page.h"

namespace velk::gui {

ConnectionPageWidget::ConnectionPageWidget(TagPage& page, QWidget* parent)
    : SheetPageWidget(parent), page_(page) {
    auto* connection = new QGroupBox(" PLC Connection ", this);
    auto* form = new QFormLayout(connection);
    name_ = BoundLineEdit(page.name, connection);
    name_->setObjectName("name");
    description_ = BoundLineEdit(page.description, connection);
    location_ = new QComboBox(connection);
    location_->setObjectName("location");
    ShowEntries(location_, LocationEntries());
    address_ = BoundLineEdit(page.addressText, connection);
    address_->setObjectName("address");
    auto* locationRow = new QHBoxLayout;
    locationRow->addWidget(location_, 1);
    locationRow->addWidget(address_);
    dataType_ = new QComboBox(connection);
    dataType_->setObjectName("dataType");
    bytes_ = BoundLineEdit(page.bytesText, connection);
    bytes_->setObjectName("bytes");
    byteOrder_ = new QComboBox(connection);
    byteOrder_->setObjectName("byteOrder");
    ShowEntries(byteOrder_, ByteOrderEntries());
    bit_ = BoundLineEdit(page.bitText, connection);
    bit_->setObjectName("bit");
    defaultDisplay_ = BoundLineEdit(page.defaultDisplay, connection);
    simulation_ = new QComboBox(connection);
    ShowEntries(simulation_, SimulationEntries());
    form->addRow("Name:", name_);
    form->addRow("Description:", description_);
    form->addRow("Location:", locationRow);
    form->addRow("Data Type:", dataType_);
    form->addRow("Number of Bytes:", bytes_);
    form->addRow("Byte Order:", byteOrder_);
    form->addRow("Bit:", bit_);
    form->addRow("Def. Display:", defaultDisplay_);
    form->addRow("Simulation:", simulation_);

    auto* access = new QGroupBox(" Access Rights ", this);
    auto* accessLayout = new QHBoxLayout(access);
    read_ = BoundCheckBox("Read access", page.readAccess, access);
    read_->setObjectName("read");
    write_ = BoundCheckBox("Write access", page.writeAccess, access);
    write_->setObjectName("write");
    accessLayout->addWidget(read_);
    accessLayout->addWidget(write_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(connection);
    layout->addWidget(access);
    layout->addStretch();

    connect(location_, &QComboBox::activated, this, [this](int kind) {
        page_.OnLocationChosen(kind);
        Refresh();
    });
    connect(dataType_, &QComboBox::activated, this, [this](int position) {
        page_.OnDataTypeChosen(position);
        Refresh();
    });
    connect(byteOrder_, &QComboBox::activated, this,
            [this](int order) { page_.byteOrder = order; });
    connect(simulation_, &QComboBox::activated, this,
            [this](int kind) { page_.simulationKind = kind; });
    Refresh();
}

void ConnectionPageWidget::Refresh() {
    ShowText(name_, page_.name);
    ShowText(description_, page_.description);
    location_->setCurrentIndex(page_.locationKind);
    ShowText(address_, page_.addressText);
    ShowEntries(dataType_, page_.DataTypeEntries());
    dataType_->setCurrentIndex(page_.dataTypePosition);
    dataType_->setEnabled(page_.dataTypeEnabled);
    ShowText(bytes_, page_.bytesText);
    bytes_->setEnabled(page_.bytesEnabled);
    byteOrder_->setCurrentIndex(page_.byteOrder);
    byteOrder_->setEnabled(page_.byteOrderEnabled);
    ShowText(bit_, page_.bitText);
    bit_->setEnabled(page_.bitEnabled);
    ShowText(defaultDisplay_, page_.defaultDisplay);
    simulation_->setCurrentIndex(page_.simulationKind);
    read_->setChecked(page_.readAccess);
    write_->setChecked(page_.writeAccess);
    read_->setEnabled(page_.accessEnabled);
    write_->setEnabled(page_.accessEnabled);
}

QWidget* ConnectionPageWidget::FieldWidget(int field) const {
    if (field == TagPage::kFieldBit) return bit_;
    return field == TagPage::kFieldBytes ? bytes_ : address_;
}

}  // namespace velk::gui
