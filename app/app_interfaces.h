#pragma once
// What the application object reaches through interfaces of its own: the main window. The
// server program and the GUI implement it; tests use doubles.
#include <cstdint>
#include <string>

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
    // Before the window closes or the Exit command runs: unsaved edits are offered for
    // saving ("Save changes to %1?"); false when the user cancels or the save fails, and the
    // window stays as it is. A window that cannot ask lets the close go on.
    virtual bool ConfirmClose() { return true; }
};

// The configuration's unsaved edits when the program ends without anyone to ask (a
// termination signal, the end of the session), and their return at the next start.
class IDocumentRecovery {
  public:
    virtual ~IDocumentRecovery() = default;
    virtual bool IsModified() const = 0;
    // The document's file; "" while it is untitled.
    virtual std::string PathName() const = 0;
    // Writes the configuration as it stands to path; the document keeps its own path and
    // its unsaved state. False with the reason in message.
    virtual bool WriteCopy(const std::string& path, std::string& message) = 0;
    // Reads a copy written by WriteCopy: the document then stands for original ("" for
    // untitled) with unsaved edits. False (the user told) when it cannot be read; the
    // document then holds original again.
    virtual bool OpenCopy(const std::string& copy, const std::string& original) = 0;
};

}  // namespace velk
