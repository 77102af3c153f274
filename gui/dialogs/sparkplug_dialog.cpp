#include "gui/dialogs/sparkplug_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/gui_host.h"
#include "gui/qt_message_box.h"
#include "gui/qt_text.h"
#include "platform/host_name.h"
#include "platform/linux/process_info.h"

namespace velk::gui {
namespace {}  // namespace

SparkplugDialog::SparkplugDialog(IGuiHost& host, QWidget* parent)
    : QDialog(parent),
      host_(host),
      model_(host.Settings().Sparkplug, HostName(), host.Settings().TraceFile.FileName) {
    setObjectName("sparkplug");
    setWindowTitle(QtText(kSparkplugDialogTitle));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    for (const SparkplugField& field : SparkplugFields()) {
        const std::string setting(field.setting);
        if (field.checkBox) {
            auto* box = new QCheckBox(QtText(field.label), this);
            box->setObjectName(QtText(field.setting));
            connect(box, &QCheckBox::toggled, this, [this, setting](bool on) {
                model_.SetText(setting, on ? "1" : "0");
                Sync();
            });
            form->addRow(box);
            fields_.boxes[setting] = box;
        } else {
            auto* edit = new QLineEdit(this);
            edit->setObjectName(QtText(field.setting));
            connect(edit, &QLineEdit::textEdited, this, [this, setting](const QString& entered) {
                model_.SetText(setting, entered.toStdString());
                Sync();
            });
            form->addRow(QtText(field.label), edit);
            fields_.edits[setting] = edit;
        }
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    Sync();
}

QWidget* SparkplugDialog::Field(const std::string& setting) const { return fields_.Find(setting); }

void SparkplugDialog::Sync() { fields_.Sync(model_); }

bool SparkplugDialog::Ok() {
    QtMessageBox messages(this);
    if (!host_.ApplySparkplug(model_, messages)) {
        if (const auto focus = model_.FocusField()) fields_.FocusOn(*focus);
        return false;
    }
    accept();
    return true;
}

}  // namespace velk::gui
