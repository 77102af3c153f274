#include "gui/view_commands.h"

#include <QMenu>

namespace velk::gui {

void ShowCommandMenu(QWidget* view, IViewCommands& commands, const char* title,
                     std::initializer_list<MenuEntry> entries, const QPoint& globalPos) {
    QMenu menu(title, view);
    for (const MenuEntry& entry : entries) {
        QAction* action = menu.addAction(entry.text);
        action->setEnabled(commands.IsEnabled(entry.commandId));
        QObject::connect(action, &QAction::triggered, view,
                         [&commands, id = entry.commandId] { commands.RunCommand(id); });
    }
    menu.exec(globalPos);
}

}  // namespace velk::gui
