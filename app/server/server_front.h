#pragma once
// What a display adds to the server program: the main window, the document's dialogs and the
// message boxes, and the main thread's loop that dispatches both the window's events and the
// application object's messages. Without a display the program runs its own headless front.
#include <functional>
#include <memory>

#include "app/app_interfaces.h"
#include "app/command_line.h"
#include "model/document_ui.h"
#include "platform/session.h"

namespace velk {

class AcquisitionHost;
class COpcApp;
class DocumentHost;
class IAdminCheck;
class IClock;
class IDocumentFileAccess;
class IFileReader;
class ISettingsStore;
class MessageLoop;

// The server's parts the front reaches once they all exist.
struct ServerParts {
    COpcApp& app;
    DocumentHost& document;
    AcquisitionHost& acquisition;
    const IAdminCheck& admin;
    ISettingsStore& machineStore;
    ISettingsStore& userStore;
    IFileReader& reader;
    IDocumentFileAccess& documentFiles;
    const IClock& clock;
};

class IServerFront {
  public:
    virtual ~IServerFront() = default;
    // Made before the application object, which keeps references to them.
    virtual IMainWindow& Window() = 0;
    virtual IDocumentUi& DocumentUi() = 0;
    virtual IMessageBox& Messages() = 0;
    // Every part of the server exists now; the document does not yet.
    virtual void Attach(const ServerParts& parts) = 0;
    // Dispatches the main loop's messages and timers until its quit message arrives.
    virtual void RunMainLoop(COpcApp& app, MessageLoop& loop) = 0;
};

// Makes the front for a command line, or none for the headless server.
using ServerFrontFactory = std::function<std::unique_ptr<IServerFront>(const CommandLine&)>;

}  // namespace velk
