#pragma once
// What the application object reaches through interfaces of its own: the main window. The
// server program and the GUI implement it; tests use doubles.
namespace velk {

// The main window: hidden for embedded starts, drawn by the GUI when there is a display.
class IMainWindow {
  public:
    virtual ~IMainWindow() = default;
    virtual void Show() = 0;
    virtual void Hide() = 0;
    virtual void BringToFront() = 0;
    virtual bool IsVisible() const = 0;
};

}  // namespace velk
