#include "gui/fallback_tag_dialogs.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include "model/o_modbus_tag.h"

namespace velk::gui {

bool FallbackTagDialogs::EditTag(QWidget* parent, CDoc&, OModbusTag&, bool) {
    QMessageBox::information(parent, "Tag Properties", kTagSheetMissing);
    return false;
}

void FallbackTagDialogs::MultiplyTag(QWidget* parent, CDoc&, OModbusTag&) {
    QMessageBox::information(parent, "Multiply Tag", kTagSheetMissing);
}

CopyTagChoice FallbackTagDialogs::AskCopyTag(QWidget* parent, const OModbusTag& pasted,
                                             const OModbusTag&, std::string& newName) {
    QMessageBox box(
        QMessageBox::Question, "Copying Tag",
        QString("A tag named \"%1\" already exists.").arg(QString::fromStdString(pasted.name)),
        QMessageBox::NoButton, parent);
    QPushButton* rename = box.addButton("&Rename", QMessageBox::AcceptRole);
    QPushButton* overwrite = box.addButton("&Overwrite", QMessageBox::AcceptRole);
    QPushButton* skip = box.addButton("&Skip", QMessageBox::RejectRole);
    box.addButton(QMessageBox::Cancel);
    box.exec();
    if (box.clickedButton() == overwrite) return CopyTagChoice::Overwrite;
    if (box.clickedButton() == skip) return CopyTagChoice::Skip;
    if (box.clickedButton() == rename) {
        bool ok = false;
        const QString name =
            QInputDialog::getText(parent, "Copying Tag", "New name:", QLineEdit::Normal,
                                  QString::fromStdString(pasted.name), &ok);
        if (!ok) return CopyTagChoice::Cancel;
        newName = name.toStdString();
        return CopyTagChoice::Rename;
    }
    return CopyTagChoice::Cancel;
}

}  // namespace velk::gui
