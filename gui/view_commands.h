#pragma once
// What the two views ask of the main window: its commands (which carry the enabling rules)
// and the drop of dragged tags on a node.
#include "app/main_commands.h"

class QMimeData;

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
    // Tags dropped on a node of the tree; true when they were taken.
    virtual bool DropTags(OTagGroup& target, const QMimeData* data) = 0;
};

}  // namespace velk::gui
