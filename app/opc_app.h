#pragma once
// COpcApp: the application object. It owns the start-up sequence, the single-instance rule,
// the server settings, the trace file, the process-wide threads, the client count with the
// timers that hang on it, and the orderly shutdown.
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "app/app_interfaces.h"
#include "app/app_messages.h"
#include "app/command_line.h"
#include "app/recent_file_list.h"
#include "app/server_settings.h"
#include "core/trace_file.h"
#include "modbus/device_acquisition_control.h"
#include "model/document_services.h"
#include "opc/server_object_lists.h"
#include "opc/server_objects.h"
#include "opcae/ae_event_thread.h"
#include "platform/clock.h"
#include "platform/dbus/module_lock.h"
#include "platform/file_system.h"
#include "platform/message_loop.h"
#include "platform/session.h"
#include "platform/settings_store.h"
#include "platform/single_instance.h"
#include "platform/worker_thread.h"
#include "redundancy/ack_message_queue.h"
#include "redundancy/received_packet_queue.h"

namespace velk {

inline constexpr std::uint32_t TIMER_TIME_SYNC = 1000;
inline constexpr std::uint32_t TIMER_COMM_WATCH = 1001;
inline constexpr std::uint32_t kTimeSyncPeriodMs = 15000;
inline constexpr std::uint32_t kCommWatchPeriodMs = 1000;
inline constexpr std::uint32_t kStartPauseMs = 2000;
inline constexpr std::uint32_t kMonitorStopPauseMs = 20000;
inline constexpr std::uint32_t kThreadStopWaitMs = 5000;
// How long a start waits for a stopping server's end (its stop waits at most 5000 ms for
// each of its threads), asking in steps whether it is a running one that answers.
inline constexpr std::uint32_t kInstanceWaitMs = 15000;
inline constexpr std::uint32_t kInstanceRetryMs = 250;

// Main-window messages of this program beyond the shared ones.
inline constexpr std::uint32_t WM_APP_TERMINATE = WM_USER + 100;  // SIGTERM, SIGINT, SIGHUP
inline constexpr std::uint32_t WM_APP_MONITOR = WM_USER + 101;    // the Monitor command

inline constexpr std::string_view kStartedLine = "Velk Modbus OPC Server started";
// Written just before the start line, so that a trace names the build that wrote it.
inline constexpr std::string_view kVersionLinePrefix = "Velk Modbus OPC Server version ";
inline constexpr std::string_view kStoppedLine = "Velk Modbus OPC Server stopped";
inline constexpr std::string_view kOleFailedMessage =
    "OLE initialization failed.  Make sure that the OLE libraries are the correct version.";
inline constexpr std::string_view kInvalidConfigurationMessage =
    "Invalid configuration or wrong path: ";
inline constexpr std::string_view kCannotReachInstanceMessage =
    "We can not connect to the running intance!";
// A start beside the system service, which has no window to bring forward; %1 is its
// process id.
inline constexpr std::string_view kSystemServiceRunningMessage =
    "The VELK Modbus OPC Server already runs on this computer as the system service "
    "velkopc (process %1) and polls the controllers of its configuration. A second server "
    "would poll the same controllers and answer the redundant peer, so this one does not "
    "start.\n\nUse the running server through the system bus, or stop the service first "
    "with \"sudo systemctl stop velkopc\" and start the program again.";

// The server host that makes the OPC classes reachable by clients.
class IComServerHost {
  public:
    virtual ~IComServerHost() = default;
    // Start-up step of the platform's object system; false ends the start.
    virtual bool Initialize() = 0;
    // ComServerThread's body: make the class objects available, serve until the quit
    // message, withdraw them.
    virtual int Run(MessageQueue& queue) = 0;
    // Registration records of the classes ("Register" / "Unregister"); false with a reason.
    virtual bool Register(std::string& reason) = 0;
    virtual bool Unregister(std::string& reason) = 0;
};

// The two threads of the redundancy link; each ends on its quit message.
class IRedundancyThreads {
  public:
    virtual ~IRedundancyThreads() = default;
    virtual int RunClient(MessageQueue& queue) = 0;
    virtual int RunListener(MessageQueue& queue) = 0;
};

struct AppPlatform {
    IClock& clock;
    MessageLoop& mainLoop;
    ISettingsStore& machineStore;
    ISettingsStore& userStore;
    IAdminCheck& admin;
    ISingleInstance& instance;
    IMessageBox& messages;
    IFileSystem& files;
    IMainWindow& window;
    std::string executablePath;  // written into the registration records
};

// The subsystems the application drives; null where this build has none.
struct AppParts {
    IAppDocument* document = nullptr;
    IDeviceAcquisition* devices = nullptr;
    IComServerHost* comServer = nullptr;
    IRedundancyThreads* redundancy = nullptr;
};

struct ServerVersion {
    std::uint16_t major = 0xFFFF, minor = 0xFFFF, build = 0xFFFF, revision = 0xFFFF;
};

class COpcApp final : public IMessageHandler,
                      public IClientCounter,
                      public IServerObjectRegistry,
                      public IModuleLock,
                      private IAeEventDistributor {
  public:
    explicit COpcApp(AppPlatform platform);
    ~COpcApp() override;
    COpcApp(const COpcApp&) = delete;
    COpcApp& operator=(const COpcApp&) = delete;

    void Attach(AppParts parts) { parts_ = parts; }
    // The document's unsaved edits at an end nobody is asked about, and where an untitled
    // configuration's recovery copy goes ("" for nowhere).
    void AttachRecovery(IDocumentRecovery* recovery, std::string untitledDirectory) {
        recovery_ = recovery;
        untitledRecoveryDirectory_ = std::move(untitledDirectory);
    }

    // Start-up, main loop and shutdown; returns the process exit code.
    int Run(const CommandLine& commandLine);
    // The start-up sequence; false ends the process (after ExitInstance).
    bool InitInstance(const CommandLine& commandLine);
    // The shutdown sequence; returns the exit code.
    int ExitInstance();

    // Client counting: DA and AE server objects and the live monitor.
    bool AddClient() override;
    bool RemoveClient() override;
    // Server objects join and leave the lists under ServerListLock and count as clients.
    void AddDAServer(IDAServerObject* server) override;
    void RemoveDAServer(IDAServerObject* server) override;
    void AddAEServer(IAEServerObject* server) override;
    void RemoveAEServer(IAEServerObject* server) override;
    // The object host's module lock and unlock post WM_MODULE_LOCK to the main loop.
    void Lock() override { platform_.mainLoop.Post(WM_MODULE_LOCK, 0); }
    void Unlock() override { platform_.mainLoop.Post(WM_MODULE_LOCK, 1); }
    ServerObjectLists& Servers() { return servers_; }

    // Asks AE clients, then (only if all agreed) DA clients, to disconnect.
    void RequestClientShutdown();
    // A device's active channel completed an exchange: the comm watch starts over.
    void ReloadCommFailCountdown();

    // The Exit command or the window's close command.
    void OnExitCommand();
    // SIGTERM / SIGINT: ends the process through the orderly shutdown (any thread); unsaved
    // edits go to a recovery copy first.
    void RequestTermination() { platform_.mainLoop.Post(WM_APP_TERMINATE); }
    // The process ends and nobody can be asked (a termination signal, the session's end): a
    // modified configuration is written to its recovery copy, which is traced (main thread).
    void WriteRecoveryCopy();
    // A File Open command opened a configuration: the machine-wide recent-file list is
    // written at once, so that a start after a crash opens the same file.
    void OnFileOpened();

    IEventPoster& EventPoster() { return eventPoster_; }
    // The redundancy link's two queues: acknowledgements waiting for the peer, and packets
    // received from it waiting to be applied.
    AckMessageQueue& AckQueue() { return ackQueue_; }
    ReceivedPacketQueue& ReceivedPackets() { return receivedPackets_; }
    TraceFile& Trace() { return trace_; }
    const ServerSettingsHolder& Settings() const { return settings_; }
    ServerSettingsHolder& Settings() { return settings_; }
    RecentFileList& RecentFiles() { return recentFiles_; }
    // The Options dialog stored new settings: the trace file takes its new name at its next
    // rotation and its size limit at the next write.
    void ApplyChangedSettings();
    bool IsAdministrator() const { return isAdministrator_; }

    FileTime StartTime() const { return startTime_; }
    ServerVersion Version() const { return version_; }
    std::uint32_t ClientCount() const { return clientCount_.load(); }
    std::uint32_t ComLockCount() const { return comLockCount_; }
    std::uint32_t CommFailCountdown() const { return commFailCountdown_.load(); }
    bool ShutdownRequested() const { return shutdownRequested_; }
    bool Interactive() const { return interactive_.load(); }
    bool UserControl() const { return userControl_.load(); }
    bool ThreadStarted(const std::string& name) const;
    // A process-wide thread outlived its stop wait and was abandoned: what it uses must then
    // stay alive until the process ends.
    bool ThreadsAbandoned() const { return threadsAbandoned_; }

    // IMessageHandler: the main window's messages and timers.
    void OnMessage(const Message& message) override;
    void OnTimer(std::uint32_t timerId) override;

  private:
    bool HasClients() const override { return clientCount_.load() != 0; }
    void DistributeToAeServers(const BEvent& event) override;

    void ReadSettings();
    bool RunRegistration(ShellCommand command);
    std::string ChooseConfiguration(const CommandLine& commandLine);
    bool TakeSingleInstance(bool systemService);
    bool OpenConfiguration(const std::string& path);
    void OpenTraceFile();
    // An interactive start offers a recovery copy of the configuration it opened, then one of
    // an untitled configuration.
    void OfferRecoveryCopies(const std::string& configuration);
    void StartThreads();
    void StopThreads();
    void CloseRule();
    void OnCommWatchTick();
    void OnModuleLock(std::uintptr_t unlock);
    // Lines for the trace that arise before it is open.
    void TraceLater(std::string line);

    AppPlatform platform_;
    AppParts parts_;
    TraceFile trace_;
    ServerSettingsHolder settings_;
    RecentFileList recentFiles_;
    ServerObjectLists servers_;

    WorkerThread comServerThread_{"ComServer"};
    WorkerThread aeEventThread_{"AeEvent"};
    WorkerThread redundantClientThread_{"RedundantClnt"};
    WorkerThread redundantListenerThread_{"RedundantLstn"};
    AeEventPoster eventPoster_{aeEventThread_};
    AckMessageQueue ackQueue_;
    ReceivedPacketQueue receivedPackets_;

    std::mutex clientLock_;  // orders AddClient/RemoveClient from COM and monitor threads
    std::atomic<std::uint32_t> clientCount_{0};
    std::atomic<std::uint32_t> commFailCountdown_{0};
    bool shutdownRequested_ = false;  // main thread only
    std::uint32_t comLockCount_ = 0;  // main thread only
    std::atomic<bool> interactive_{true};
    bool closing_ = false;  // the close rule pauses (main thread only)
    std::atomic<bool> userControl_{true};
    bool isAdministrator_ = false;
    bool configurationOpened_ = false;
    FileTime startTime_ = 0;
    ServerVersion version_;
    int exitCode_ = 0;
    bool threadsAbandoned_ = false;  // main thread only
    std::vector<std::string> pendingTrace_;
    IDocumentRecovery* recovery_ = nullptr;
    std::string untitledRecoveryDirectory_;
    bool confirmingClose_ = false;  // the save question is open (main thread only)
};

}  // namespace velk
