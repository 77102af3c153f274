#include "app/toolbar_layout.h"

#include <gtest/gtest.h>

#include "core/settings_access.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

constexpr int kSep = ToolBarLayout::kSeparator;
// Three groups of buttons, as the "Standard" toolbar has.
const std::vector<int> kDefault = {1, 2, kSep, 3, 4, kSep, 5};

std::vector<int> Order(const ToolBarLayout& layout) {
    std::vector<int> ids;
    for (const auto& item : layout.Items()) ids.push_back(item.commandId);
    return ids;
}

TEST(ToolBarLayoutTest, MovesStopAtTheEndsAndResetRestoresTheDefault) {
    ToolBarLayout layout(kDefault);
    EXPECT_FALSE(layout.MoveUp(0));
    EXPECT_FALSE(layout.MoveDown(kDefault.size() - 1));
    EXPECT_FALSE(layout.MoveDown(kDefault.size()));
    EXPECT_TRUE(layout.MoveDown(0));
    EXPECT_TRUE(layout.MoveUp(6));
    EXPECT_EQ(Order(layout), (std::vector<int>{2, 1, kSep, 3, 4, 5, kSep}));
    layout.Reset();
    EXPECT_EQ(Order(layout), kDefault);
}

TEST(ToolBarLayoutTest, ShownItemsKeepOnlySeparatorsBetweenShownButtons) {
    struct Case {
        std::vector<std::size_t> hidden;
        std::vector<int> shown;
    };
    const Case cases[] = {
        {{}, {1, 2, kSep, 3, 4, kSep, 5}},
        {{3, 4}, {1, 2, kSep, 5}},           // a whole group hidden: one separator left
        {{0, 1}, {3, 4, kSep, 5}},           // none first
        {{6}, {1, 2, kSep, 3, 4}},           // none last
        {{2}, {1, 2, kSep, 3, 4, kSep, 5}},  // a separator cannot be hidden
    };
    for (const Case& c : cases) {
        ToolBarLayout layout(kDefault);
        for (std::size_t index : c.hidden) layout.SetVisible(index, false);
        EXPECT_EQ(layout.ShownItems(), c.shown);
    }
    ToolBarLayout moved(kDefault);
    moved.MoveUp(2);  // the first separator moved to the front shows nowhere
    moved.MoveUp(1);
    EXPECT_EQ(moved.ShownItems(), (std::vector<int>{1, 2, 3, 4, kSep, 5}));
}

TEST(ToolBarLayoutTest, StoredTextRoundTripsAndForeignTextsAreMended) {
    ToolBarLayout layout(kDefault);
    layout.MoveDown(0);
    layout.SetVisible(4, false);
    const std::string text = layout.ToText();
    EXPECT_EQ(text, "2,1,0,3,-4,0,5");
    ToolBarLayout read(kDefault);
    EXPECT_TRUE(read.FromText(text));
    EXPECT_EQ(read.Items(), layout.Items());

    struct Case {
        const char* text;
        bool ok;
        std::vector<int> order;
    };
    const Case cases[] = {
        // unknown and repeated commands dropped, unnamed buttons added at the end
        {"5,99,5,-1", true, {5, 1, 2, 3, 4}},
        {"3,x,,4", true, {3, 4, 1, 2, 5}},
        // nothing usable: the default
        {"junk,77", false, kDefault},
        {"0,0", false, kDefault},
    };
    for (const Case& c : cases) {
        ToolBarLayout mended(kDefault);
        mended.MoveDown(0);
        EXPECT_EQ(mended.FromText(c.text), c.ok) << c.text;
        EXPECT_EQ(Order(mended), c.order) << c.text;
    }
    ToolBarLayout hidden(kDefault);
    ASSERT_TRUE(hidden.FromText("5,99,5,-1"));
    EXPECT_FALSE(hidden.Items()[1].visible);
}

TEST(ToolBarLayoutTest, TheUsersArrangementIsKeptInTheirProfile) {
    testing::MemorySettingsStore store;
    SettingsAccess user(store, std::string(kUserApplicationKey));
    ToolBarLayout none(kDefault);
    none.MoveDown(0);
    none.Load(user);  // nothing stored: the default, and nothing created
    EXPECT_EQ(Order(none), kDefault);
    EXPECT_FALSE(user.ReadSettingValue(kToolBarLayoutSubkey, kToolBarLayoutValueName));

    ToolBarLayout arranged(kDefault);
    arranged.MoveUp(6);
    arranged.SetVisible(0, false);
    ASSERT_TRUE(arranged.Save(user));
    ToolBarLayout next(kDefault);
    next.Load(user);
    EXPECT_EQ(next.Items(), arranged.Items());
}

}  // namespace
}  // namespace velk
