#include "gui/tag_sheet/copy_tag_window.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/tag_sheet/widget_binding.h"
#include "model/tag_sheet/copy_tag_dialog.h"

namespace velk::gui {

CopyTagWindow::CopyTagWindow(const CCopyTagDlg& dialog, QWidget* parent) : QDialog(parent) {
    setWindowTitle(kCopyTagCaption);
    name_ = new QLineEdit(ToQString(dialog.nameText), this);
    name_->setObjectName("name");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name_);
    for (const std::string* line : {&dialog.firstLine, &dialog.secondLine, &dialog.thirdLine}) {
        auto* label = new QLabel(ToQString(*line), this);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
    }
    auto* buttons = new QHBoxLayout;
    const std::pair<const char*, CopyTagChoice> choices[] = {
        {"&Rename", CopyTagChoice::Rename},
        {"&Overwrite", CopyTagChoice::Overwrite},
        {"&Skip", CopyTagChoice::Skip},
        {"&Cancel", CopyTagChoice::Cancel}};
    for (const auto& [label, choice] : choices) {
        auto* button = new QPushButton(label, this);
        button->setAutoDefault(false);
        const CopyTagChoice chosen = choice;
        connect(button, &QPushButton::clicked, this, [this, chosen] { CloseWith(chosen); });
        buttons->addWidget(button);
    }
    layout->addLayout(buttons);
}

std::string CopyTagWindow::EnteredName() const { return name_->text().toStdString(); }

void CopyTagWindow::CloseWith(CopyTagChoice choice) {
    choice_ = choice;
    if (choice == CopyTagChoice::Cancel) {
        reject();
    } else {
        accept();
    }
}

}  // namespace velk::gui
