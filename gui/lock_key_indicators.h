#pragma once
// The status bar's CAP, NUM and SCRL panes. They follow the keyboard: on X11 the keyboard's
// own indicators are read at start, when the application becomes active and at every lock
// key; elsewhere (Wayland, offscreen) the lock keys pressed in the application toggle them
// (LockKeyTracker).
#include <QObject>
#include <array>
#include <functional>
#include <optional>

#include "app/lock_key_state.h"

class QLabel;
class QStatusBar;

namespace velk::gui {

class LockKeyIndicators final : public QObject {
  public:
    // report: the display's indicator state, none when it has none to give.
    using Report = std::function<std::optional<LockKeyState>()>;
    LockKeyIndicators(QStatusBar& statusBar, Report report);
    ~LockKeyIndicators() override;

    const LockKeyState& State() const { return tracker_.State(); }
    QLabel* Label(LockKey key) const { return labels_[static_cast<std::size_t>(key)]; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Refresh();
    void Show();

    Report report_;
    LockKeyTracker tracker_;
    std::array<QLabel*, kLockKeys.size()> labels_{};
};

}  // namespace velk::gui
