#pragma once
// What the two views ask of the main window: its commands (which carry the enabling rules)
// and the drop of dragged tags on a node.
#include <initializer_list>

#include "app/main_commands.h"

class QMimeData;
class QPoint;
class QWidget;

namespace velk {
class OTagGroup;
}

namespace velk::gui {

class IViewCommands {
  public:
    virtual ~IViewCommands() = default;
    virtual bool IsEnabled(int commandId) = 0;
    // Runs the command when it is enabled.
    virtual void RunCommand(int commandId) = 0;
    // The pane whose selection the Edit commands act on took the focus.
    virtual void PaneActivated(ActivePane pane) = 0;
    // Tags dropped on a node of the tree; true when they were taken. movesListSelection:
    // the drop moves the rows selected in this window's tag list, which are deleted
    // afterwards; it is refused, before anything is pasted, when that delete would be.
    virtual bool DropTags(OTagGroup& target, const QMimeData* data,
                          bool movesListSelection = false) = 0;
};

// Opens a view's context menu at a global position: the entries' texts with their commands,
// each enabled by the window's rules.
struct MenuEntry {
    const char* text;
    int commandId;
};
void ShowCommandMenu(QWidget* view, IViewCommands& commands, const char* title,
                     std::initializer_list<MenuEntry> entries, const QPoint& globalPos);

}  // namespace velk::gui
