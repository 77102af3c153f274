#include "gui/dialogs/options_dialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/dialogs/sparkplug_dialog.h"
#include "gui/dialogs/ua_dialog.h"
#include "gui/gui_host.h"
#include "gui/qt_message_box.h"

namespace velk::gui {

OptionsDialog::OptionsDialog(IGuiHost& host, QWidget* parent)
    : QDialog(parent), host_(host), model_(host.Settings()) {
    setObjectName("serverOptions");
    setWindowTitle(QString::fromUtf8(kOptionsDialogTitle.data(),
                                     static_cast<qsizetype>(kOptionsDialogTitle.size())));
    auto* layout = new QVBoxLayout(this);
    auto* topForm = new QFormLayout;
    layout->addLayout(topForm);
    QFormLayout* form = topForm;
    auto text = [](std::string_view s) {
        return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
    };
    auto* buttons = new QHBoxLayout;
    // The publisher's settings have a dialog of their own, saved on its own OK.
    auto* sparkplug = new QPushButton(text(kSparkplugButtonLabel), this);
    sparkplug->setObjectName("sparkplugButton");
    connect(sparkplug, &QPushButton::clicked, this, [this] {
        SparkplugDialog dialog(host_, this);
        dialog.exec();
    });
    buttons->addWidget(sparkplug);
    auto* opcua = new QPushButton(text(kUaButtonLabel), this);
    opcua->setObjectName("opcuaButton");
    connect(opcua, &QPushButton::clicked, this, [this] {
        UaDialog dialog(host_, this);
        dialog.exec();
    });
    buttons->addWidget(opcua);
    buttons->addStretch();
    for (const OptionsControlInfo& info : OptionsControls()) {
        switch (info.kind) {
            case OptionsControlKind::CheckBox: {
                auto* box = new QCheckBox(text(info.label), this);
                connect(box, &QCheckBox::toggled, this, [this, c = info.control](bool on) {
                    model_.SetChecked(c, on);
                    Sync();
                });
                form->addRow(box);
                boxes_[info.control] = box;
                controls_[info.control] = box;
                break;
            }
            case OptionsControlKind::GroupFrame: {
                auto* frame = new QGroupBox(text(info.label).trimmed(), this);
                form = new QFormLayout(frame);
                topForm->addRow(frame);
                controls_[info.control] = frame;
                break;
            }
            case OptionsControlKind::Text:
            case OptionsControlKind::Integer:
            case OptionsControlKind::Digits: {
                auto* field = new QLineEdit(this);
                connect(field, &QLineEdit::textEdited, this,
                        [this, c = info.control](const QString& entered) {
                            model_.SetText(c, entered.toStdString());
                            Sync();
                        });
                QWidget* shown = field;
                if (!info.unit.empty()) {
                    shown = new QWidget(this);
                    auto* row = new QHBoxLayout(shown);
                    row->setContentsMargins(0, 0, 0, 0);
                    row->addWidget(field);
                    row->addWidget(new QLabel(text(info.unit), shown));
                }
                form->addRow(text(info.label), shown);
                rows_[info.control] = {form, shown};
                // The frame holds the trace file's two fields only.
                if (info.control == OptionsControl::TraceFileSize) form = topForm;
                fields_[info.control] = field;
                controls_[info.control] = field;
                break;
            }
            case OptionsControlKind::Button: {
                auto* button = new QPushButton(text(info.label), this);
                buttons->addWidget(button);
                controls_[info.control] = button;
                if (info.control == OptionsControl::Ok) {
                    button->setDefault(true);
                    connect(button, &QPushButton::clicked, this, [this] { Ok(); });
                } else {
                    connect(button, &QPushButton::clicked, this, &QDialog::reject);
                }
                break;
            }
        }
    }
    layout->addLayout(buttons);
    Sync();
}

QWidget* OptionsDialog::Control(OptionsControl control) const {
    auto it = controls_.find(control);
    return it == controls_.end() ? nullptr : it->second;
}

void OptionsDialog::Sync() {
    for (auto& [control, box] : boxes_) {
        const QSignalBlocker block(box);
        box->setChecked(model_.Checked(control));
    }
    for (auto& [control, field] : fields_) {
        const QString shown = QString::fromStdString(model_.Text(control));
        if (field->text() != shown) {
            const int cursor = field->cursorPosition();
            field->setText(shown);
            field->setCursorPosition(std::min(cursor, static_cast<int>(shown.size())));
        }
    }
    for (auto& [control, widget] : controls_) {
        widget->setEnabled(model_.IsEnabled(control));
        widget->setVisible(model_.IsVisible(control));
    }
    for (auto& [control, row] : rows_)
        row.first->setRowVisible(row.second, model_.IsVisible(control));
}

bool OptionsDialog::Ok() {
    QtMessageBox messages(this);
    if (!host_.ApplyOptions(model_, messages)) {
        if (const auto focus = model_.FocusField()) {
            if (QWidget* field = Control(*focus)) {
                field->setFocus();
                if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
            }
        }
        return false;
    }
    accept();
    return true;
}

}  // namespace velk::gui
