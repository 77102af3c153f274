#pragma once
// The read-only "Name:" and "Description:" fields above the scaling and alarm pages.
#include <QFormLayout>
#include <QLineEdit>
#include <QWidget>

namespace velk::gui {

struct NameHeader {
    QLineEdit* name;
    QLineEdit* description;
};

inline NameHeader AddNameHeader(QWidget* page, QFormLayout* form) {
    NameHeader header{new QLineEdit(page), new QLineEdit(page)};
    header.name->setReadOnly(true);
    header.description->setReadOnly(true);
    form->addRow("Name:", header.name);
    form->addRow("Description:", header.description);
    return header;
}

}  // namespace velk::gui
