#include "gui/x11_lock_keys.h"

#include <QGuiApplication>
// X11's headers come last: their macros (None, KeyPress, Bool) collide with Qt's names.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>

namespace velk::gui {
namespace {

// The named indicator's state; none when the keyboard has no such indicator.
std::optional<bool> NamedIndicator(Display* display, const char* name) {
    const Atom atom = XInternAtom(display, name, True);
    if (atom == 0) return std::nullopt;
    Bool on = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &on, nullptr, nullptr)) return std::nullopt;
    return on != False;
}

}  // namespace

std::optional<LockKeyState> QueryX11LockKeys() {
    // Only the xcb platform draws on the X display; others (offscreen with GL) may hold one.
    if (qGuiApp == nullptr || QGuiApplication::platformName() != "xcb") return std::nullopt;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    Display* display = x11 ? x11->display() : nullptr;
    if (display == nullptr) return std::nullopt;
    const std::optional<bool> caps = NamedIndicator(display, "Caps Lock");
    if (!caps) return std::nullopt;
    LockKeyState state;
    state.caps = *caps;
    state.num = NamedIndicator(display, "Num Lock").value_or(false);
    state.scroll = NamedIndicator(display, "Scroll Lock").value_or(false);
    return state;
}

}  // namespace velk::gui
