#pragma once
// The window's icons, drawn here at 16 x 16: the tree's and list's item icons and the
// toolbar's command icons.
#include <QIcon>

namespace velk::gui {

enum class ItemIcon { Device, DeviceSelected, Group, GroupSelected, BoolTag, Tag };

QIcon ItemIconFor(ItemIcon kind);
// The icon of a toolbar command; an empty icon for commands without one.
QIcon CommandIcon(int commandId);
// The application's window icon.
QIcon ApplicationIcon();

}  // namespace velk::gui
