#pragma once
// The keyboard's lock keys as the status bar's CAP, NUM and SCRL indicators show them. Where
// the display reports the keyboard's own indicator state (X11's keyboard extension), that
// report is believed whenever it comes; without one, each press of a lock key toggles its
// state from the last report (or from off), which is right as long as the keys are pressed
// while the program has the keyboard.
#include <array>
#include <string_view>

namespace velk {

enum class LockKey { Caps, Num, Scroll };
inline constexpr std::array<LockKey, 3> kLockKeys = {LockKey::Caps, LockKey::Num, LockKey::Scroll};

struct LockKeyState {
    bool caps = false;
    bool num = false;
    bool scroll = false;
    bool operator==(const LockKeyState&) const = default;

    bool On(LockKey key) const;
    void Set(LockKey key, bool on);
};

class LockKeyTracker {
  public:
    // A lock key went down; an auto-repeated press of a held key changes nothing.
    void Pressed(LockKey key, bool autoRepeat);
    // The display's report replaces what was tracked.
    void Reported(const LockKeyState& state) { state_ = state; }
    const LockKeyState& State() const { return state_; }

  private:
    LockKeyState state_;
};

// The indicator's name ("CAP", "NUM", "SCRL"), shown while the lock is on; the pane stays
// blank while it is off.
std::string_view IndicatorName(LockKey key);
std::string_view IndicatorText(LockKey key, const LockKeyState& state);

}  // namespace velk
