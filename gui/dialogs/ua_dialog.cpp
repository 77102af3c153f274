#include "gui/dialogs/ua_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <cstdlib>

#include "gui/gui_host.h"
#include "gui/qt_message_box.h"
#include "gui/qt_text.h"
#include "platform/host_name.h"

namespace velk::gui {
namespace {

UaHostFacts Facts() {
    // The dialog runs in a user's session: the user's default PKI directory.
    const std::string pki = DefaultPkiDirectory(false, [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::optional<std::string>(value) : std::nullopt;
    });
    return UaHostFacts{HostName(), pki};
}

}  // namespace

UaDialog::UaDialog(IGuiHost& host, QWidget* parent)
    : QDialog(parent), host_(host), model_(host.Settings().OpcUa, Facts(), host.IsAdministrator()) {
    setObjectName("opcua");
    setWindowTitle(QtText(kUaDialogTitle));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    for (const UaField& field : UaFields()) {
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
            if (setting == "PkiDirectory") {
                edit->setPlaceholderText(QString::fromStdString(model_.DefaultPkiDirectory()));
            }
            connect(edit, &QLineEdit::textEdited, this, [this, setting](const QString& entered) {
                model_.SetText(setting, entered.toStdString());
                Sync();
            });
            form->addRow(QtText(field.label), edit);
            fields_.edits[setting] = edit;
        }
    }
    auto* note = new QLabel(QtText(kUaRestartNote), this);
    note->setObjectName("restartNote");
    layout->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    Sync();
}

QWidget* UaDialog::Field(const std::string& setting) const { return fields_.Find(setting); }

void UaDialog::Sync() { fields_.Sync(model_); }

bool UaDialog::Ok() {
    QtMessageBox messages(this);
    if (!host_.ApplyOpcUa(model_, messages)) {
        if (const auto focus = model_.FocusField()) fields_.FocusOn(*focus);
        return false;
    }
    accept();
    return true;
}

}  // namespace velk::gui
