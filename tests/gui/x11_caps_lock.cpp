#include "tests/gui/x11_caps_lock.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

bool SetX11CapsLock(_XDisplay* display, bool on) {
    const bool sent = XkbLockModifiers(display, XkbUseCoreKbd, LockMask, on ? LockMask : 0);
    XSync(display, False);
    return sent;
}
