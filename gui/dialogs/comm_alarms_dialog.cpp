#include "gui/dialogs/comm_alarms_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/session.h"

namespace velk::gui {

CommAlarmsDialog::CommAlarmsDialog(std::array<CommAlarmSettings, kCommAlarmCount>& alarms,
                                   IMessageBox& messages, QWidget* parent)
    : QDialog(parent), alarms_(alarms), messages_(messages), model_(alarms) {
    setObjectName("communicationAlarms");
    setWindowTitle("Communication Alarms");
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < kCommAlarmCount; ++i) {
        auto* box =
            new QGroupBox(QString(kCommAlarmTitles[static_cast<std::size_t>(i)]).trimmed(), this);
        auto* grid = new QGridLayout(box);
        grid->addWidget(new QLabel("Priority", box), 0, 1);
        grid->addWidget(new QLabel("Message", box), 0, 2);
        AlarmWidgets& w = widgets_[static_cast<std::size_t>(i)];
        int row = 1;
        for (bool failurePart : {true, false}) {
            PartWidgets& p = failurePart ? w.failure : w.normal;
            p.enabled = new QCheckBox(failurePart ? "Failure" : "Normal", box);
            p.priority = new QLineEdit(box);
            p.priority->setMaximumWidth(60);
            p.message = new QLineEdit(box);
            p.message->setMinimumWidth(200);
            p.acknowledge = new QCheckBox("Ack. required", box);
            grid->addWidget(p.enabled, row, 0);
            grid->addWidget(p.priority, row, 1);
            grid->addWidget(p.message, row, 2);
            grid->addWidget(p.acknowledge, row, 3);
            connect(p.enabled, &QCheckBox::toggled, this, [this, i, failurePart](bool on) {
                model_.SetEnabled(i, failurePart, on);
                Sync();
            });
            connect(p.priority, &QLineEdit::textEdited, this,
                    [this, i, failurePart](const QString& text) {
                        model_.SetPriority(i, failurePart, text.toStdString());
                    });
            connect(p.message, &QLineEdit::textEdited, this,
                    [this, i, failurePart](const QString& text) {
                        model_.SetMessage(i, failurePart, text.toStdString());
                    });
            connect(p.acknowledge, &QCheckBox::toggled, this, [this, i, failurePart](bool on) {
                model_.SetAcknowledge(i, failurePart, on);
                Sync();
            });
            ++row;
        }
        grid->addWidget(new QLabel("Source:", box), row, 0);
        w.source = new QLineEdit(box);
        grid->addWidget(w.source, row, 1, 1, 3);
        connect(w.source, &QLineEdit::textEdited, this,
                [this, i](const QString& text) { model_.SetSource(i, text.toStdString()); });
        layout->addWidget(box);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { Ok(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Sync();
}

void CommAlarmsDialog::Sync() {
    for (int i = 0; i < kCommAlarmCount; ++i) {
        AlarmWidgets& w = widgets_[static_cast<std::size_t>(i)];
        for (bool failurePart : {true, false}) {
            PartWidgets& p = failurePart ? w.failure : w.normal;
            const CommAlarmsDialogModel::Part& part =
                failurePart ? model_.Failure(i) : model_.Normal(i);
            const QSignalBlocker b1(p.enabled), b2(p.acknowledge);
            p.enabled->setChecked(part.enabled);
            p.priority->setText(QString::fromStdString(part.priority));
            p.message->setText(QString::fromStdString(part.message));
            p.acknowledge->setChecked(part.acknowledge);
            p.acknowledge->setEnabled(model_.AcknowledgeEditable(i));
        }
        w.source->setText(QString::fromStdString(model_.Source(i)));
        w.source->setEnabled(model_.SourceEditable(i));
    }
}

QLineEdit* CommAlarmsDialog::PriorityField(int index, bool failurePart) const {
    const AlarmWidgets& w = widgets_.at(static_cast<std::size_t>(index));
    return failurePart ? w.failure.priority : w.normal.priority;
}

QCheckBox* CommAlarmsDialog::EnableBox(int index, bool failurePart) const {
    const AlarmWidgets& w = widgets_.at(static_cast<std::size_t>(index));
    return failurePart ? w.failure.enabled : w.normal.enabled;
}

bool CommAlarmsDialog::Ok() {
    if (const auto message = model_.Ok(alarms_)) {
        messages_.Show(*message, MessageKind::Warning);
        return false;
    }
    accept();
    return true;
}

}  // namespace velk::gui
