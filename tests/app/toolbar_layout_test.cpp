#include "app/toolbar_layout.h"

#include <gtest/gtest.h>

#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

constexpr int kSep = ToolBarLayout::kSeparator;
const std::vector<int> kDefault = {1, 2, kSep, 3, 4, kSep, 5};

TEST(ToolBarLayoutTest, ShownItemsKeepOnlySeparatorsBetweenShownButtons) {
    ToolBarLayout layout(kDefault);
    layout.SetVisible(3, false);
    layout.SetVisible(4, false);  // a whole group hidden: one separator left
    layout.SetVisible(2, false);  // a separator cannot be hidden
    EXPECT_EQ(layout.ShownItems(), (std::vector<int>{1, 2, kSep, 5}));
    layout.Reset();
    EXPECT_FALSE(layout.MoveUp(0));
    EXPECT_FALSE(layout.MoveDown(kDefault.size() - 1));
    layout.MoveUp(2);  // the first separator at the front shows nowhere
    layout.MoveUp(1);
    EXPECT_EQ(layout.ShownItems(), (std::vector<int>{1, 2, 3, 4, kSep, 5}));
}

TEST(ToolBarLayoutTest, StoredTextRoundTripsAndForeignTextsAreMended) {
    ToolBarLayout layout(kDefault);
    layout.MoveDown(0);
    layout.SetVisible(4, false);
    EXPECT_EQ(layout.ToText(), "2,1,0,3,-4,0,5");
    testing::MemorySettingsStore store;
    SettingsAccess user(store, std::string(kUserApplicationKey));
    ASSERT_TRUE(layout.Save(user));
    ToolBarLayout read(kDefault);
    read.Load(user);
    EXPECT_EQ(read.Items(), layout.Items());

    // Unknown and repeated commands dropped, unnamed buttons added at the end; nothing
    // usable leaves the default.
    const std::pair<const char*, std::vector<int>> cases[] = {
        {"5,99,5,-1", {5, 1, 2, 3, 4}}, {"3,x,,4", {3, 4, 1, 2, 5}}, {"junk,0,0", kDefault}};
    for (const auto& [text, order] : cases) {
        ToolBarLayout mended(kDefault);
        mended.MoveDown(0);
        mended.FromText(text);
        std::vector<int> ids;
        for (const auto& item : mended.Items()) ids.push_back(item.commandId);
        EXPECT_EQ(ids, order) << text;
    }
}

}  // namespace
}  // namespace velk
