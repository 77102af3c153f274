#pragma once
// The widgets of a settings dialog's fields by setting name, as the Sparkplug B and OPC UA
// dialogs lay them out from their models' field tables: check boxes for "1"/"0" settings,
// line edits for the rest. A model gives Text(setting), IsEnabled(setting) and the field
// to focus after a refusal.
#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QString>
#include <QWidget>
#include <map>
#include <string>

namespace velk::gui {

struct SettingsFieldWidgets {
    std::map<std::string, QCheckBox*> boxes;
    std::map<std::string, QLineEdit*> edits;

    QWidget* Find(const std::string& setting) const {
        if (auto it = boxes.find(setting); it != boxes.end()) return it->second;
        if (auto it = edits.find(setting); it != edits.end()) return it->second;
        return nullptr;
    }

    // Shows the model's texts and which fields it lets be edited.
    template <class Model>
    void Sync(const Model& model) {
        for (auto& [setting, box] : boxes) {
            const QSignalBlocker block(box);
            box->setChecked(model.Text(setting) == "1");
            box->setEnabled(model.IsEnabled(setting));
        }
        for (auto& [setting, edit] : edits) {
            const QString shown = QString::fromStdString(model.Text(setting));
            if (edit->text() != shown) edit->setText(shown);
            edit->setEnabled(model.IsEnabled(setting));
        }
    }

    // Puts the focus on the refused field, its text selected.
    void FocusOn(const std::string& setting) const {
        if (QWidget* field = Find(setting)) {
            field->setFocus();
            if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
        }
    }
};

}  // namespace velk::gui
