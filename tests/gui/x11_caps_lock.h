#pragma once
// Locks or unlocks Caps Lock on the test's own (virtual) X display, as a user's key would.
// Kept apart from the tests: X11's macros collide with Qt's names.
struct _XDisplay;

bool SetX11CapsLock(_XDisplay* display, bool on);
