#include "gui/dialogs/group_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>

namespace velk::gui {

GroupDialog::GroupDialog(const QString& name, const QString& description, QWidget* parent)
    : QDialog(parent) {
    setObjectName("groupProperties");
    setWindowTitle("Group Properties");
    auto* form = new QFormLayout(this);
    name_ = new QLineEdit(name, this);
    name_->setObjectName("groupName");
    description_ = new QLineEdit(description, this);
    description_->setObjectName("description");
    description_->setMinimumWidth(260);
    form->addRow("Group Name:", name_);
    form->addRow("Description:", description_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString GroupDialog::Name() const { return name_->text(); }
QString GroupDialog::Description() const { return description_->text(); }

}  // namespace velk::gui
