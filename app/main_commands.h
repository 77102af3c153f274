#pragma once
// The main window's commands: their IDs and the rules that enable them. The window asks
// these rules with the state of the moment; no rule lives in a widget.
#include <cstdint>

namespace velk {

enum CommandId : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_IMPORT_RES = 32836,
    ID_FILE_REIMPORT_RES = 32837,
    ID_FILE_IMPORT_CSV = 32798,
    ID_FILE_REIMPORT_CSV = 32799,
    ID_FILE_EXPORT_CSV = 32800,
    ID_FILE_REEXPORT_CSV = 32802,
    ID_FILE_MRU_FIRST = 57616,
    ID_FILE_MRU_LAST = 57625,
    ID_APP_EXIT = 57665,
    ID_ADD_DEVICE = 32772,
    ID_ADD_GROUP = 32773,
    ID_ADD_TAG = 32774,
    ID_ADD_MULTIPLY = 32795,
    ID_SERVER_OPTIONS = 32842,
    ID_EDIT_CUT = 57635,
    ID_EDIT_COPY = 57634,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_DELETE = 32785,
    ID_EDIT_PORTS = 32775,
    ID_EDIT_PROPERTIES = 32777,
    ID_VIEW_MONITOR = 32771,
    ID_VIEW_DEVICE_MONITOR = 32845,
    ID_VIEW_STATISTICS = 32844,
    ID_VIEW_STATUS_BAR = 59393,
    ID_VIEW_LOOK_FIRST = 210,
    ID_VIEW_LOOK_LAST = 220,
    ID_HELP_TOPICS = 32805,
    ID_HELP_ENGLISH = 32839,
    ID_HELP_GERMAN = 32840,
};

// The pane whose selection the Edit commands act on.
enum class ActivePane { DeviceTree, TagList };

// What the enabling rules look at.
struct CommandState {
    bool administrator = false;
    std::int32_t clientCount = 0;
    ActivePane pane = ActivePane::DeviceTree;
    bool hasCurrentNode = false;
    bool currentNodeInUse = false;   // an OPC client or the monitor uses the node
    bool currentNodeSerial = false;  // the node's device has no Modbus TCP flag
    bool hasSelectedTag = false;
    bool selectedTagInUse = false;  // an OPC group uses one of the selected tags
    bool clipboardHasTags = false;  // the clipboard offers the "Modbus" format
    std::int32_t deviceCount = 0;
    bool monitorRunning = false;
};

// Whether the command is enabled; commands outside the table are always enabled.
bool IsCommandEnabled(int command, const CommandState& state);
// Whether the command shows a check mark (the Monitor while it runs).
bool IsCommandChecked(int command, const CommandState& state);

}  // namespace velk
