#pragma once
// What the tag dialogs hand to the outside: message boxes and the help viewer. Tests
// replace the message box, which would otherwise wait for a click.
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace velk::gui {

using ShowMessageFn = std::function<void(QWidget* parent, const QString& text)>;
using OpenHelpFn = std::function<void(const std::string& helpAddress)>;

// A modal warning box with the application's name as its title.
void ShowMessageBox(QWidget* parent, const QString& text);

}  // namespace velk::gui
