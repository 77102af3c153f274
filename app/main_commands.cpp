#include "app/main_commands.h"

namespace velk {
namespace {

bool NoClients(const CommandState& s) { return s.clientCount == 0; }

// Delete and Cut: in the tree the current node when nobody uses it; in the list the
// selected tags when no OPC group uses them.
bool CanDelete(const CommandState& s) {
    if (!s.administrator || !NoClients(s) || !s.hasCurrentNode) return false;
    if (s.pane == ActivePane::DeviceTree) return !s.currentNodeInUse;
    return s.hasSelectedTag && !s.selectedTagInUse;
}

bool CanProperties(const CommandState& s) {
    if (!s.administrator) return false;
    return s.pane == ActivePane::DeviceTree ? s.hasCurrentNode : s.hasSelectedTag;
}

}  // namespace

bool IsCommandEnabled(int command, const CommandState& s) {
    if (command >= ID_FILE_MRU_FIRST && command <= ID_FILE_MRU_LAST) return s.administrator;
    switch (command) {
        case ID_FILE_NEW:
        case ID_FILE_OPEN:
        case ID_FILE_SAVE:
        case ID_FILE_SAVE_AS:
        case ID_FILE_REIMPORT_RES:
        case ID_FILE_REIMPORT_CSV:
        case ID_FILE_EXPORT_CSV:
        case ID_FILE_REEXPORT_CSV:
        case ID_ADD_DEVICE:
            return s.administrator;
        case ID_FILE_IMPORT_RES:
        case ID_FILE_IMPORT_CSV:
        case ID_SERVER_OPTIONS:
            return s.administrator && NoClients(s);
        case ID_ADD_GROUP:
        case ID_ADD_TAG:
            return s.administrator && s.hasCurrentNode;
        case ID_ADD_MULTIPLY:
            return s.administrator && s.hasSelectedTag;
        case ID_EDIT_CUT:
            return s.pane == ActivePane::TagList && CanDelete(s);
        case ID_EDIT_DELETE:
            return CanDelete(s);
        case ID_EDIT_COPY:
            return s.pane == ActivePane::TagList && s.administrator && s.hasCurrentNode &&
                   s.hasSelectedTag;
        case ID_EDIT_PASTE:
            return s.administrator && s.hasCurrentNode && s.clipboardHasTags;
        case ID_EDIT_PORTS:
            return s.administrator && s.hasCurrentNode && s.currentNodeSerial;
        case ID_EDIT_PROPERTIES:
            return CanProperties(s);
        case ID_VIEW_MONITOR:
            return s.deviceCount > 0;
        case ID_VIEW_DEVICE_MONITOR:
            return s.clientCount > 0;
        default:
            return true;
    }
}

bool IsCommandChecked(int command, const CommandState& s) {
    return command == ID_VIEW_MONITOR && s.monitorRunning;
}

}  // namespace velk
