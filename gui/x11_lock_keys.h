#pragma once
// The keyboard's indicator state ("Caps Lock", "Num Lock", "Scroll Lock") from the X server's
// keyboard extension, when the application draws on an X11 display.
#include <optional>

#include "app/lock_key_state.h"

namespace velk::gui {

// None when the display is not X11 or the server does not answer.
std::optional<LockKeyState> QueryX11LockKeys();

}  // namespace velk::gui
