#include "gui/gui_front.h"

#include <QApplication>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "app/opc_app.h"
#include "app/server/document_host.h"
#include "gui/application_look.h"
#include "gui/ip_address_editor.h"
#include "gui/main_window.h"
#include "gui/server_gui_host.h"
#include "gui/splash.h"
#include "gui/tag_list_view.h"
#include "platform/clock.h"
#include "platform/message_loop.h"

namespace velk::gui {

GuiWindow::GuiWindow(ITagSheetDialogs& tagDialogs, GuiDocumentUi& ui)
    : tagDialogs_(tagDialogs), ui_(ui) {}

GuiWindow::~GuiWindow() = default;

void GuiWindow::Create() {
    if (window_ || host_ == nullptr) return;
    window_ = std::make_unique<MainWindow>(*host_, tagDialogs_);
    ui_.Attach(window_.get(), &window_->TagList(), &host_->Document());
    if (splash_) ShowSplash();
}

void GuiWindow::Show() {
    Create();
    if (!window_) return;
    window_->show();
    visible_ = true;
}

void GuiWindow::Hide() {
    visible_ = false;
    if (window_) window_->hide();
}

void GuiWindow::Destroy() {
    visible_ = false;
    // The document's dialogs and its monitor timer must not reach the window any more.
    ui_.Attach(nullptr, nullptr, nullptr);
    window_.reset();
}

void GuiWindow::Pause(IClock& clock, std::uint32_t milliseconds) {
    if (!window_ || !window_->isVisible()) {
        clock.Sleep(milliseconds);
        return;
    }
    // Drawn but not usable: window system events (expose, resize) and Qt's own timers run,
    // input does not, and the front's pump leaves the application's messages queued.
    pausing_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    window_->statusBar()->showMessage(kMonitorStopStatus);
    const std::uint32_t start = clock.TickCount();
    for (std::uint32_t waited = 0; waited < milliseconds; waited = clock.TickCount() - start) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        clock.Sleep(std::min(kPausePaintMs, milliseconds - waited));
    }
    QApplication::restoreOverrideCursor();
    window_->statusBar()->showMessage("Ready");
    pausing_ = false;
}

bool GuiWindow::ConfirmClose() { return !window_ || window_->ConfirmClose(); }

void GuiWindow::BringToFront() {
    if (!window_) return;
    window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

GuiFront::GuiFront(ITagSheetDialogs& tagDialogs, bool splash)
    : ui_(tagDialogs), window_(tagDialogs, ui_) {
    window_.SetSplash(splash);
}

GuiFront::~GuiFront() = default;

void GuiFront::Attach(const ServerParts& parts) {
    host_ = std::make_unique<ServerGuiHost>(parts, ui_);
    window_.SetHost(host_.get());
    ui_.SetIpAddressEditor(SystemIpAddressEditor(&parts.machineStore));
    ApplyApplicationLook(StoredLook(parts.userStore));
}

void GuiFront::RunMainLoop(COpcApp& app, MessageLoop& loop) {
    QTimer pump;
    QObject::connect(&pump, &QTimer::timeout, [this, &app, &loop] {
        if (window_.Pausing()) return;
        // The application has decided to end (its close rule ran, or a termination signal
        // came): Qt's quit() would close the windows first and so ask the close questions
        // again, or be refused by them.
        if (!loop.RunPending(app)) QCoreApplication::exit(0);
    });
    pump.start(kMainLoopPollMs);
#ifndef QT_NO_SESSIONMANAGER
    // The desktop session ends: nobody will answer a question now, so unsaved edits go to
    // their recovery copy (the session then ends the process, or a termination signal does).
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &pump,
                     [&app](QSessionManager&) { app.WriteRecoveryCopy(); });
#endif
    QApplication::exec();
    pump.stop();
    window_.Destroy();
}

}  // namespace velk::gui
