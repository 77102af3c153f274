#pragma once
// The main window of a process without a display: nothing is drawn; its visibility is kept
// so that the close rules behave as they do with a window.
#include <atomic>

#include "app/app_interfaces.h"
#include "platform/clock.h"

namespace velk {

class HeadlessWindow final : public IMainWindow {
  public:
    void Show() override { visible_ = true; }
    void Hide() override { visible_ = false; }
    void BringToFront() override {}
    bool IsVisible() const override { return visible_; }
    void Pause(IClock& clock, std::uint32_t milliseconds) override { clock.Sleep(milliseconds); }

  private:
    std::atomic<bool> visible_{false};
};

}  // namespace velk
