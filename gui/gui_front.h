#pragma once
// The server's front with a display: the Qt application, the main window (made when the
// start-up first shows it, once the document exists), the document's dialogs and the main
// thread's loop, which dispatches Qt's events and the application object's messages.
#include <QPointer>
#include <atomic>
#include <memory>

#include "app/server/server_front.h"
#include "gui/gui_document_ui.h"
#include "gui/gui_host.h"

class QTimer;

namespace velk::gui {

class ITagSheetDialogs;
class MainWindow;

// How often the main thread looks at the application object's queue and timers while Qt
// waits for events. The bus and acquisition threads never wait for it.
inline constexpr int kMainLoopPollMs = 10;
// How often a paused window is repainted (the close rule's pause).
inline constexpr std::uint32_t kPausePaintMs = 50;
// The status bar's text while the close rule waits for the live monitor to end.
inline constexpr const char* kMonitorStopStatus = "Stopping the live monitor, please wait...";

// The main window as the application object drives it.
class GuiWindow final : public IMainWindow {
  public:
    GuiWindow(ITagSheetDialogs& tagDialogs, GuiDocumentUi& ui);
    ~GuiWindow() override;
    void SetHost(IGuiHost* host) { host_ = host; }
    // Shown when the window is first made (not for a process started by a client).
    void SetSplash(bool splash) { splash_ = splash; }

    void Show() override;
    void Hide() override;
    void BringToFront() override;
    bool IsVisible() const override { return visible_.load(); }
    void Pause(IClock& clock, std::uint32_t milliseconds) override;
    bool ConfirmClose() override;
    // While the window pauses, the main loop leaves the application's messages for later.
    bool Pausing() const { return pausing_; }
    MainWindow* Window() const { return window_.get(); }
    // Destroys the window (it observes the document, which goes before the front does).
    void Destroy();

  private:
    void Create();

    ITagSheetDialogs& tagDialogs_;
    GuiDocumentUi& ui_;
    IGuiHost* host_ = nullptr;
    bool splash_ = false;
    std::unique_ptr<MainWindow> window_;
    std::atomic<bool> visible_{false};
    bool pausing_ = false;
};

class GuiFront final : public IServerFront {
  public:
    // A QApplication must exist.
    GuiFront(ITagSheetDialogs& tagDialogs, bool splash);
    ~GuiFront() override;

    IMainWindow& Window() override { return window_; }
    IDocumentUi& DocumentUi() override { return ui_; }
    IMessageBox& Messages() override { return ui_.Messages(); }
    void Attach(const ServerParts& parts) override;
    void RunMainLoop(COpcApp& app, MessageLoop& loop) override;
    // The server as the window sees it; null before Attach.
    IGuiHost* Host() const { return host_.get(); }
    const GuiWindow& MainWindow() const { return window_; }

  private:
    GuiDocumentUi ui_;
    GuiWindow window_;
    std::unique_ptr<IGuiHost> host_;
};

}  // namespace velk::gui
