// velkopc: the server. Without a display, or started with "Embedding", it runs without a
// window; message boxes then go to standard error and the trace file.
#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/opc_app.h"
#include "app/registration.h"
#include "app/server/acquisition_host.h"
#include "app/server/bus_server_host.h"
#include "app/server/document_host.h"
#include "app/server/headless_document_ui.h"
#include "app/server/headless_window.h"
#include "app/server/unavailable_bus_class.h"
#include "model/c_doc.h"
#include "model/config_file_storage.h"
#include "opcae/ae_event_space.h"
#include "opcae/bus/ae_bus_class.h"
#include "opcae/bus/ae_server_list_distributor.h"
#include "opcae/user_condition_file.h"
#include "opcda/bus/da_bus_class.h"
#include "platform/linux/posix_document_file_access.h"
#include "platform/linux/posix_file_reader.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/posix_session.h"
#include "platform/linux/process_info.h"
#include "platform/linux/reg_file_store.h"
#include "platform/linux/settings_paths.h"
#include "platform/linux/signal_watch.h"
#include "platform/linux/socket_single_instance.h"
#include "platform/linux/system_clock.h"
#include "platform/message_loop.h"

int main(int argc, char** argv) {
    using namespace velk;
    // Before any thread exists, so that only the watch thread receives these signals.
    SignalWatch::BlockTerminationSignals();

    const CommandLine commandLine =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));

    SystemClock clock;
    PosixFileSystem files;
    PosixFileReader reader;
    PosixDocumentFileAccess documentFiles;
    MessageLoop mainLoop(clock);
    RegFileStore machineStore(MachineSettingsPath());
    RegFileStore userStore(UserSettingsPath());
    PosixAdminCheck admin;
    SocketSingleInstance instance;
    ConsoleMessageBox messages([](const std::string& text) { Trace(text); });
    HeadlessWindow window;
    const std::string executable = ExecutablePath();

    COpcApp app(AppPlatform{clock, mainLoop, machineStore, userStore, admin, instance, messages,
                            files, window, executable});
    if (commandLine.echoTrace) {
        app.Trace().SetEcho([](const std::string& line) {
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fflush(stdout);
        });
    }

    // The document is made during start-up; the acquisition reaches it through this.
    DocumentHost* documentHost = nullptr;
    AcquisitionHost acquisition(AcquisitionServices{
        clock, app.EventPoster(), app, &machineStore, [&app] { app.ReloadCommFailCountdown(); },
        [&documentHost]() -> CDoc* { return documentHost ? documentHost->Existing() : nullptr; },
        [&app] {
            const EventStackSettings stack = app.Settings().EventStack();
            return EventBufferFromSettings(stack.Master1, stack.Master2, stack.Size);
        }});

    HeadlessDocumentUi ui(messages);
    ConfigFileStorage storage(documentFiles, &clock);
    CDocServices services;
    services.ui = &ui;
    services.admin = &admin;
    services.storage = &storage;
    services.clock = &clock;
    services.eventSpace = &EventSpace();
    services.files = &reader;
    services.conditionDirectories =
        UserConditionDirectories(DirectoryOf(executable), CurrentDirectory());
    services.monitor = &acquisition.Monitor();
    services.lifecycle = &acquisition.Lifecycle();
    DocumentHost document(app, services);
    documentHost = &document;

    // The bus host serves both class names; the classes join here as they arrive.
    DaBusClass daClass(
        kDaBusName, kDaFactoryPath,
        DaBusServices{&clock, &acquisition.TagIO(), &app,
                      [&documentHost]() -> OTagGroup* {
                          CDoc* doc = documentHost ? documentHost->Existing() : nullptr;
                          return doc ? &doc->rootGroup : nullptr;
                      },
                      [&app] {
                          DAServerSettings da;
                          da.changelessUpdate = app.Settings().ChangelessUpdate();
                          da.itemPathDelimiter = app.Settings().AreaDelimiter();
                          da.startTime = app.StartTime();
                          const ServerVersion version = app.Version();
                          da.majorVersion = version.major;
                          da.minorVersion = version.minor;
                          da.buildNumber = version.build;
                          da.vendorInfo = std::string(kVendorName);
                          const ClientLimitSettings limits = app.Settings().ClientLimits();
                          da.limits.maxGroups = limits.MaxGroupsPerClient;
                          da.limits.maxItems = limits.MaxItemsPerClient;
                          da.limits.maxRequests = limits.MaxRequestsPerClient;
                          return da;
                      },
                      [&acquisition] { return acquisition.DeviceMonitor(); }, nullptr, &app});
    // Acknowledgements reach every AE client's subscriptions through the server list.
    AeServerListDistributor aeDistributor(app.Servers());
    AeBusClass aeClass(kAeBusName, kAeFactoryPath, [&]() -> std::optional<AeServerContext> {
        CDoc* doc = documentHost ? documentHost->Existing() : nullptr;
        if (doc == nullptr) return std::nullopt;
        AeServerContext context;
        context.document = doc;
        context.clock = &clock;
        context.eventSpace = &EventSpace();
        context.registry = &app;
        context.distributor = &aeDistributor;
        context.redundancyEnabled = [&app] { return app.Settings().Redundancy().Enabled != 0; };
        const ServerVersion version = app.Version();
        context.versionMajor = version.major;
        context.versionMinor = version.minor;
        context.versionBuild = version.build;
        context.vendorText = std::string(kVendorName);
        return context;
    });
    BusServerHost busHost(BusServerOptionsFor(commandLine, executable), app, {&daClass, &aeClass});

    app.Attach(AppParts{&document, &acquisition.Devices(), &busHost, nullptr});

    SignalWatch signals([&app](int) { app.RequestTermination(); });
    return app.Run(commandLine);
}
