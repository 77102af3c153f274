#pragma once
// What the application object reaches through interfaces of its own: the main window. The
// server program and the GUI implement it; tests use doubles.
#include <cstdint>

namespace velk {

class IClock;

// The main window: hidden for embedded starts, drawn by the GUI when there is a display.
class IMainWindow {
  public:
    virtual ~IMainWindow() = default;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void BringToFront() = 0;
    virtual bool IsVisible() const = 0;
    // The close rule's pause on the main thread (clock.Sleep in effect): a drawn window stays
    // painted meanwhile but takes no input, and no message of the application is handled.
    virtual void Pause(IClock& clock, std::uint32_t milliseconds) = 0;
};

}  // namespace velk
