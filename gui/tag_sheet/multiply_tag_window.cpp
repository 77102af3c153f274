#include "gui/tag_sheet/multiply_tag_window.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/tag_sheet/widget_binding.h"
#include "model/tag_sheet/duplicate_tag_dialog.h"

namespace velk::gui {

MultiplyTagWindow::MultiplyTagWindow(CDuplicateTagDialog& dialog, ShowMessageFn showMessage,
                                     QWidget* parent)
    : QDialog(parent), dialog_(dialog), showMessage_(std::move(showMessage)) {
    setWindowTitle(kMultiplyTagCaption);
    auto* form = new QFormLayout;
    auto line = [this, form](const char* label, const std::string& text, const char* name) {
        auto* edit = new QLineEdit(ToQString(text), this);
        edit->setObjectName(name);
        form->addRow(label, edit);
        return edit;
    };
    baseName_ = line("Base tag name:", dialog.baseName, "baseName");
    firstNumber_ = line("First number:", dialog.firstNumberText, "firstNumber");
    places_ = line("Numeric places:", dialog.placesText, "places");
    firstLocation_ = line("First location:", dialog.firstLocationText, "firstLocation");
    count_ = line("Number of tags:", dialog.countText, "count");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("ok");
    connect(buttons, &QDialogButtonBox::accepted, this, &MultiplyTagWindow::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &MultiplyTagWindow::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void MultiplyTagWindow::accept() {
    CDuplicateTagDialog entered = dialog_;
    entered.baseName = baseName_->text().toStdString();
    entered.firstNumberText = firstNumber_->text().toStdString();
    entered.placesText = places_->text().toStdString();
    entered.firstLocationText = firstLocation_->text().toStdString();
    entered.countText = count_->text().toStdString();
    if (auto error = entered.ReadEntries()) {
        showMessage_(this, ToQString(error->message));
        QLineEdit* fields[] = {nullptr, firstNumber_, places_, firstLocation_, count_};
        if (error->field > 0 && error->field < 5) {
            fields[error->field]->setFocus();
            fields[error->field]->selectAll();
        }
        return;
    }
    dialog_ = entered;
    QDialog::accept();
}

}  // namespace velk::gui
