#include "gui/qt_message_box.h"

#include <QMessageBox>

namespace velk::gui {
namespace {
QtMessageBox::Recorder& TheRecorder() {
    static QtMessageBox::Recorder recorder;
    return recorder;
}
}  // namespace

void QtMessageBox::Record(Recorder recorder) { TheRecorder() = std::move(recorder); }

void QtMessageBox::Show(const std::string& text, MessageKind kind) {
    if (TheRecorder()) {
        TheRecorder()(text, kind);
        return;
    }
    const QString message = QString::fromStdString(text);
    switch (kind) {
        case MessageKind::Error:
            QMessageBox::critical(parent_, kMessageBoxTitle, message);
            break;
        case MessageKind::Warning:
            QMessageBox::warning(parent_, kMessageBoxTitle, message);
            break;
        default:
            QMessageBox::information(parent_, kMessageBoxTitle, message);
            break;
    }
}

bool QtMessageBox::AskYesNo(const std::string& text) {
    if (TheRecorder()) return TheRecorder()(text, MessageKind::Information);
    return QMessageBox::question(parent_, kMessageBoxTitle, QString::fromStdString(text),
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace velk::gui
