#pragma once
// Small helpers that tie entry widgets to the text and flag fields of the dialog models:
// the user's edits go into the model at once, and Refresh-style code sets the widgets
// from the model without echoing back.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QString>
#include <string>
#include <vector>

namespace velk::gui {

inline QString ToQString(const std::string& text) { return QString::fromStdString(text); }

// A line edit whose edits are written into target.
inline QLineEdit* BoundLineEdit(std::string& target, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    QObject::connect(edit, &QLineEdit::textEdited,
                     [&target](const QString& text) { target = text.toStdString(); });
    return edit;
}

// A check box whose clicks are written into target.
inline QCheckBox* BoundCheckBox(const QString& label, bool& target, QWidget* parent) {
    auto* box = new QCheckBox(label, parent);
    QObject::connect(box, &QCheckBox::clicked, [&target](bool ticked) { target = ticked; });
    return box;
}

inline void ShowText(QLineEdit* edit, const std::string& text) {
    const QString shown = ToQString(text);
    if (edit->text() != shown) edit->setText(shown);
}

inline void ShowEntries(QComboBox* combo, const std::vector<std::string>& entries) {
    if (combo->count() == static_cast<int>(entries.size())) return;
    combo->clear();
    for (const std::string& entry : entries) combo->addItem(ToQString(entry));
}

}  // namespace velk::gui
