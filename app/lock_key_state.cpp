#include "app/lock_key_state.h"

namespace velk {

bool LockKeyState::On(LockKey key) const {
    switch (key) {
        case LockKey::Caps:
            return caps;
        case LockKey::Num:
            return num;
        case LockKey::Scroll:
            return scroll;
    }
    return false;
}

void LockKeyState::Set(LockKey key, bool on) {
    switch (key) {
        case LockKey::Caps:
            caps = on;
            break;
        case LockKey::Num:
            num = on;
            break;
        case LockKey::Scroll:
            scroll = on;
            break;
    }
}

void LockKeyTracker::Pressed(LockKey key, bool autoRepeat) {
    if (!autoRepeat) state_.Set(key, !state_.On(key));
}

std::string_view IndicatorName(LockKey key) {
    switch (key) {
        case LockKey::Caps:
            return "CAP";
        case LockKey::Num:
            return "NUM";
        case LockKey::Scroll:
            return "SCRL";
    }
    return "";
}

std::string_view IndicatorText(LockKey key, const LockKeyState& state) {
    return state.On(key) ? IndicatorName(key) : std::string_view();
}

}  // namespace velk
