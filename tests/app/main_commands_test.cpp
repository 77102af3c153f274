#include "app/main_commands.h"

#include <gtest/gtest.h>

namespace velk {
namespace {

// An administrator with a node and a tag selected, no clients, one device.
CommandState Everything(ActivePane pane) {
    CommandState s;
    s.administrator = true;
    s.pane = pane;
    s.hasCurrentNode = true;
    s.hasSelectedTag = true;
    s.clipboardHasTags = true;
    s.currentNodeSerial = true;
    s.deviceCount = 1;
    return s;
}

TEST(MainCommands, EachConditionOfTheTableDisablesItsCommands) {
    struct Case {
        const char* condition;
        void (*change)(CommandState&);
        std::vector<int> disabled;
        std::vector<int> stillEnabled;
    };
    const Case cases[] = {
        {"a client",
         [](CommandState& s) { s.clientCount = 1; },
         {ID_FILE_IMPORT_CSV, ID_FILE_IMPORT_RES, ID_SERVER_OPTIONS, ID_EDIT_DELETE, ID_EDIT_CUT},
         {ID_FILE_REIMPORT_CSV, ID_FILE_REIMPORT_RES, ID_FILE_EXPORT_CSV, ID_EDIT_COPY,
          ID_VIEW_DEVICE_MONITOR}},
        {"no current node",
         [](CommandState& s) { s.hasCurrentNode = false; },
         {ID_ADD_GROUP, ID_ADD_TAG, ID_EDIT_PASTE, ID_EDIT_PORTS, ID_EDIT_DELETE, ID_EDIT_COPY},
         {ID_ADD_DEVICE, ID_ADD_MULTIPLY}},
        {"no selected tag",
         [](CommandState& s) { s.hasSelectedTag = false; },
         {ID_ADD_MULTIPLY, ID_EDIT_COPY, ID_EDIT_CUT, ID_EDIT_DELETE, ID_EDIT_PROPERTIES},
         {ID_EDIT_PASTE, ID_ADD_TAG}},
        {"a tag in an OPC group",
         [](CommandState& s) { s.selectedTagInUse = true; },
         {ID_EDIT_CUT, ID_EDIT_DELETE},
         {ID_EDIT_COPY, ID_EDIT_PROPERTIES}},
        {"no tags on the clipboard",
         [](CommandState& s) { s.clipboardHasTags = false; },
         {ID_EDIT_PASTE},
         {ID_EDIT_COPY}},
        {"a Modbus TCP device",
         [](CommandState& s) { s.currentNodeSerial = false; },
         {ID_EDIT_PORTS},
         {ID_EDIT_PROPERTIES}},
        {"no device",
         [](CommandState& s) { s.deviceCount = 0; },
         {ID_VIEW_MONITOR},
         {ID_VIEW_STATISTICS, ID_ADD_DEVICE}},
    };
    for (const Case& c : cases) {
        CommandState s = Everything(ActivePane::TagList);
        c.change(s);
        for (int id : c.disabled) EXPECT_FALSE(IsCommandEnabled(id, s)) << c.condition << " " << id;
        for (int id : c.stillEnabled)
            EXPECT_TRUE(IsCommandEnabled(id, s)) << c.condition << " " << id;
    }
}

TEST(MainCommands, TheTreeDeletesItsNodeUnlessItIsInUseAndNeverCutsOrCopies) {
    CommandState s = Everything(ActivePane::DeviceTree);
    s.hasSelectedTag = false;
    EXPECT_TRUE(IsCommandEnabled(ID_EDIT_DELETE, s));
    EXPECT_TRUE(IsCommandEnabled(ID_EDIT_PROPERTIES, s));
    EXPECT_FALSE(IsCommandEnabled(ID_EDIT_CUT, s));
    EXPECT_FALSE(IsCommandEnabled(ID_EDIT_COPY, s));
    s.currentNodeInUse = true;
    EXPECT_FALSE(IsCommandEnabled(ID_EDIT_DELETE, s));
}

TEST(MainCommands, APlainUserKeepsOnlyTheViewingCommands) {
    CommandState s = Everything(ActivePane::TagList);
    s.administrator = false;
    s.clientCount = 1;
    for (int id = ID_FILE_MRU_FIRST; id <= ID_FILE_MRU_LAST; ++id)
        EXPECT_FALSE(IsCommandEnabled(id, s));
    for (int id : {ID_VIEW_MONITOR, ID_VIEW_DEVICE_MONITOR, ID_VIEW_STATISTICS, ID_VIEW_STATUS_BAR,
                   ID_APP_EXIT, ID_HELP_TOPICS, ID_HELP_GERMAN, ID_VIEW_LOOK_FIRST}) {
        EXPECT_TRUE(IsCommandEnabled(id, s)) << id;
    }
    s.monitorRunning = true;
    EXPECT_TRUE(IsCommandChecked(ID_VIEW_MONITOR, s));
    EXPECT_FALSE(IsCommandChecked(ID_VIEW_STATISTICS, s));
}

}  // namespace
}  // namespace velk
