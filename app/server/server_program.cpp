#include "app/server/server_program.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/opc_app.h"
#include "app/opcua/ua_options.h"
#include "app/opcua/ua_service.h"
#include "app/registration.h"
#include "app/server/acquisition_host.h"
#include "app/server/bus_server_host.h"
#include "app/server/document_host.h"
#include "app/server/headless_window.h"
#include "app/server/unavailable_bus_class.h"
#include "app/sparkplug/sparkplug_publisher.h"
#include "core/cycle_statistics.h"
#include "core/trace_echo.h"
#include "install_paths.h"
#include "model/ae_event_space.h"
#include "model/c_doc.h"
#include "model/config_file_storage.h"
#include "model/headless_document_ui.h"
#include "model/user_condition_file.h"
#include "opcae/bus/ae_bus_class.h"
#include "opcae/bus/ae_server_list_distributor.h"
#include "opcda/bus/da_bus_class.h"
#include "opcua/security/own_certificate.h"
#include "platform/host_name.h"
#include "platform/ipv4_address.h"
#include "platform/linux/netlink_route_table.h"
#include "platform/linux/posix_document_file_access.h"
#include "platform/linux/posix_file_reader.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/posix_session.h"
#include "platform/linux/posix_tcp_sockets.h"
#include "platform/linux/process_info.h"
#include "platform/linux/reg_file_store.h"
#include "platform/linux/settings_paths.h"
#include "platform/linux/signal_watch.h"
#include "platform/linux/socket_single_instance.h"
#include "platform/linux/system_clock.h"
#include "platform/linux/system_clock_setter.h"
#include "platform/message_loop.h"
#include "platform/trim_memory.h"
#include "platform/version_option.h"
#include "platform/worker_thread.h"
#include "redundancy/redundancy_link.h"

namespace {

// How long the end of the process waits for what the last clients' release set going.
constexpr std::chrono::milliseconds kEndWait{2000};

// The application object runs the link's two threads.
class RedundancyThreads final : public velk::IRedundancyThreads {
  public:
    explicit RedundancyThreads(velk::RedundancyLink& link) : link_(link) {}
    int RunClient(velk::MessageQueue& queue) override {
        clientRunning_ = true;
        const int code = link_.RunClient(queue);
        clientRunning_ = false;
        return code;
    }
    int RunListener(velk::MessageQueue& queue) override { return link_.RunListener(queue); }
    // Acknowledgements are queued only while a client thread is there to send them.
    bool ClientRunning() const { return clientRunning_.load(); }

  private:
    velk::RedundancyLink& link_;
    std::atomic<bool> clientRunning_{false};
};

// The front of a process without a display: no window is drawn, message boxes go to
// standard error and the trace file, every dialog answers Cancel.
class HeadlessFront final : public velk::IServerFront {
  public:
    HeadlessFront()
        : messages_([](const std::string& text) { velk::Trace(text); }),
          ui_([this](const std::string& text) {
              messages_.Show(text, velk::MessageKind::Information);
          }) {}
    velk::IMainWindow& Window() override { return window_; }
    velk::IDocumentUi& DocumentUi() override { return ui_; }
    velk::IMessageBox& Messages() override { return messages_; }
    void Attach(const velk::ServerParts&) override {}
    void RunMainLoop(velk::COpcApp& app, velk::MessageLoop& loop) override { loop.Run(app); }

  private:
    velk::ConsoleMessageBox messages_;
    velk::HeadlessDocumentUi ui_;
    velk::HeadlessWindow window_;
};

}  // namespace

namespace velk {
namespace {

// Starts the OPC UA server when its settings enable it; unusable settings are traced and
// leave the rest of the server running.
void StartOpcUa(COpcApp& app, CDoc* document, bool service, UaService& opcUa) {
    const OpcUaSettings settings = app.Settings().OpcUa();
    if (settings.Enabled == 0 || document == nullptr) return;
    const UaHostFacts host{HostName(), DefaultPkiDirectory(service, [](const char* name) {
                               const char* value = std::getenv(name);
                               return value ? std::optional<std::string>(value) : std::nullopt;
                           })};
    UaFrontOptions options;
    std::string message;
    if (!ResolveUaOptions(settings, host, options, message)) {
        Trace("OPC UA: not started: " + message);
        return;
    }
    // The front's channels speak SecurityPolicy None only: a secured endpoint would be
    // offered and then refused at OpenSecureChannel, so none is offered.
    std::erase_if(options.server.endpoints, [](const ua::EndpointOffer& offer) {
        return offer.securityMode != ua::MessageSecurityMode::kNone;
    });
    if (options.server.endpoints.empty()) {
        Trace(
            "OPC UA: no endpoint offered: the server serves SecurityPolicy None only and "
            "AllowSecurityNone is 0");
    }
    options.server.applicationUri = ua::security::ServerApplicationUri(host.hostName);
    ua::ServerDescription server;
    server.applicationUri = options.server.applicationUri;
    const ServerVersion version = app.Version();
    server.buildInfo.softwareVersion =
        std::to_string(version.major) + "." + std::to_string(version.minor);
    server.buildInfo.buildNumber = std::to_string(version.build);
    server.startTime = ua::DateTime{static_cast<std::int64_t>(app.StartTime())};
    if (!opcUa.Start(*document, options, server)) Trace("OPC UA: not started");
}

}  // namespace

int RunServerProgram(int argc, char** argv, const ServerFrontFactory& makeFront) {
    if (IsVersionRequest(argc, argv)) return PrintVersion("velkopc");
    const CommandLine commandLine =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (commandLine.help) return PrintCommandLineHelp();
    // Before any thread exists, so that only the watch thread receives these signals.
    SignalWatch::BlockTerminationSignals();
    BoundAllocatorArenas();
    // Where the DA groups' update cycles spend their time, for diagnosis: off unless a file
    // is named. Made first, so that it outlives every group.
    std::unique_ptr<CycleStatistics> cycleStatistics;
    if (const char* file = std::getenv("VELKOPC_CYCLE_STATISTICS"); file && *file) {
        cycleStatistics = std::make_unique<CycleStatistics>(file);
        CycleStatistics::Install(cycleStatistics.get());
    }

    SystemClock clock;
    PosixFileSystem files;
    PosixFileReader reader;
    PosixDocumentFileAccess documentFiles;
    MessageLoop mainLoop(clock);
    RegFileStore machineStore(MachineSettingsPath());
    RegFileStore userStore(UserSettingsPath());
    PosixAdminCheck admin;
    SocketSingleInstance instance(SocketSingleInstance::InstanceDirectory(commandLine.systemBus));
    std::unique_ptr<IServerFront> front;
    if (makeFront) front = makeFront(commandLine);
    if (!front) front = std::make_unique<HeadlessFront>();
    IMessageBox& messages = front->Messages();
    IMainWindow& window = front->Window();
    const std::string executable = ExecutablePath();

    // Made before the application object, so that it outlives the trace that feeds it.
    std::unique_ptr<TraceEcho> echo;
    if (commandLine.echoTrace) {
        echo = std::make_unique<TraceEcho>([](const std::string& line) {
            std::fprintf(stdout, "%s\n", line.c_str());
            std::fflush(stdout);
        });
    }
    COpcApp app(AppPlatform{clock, mainLoop, machineStore, userStore, admin, instance, messages,
                            files, window, executable});
    if (echo) app.Trace().SetEcho([&echo](const std::string& line) { echo->Push(line); });
    // A thread the system refuses (a task limit) is a trace line, never an abort; the report
    // goes before the application does.
    SetThreadStartReport([](const std::string& line) { Trace(line); });
    struct ThreadReportEnd {
        ~ThreadReportEnd() { SetThreadStartReport(nullptr); }
    } threadReportEnd;

    // The document is made during start-up; the acquisition reaches it through this.
    DocumentHost* documentHost = nullptr;
    AcquisitionHost acquisition(AcquisitionServices{
        clock, app.EventPoster(), app, &machineStore, [&app] { app.ReloadCommFailCountdown(); },
        [&documentHost]() -> CDoc* { return documentHost ? documentHost->Existing() : nullptr; },
        [&app] {
            const EventStackSettings stack = app.Settings().EventStack();
            return EventBufferFromSettings(stack.Master1, stack.Master2, stack.Size);
        }});

    IDocumentUi& ui = front->DocumentUi();
    ConfigFileStorage storage(documentFiles, &clock);
    CDocServices services;
    services.ui = &ui;
    services.admin = &admin;
    services.storage = &storage;
    services.clock = &clock;
    services.files = &reader;
    services.conditionDirectories =
        UserConditionDirectories(DirectoryOf(executable), CurrentDirectory(),
                                 DirectoryOf(executable) + "/" + VELK_DATA_DIR_FROM_BIN);
    services.monitor = &acquisition.Monitor();
    services.lifecycle = &acquisition.Lifecycle();
    DocumentHost document(app, services);
    documentHost = &document;

    // The redundancy link: the listener waits at most 1 s for a connection, so that it sees
    // its quit well within the shutdown's wait.
    PosixTcpSockets linkSockets;
    PosixTcpSockets listenerSockets(1000);
    NetlinkRouteTable linkRoutes;
    SystemClockSetter clockSetter(clock);
    RedundancyLink link(
        RedundancyServices{
            linkSockets, listenerSockets, &linkRoutes, clock, clockSetter, app.EventPoster(),
            document.Locks().tagData,
            [&app] {
                const RedundancySettings r = app.Settings().Redundancy();
                // A stored address may carry blanks from before the dialog refused them:
                // the link, its trace lines and the acknowledger ID use the address alone.
                return RedundancyLinkSettings{r.Enabled != 0,
                                              r.SyncMaster != 0,
                                              r.Port,
                                              std::string(TrimAddressBlanks(r.AlternateServer)),
                                              std::string(TrimAddressBlanks(r.AlternateGateway)),
                                              app.Settings().AreaDelimiter()};
            },
            [&app] { return app.ClientCount() != 0; },
            [&documentHost](const std::string& path, const std::string& delimiter) -> OModbusTag* {
                CDoc* doc = documentHost ? documentHost->Existing() : nullptr;
                return doc ? doc->FindTag(path, delimiter) : nullptr;
            },
            [](std::string_view line) { Trace(line); }},
        app.AckQueue(), app.ReceivedPackets());
    RedundancyThreads redundancy(link);

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
                          da.limits.maxObjects = limits.MaxObjectsPerClient;
                          return da;
                      },
                      [&acquisition] { return acquisition.DeviceMonitor(); }, nullptr, &app,
                      &document.Locks()});
    // Acknowledgements reach every AE client's subscriptions through the server list.
    AeServerListDistributor aeDistributor(app.Servers());
    AeBusClass aeClass(kAeBusName, kAeFactoryPath, [&]() -> std::optional<AeServerContext> {
        CDoc* doc = documentHost ? documentHost->Existing() : nullptr;
        if (doc == nullptr) return std::nullopt;
        AeServerContext context;
        context.document = doc;
        context.clock = &clock;
        context.eventSpace = &document.EventSpace();
        context.registry = &app;
        context.distributor = &aeDistributor;
        // Enabled switched on after the start queues nothing: no thread would ever send it.
        context.redundancyEnabled = [&app, &redundancy] {
            return app.Settings().Redundancy().Enabled != 0 && redundancy.ClientRunning();
        };
        context.ackQueue = &app.AckQueue();
        const ServerVersion version = app.Version();
        context.versionMajor = version.major;
        context.versionMinor = version.minor;
        context.versionBuild = version.build;
        context.vendorText = std::string(kVendorName);
        context.maxSubscriptionsPerClient = app.Settings().ClientLimits().MaxSubscriptionsPerClient;
        context.maxObjectsPerClient = app.Settings().ClientLimits().MaxObjectsPerClient;
        return context;
    });
    BusServerHost busHost(BusServerOptionsFor(commandLine, executable), app, {&daClass, &aeClass});

    app.Attach(AppParts{&document, &acquisition.Devices(), &busHost, &redundancy});
    // An untitled configuration's recovery copy goes beside the user's settings.
    app.AttachRecovery(&document, DirectoryOf(UserSettingsPath()));

    SignalWatch signals([&app](int) { app.RequestTermination(); });
    front->Attach(ServerParts{app, document, acquisition, admin, machineStore, userStore, reader,
                              documentFiles, clock});
    // The Sparkplug publisher: started once the document is loaded, stopped (its NDEATH sent)
    // before the shutdown ends acquisition.
    SparkplugPublisher sparkplug(SparkplugServices{
        clock, app, acquisition.TagIO(), files, reader, documentFiles,
        [&documentHost]() -> CDoc* { return documentHost ? documentHost->Existing() : nullptr; },
        [](const std::string& directory) { return MakeDirectories(directory); },
        [](const MqttClientSettings& settings, IMqttClient::EventSink sink, std::string& error) {
            return CreateMqttClient(settings, std::move(sink), error);
        }});
    // The OPC UA server: started once the document is loaded, stopped with the Sparkplug
    // publisher while acquisition still runs. Its device reads run on the DA groups' readers.
    PosixTcpSockets uaSockets(0);
    UaService opcUa(UaServiceParts{clock, acquisition.TagIO(), daClass.Workers(), uaSockets, app,
                                   [](const std::string& line) { Trace(line); }});
    if (app.InitInstance(commandLine)) {
        StartOpcUa(app, documentHost ? documentHost->Existing() : nullptr, commandLine.systemBus,
                   opcUa);
        const SparkplugSettings settings = app.Settings().Sparkplug();
        if (settings.Enabled != 0) {
            SparkplugOptions options;
            std::string message;
            if (ResolveSparkplugOptions(settings, HostName(), app.Settings().TraceFileName(),
                                        options, message)) {
                sparkplug.Start(options);
            } else {
                Trace("Sparkplug: not started: " + message);
            }
        }
        front->RunMainLoop(app, mainLoop);
    }
    opcUa.Stop();
    sparkplug.Stop();
    const int exitCode = app.ExitInstance();
    // The clients' objects that the stop released end their count and stop the devices; an
    // exchange with a silent controller ends only at its own time-out. What still runs after
    // a short wait is left running, and with it every thread that the shutdown gave up on (a
    // client's call in such an exchange): they may still use the objects above, so the
    // process ends without destroying them under it. The trace file is closed and the
    // settings saved by now.
    const auto deadline = std::chrono::steady_clock::now() + kEndWait;
    const bool ended =
        daClass.DrainReleases(kEndWait) &&
        OPCGroup::WaitUntilNoneLive(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 deadline - std::chrono::steady_clock::now()),
                                             std::chrono::milliseconds(0))) &&
        acquisition.WaitIdle(deadline);
    if (!ended || app.ThreadsAbandoned() || sparkplug.Abandoned() ||
        busHost.Host().LeftCallsRunning()) {
        std::fflush(nullptr);
        std::_Exit(exitCode);
    }
    return exitCode;
}

}  // namespace velk
