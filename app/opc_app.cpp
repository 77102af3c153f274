#include "app/opc_app.h"

#include <cstdio>

#include "app/document_recovery.h"
#include "app/registration.h"
#include "version.h"

namespace velk {

COpcApp::COpcApp(AppPlatform platform)
    : platform_(std::move(platform)), trace_(platform_.clock, platform_.files) {
    InstallTrace(&trace_);
}

COpcApp::~COpcApp() {
    StopThreads();
    InstallTrace(nullptr);
}

int COpcApp::Run(const CommandLine& commandLine) {
    if (InitInstance(commandLine)) platform_.mainLoop.Run(*this);
    return ExitInstance();
}

bool COpcApp::InitInstance(const CommandLine& commandLine) {
    // The windowing toolkit and the socket library need no start-up of their own here; the
    // server host's initialisation takes the place of the object system's.
    if (parts_.comServer && !parts_.comServer->Initialize()) {
        platform_.messages.Show(std::string(kOleFailedMessage), MessageKind::Error);
        exitCode_ = 1;
        return false;
    }
    ReadSettings();

    if (commandLine.command == ShellCommand::Unregister ||
        commandLine.command == ShellCommand::Register) {
        exitCode_ = RunRegistration(commandLine.command) ? 0 : 1;
        return false;
    }

    startTime_ = platform_.clock.NowUtc();
    platform_.window.Hide();
    interactive_ = commandLine.Interactive();
    userControl_ = commandLine.Interactive();
    const std::string configuration = ChooseConfiguration(commandLine);
    version_ = ServerVersion{VELK_VERSION_MAJOR, VELK_VERSION_MINOR, VELK_VERSION_BUILD,
                             VELK_VERSION_REVISION};

    if (!TakeSingleInstance(commandLine.systemBus)) return false;

    platform_.clock.Sleep(kStartPauseMs);
    if (!OpenConfiguration(configuration)) {
        exitCode_ = 1;
        return false;
    }
    OpenTraceFile();
    if (interactive_) OfferRecoveryCopies(configuration);
    StartThreads();
    if (interactive_) platform_.window.Show();
    velk::Trace(std::string(kVersionLinePrefix) + VELK_VERSION_TEXT);
    velk::Trace(kStartedLine);
    return true;
}

void COpcApp::ReadSettings() {
    isAdministrator_ = platform_.admin.IsAdministrator();
    const bool readOnly = !isAdministrator_;
    // A store that cannot be read is reported once; the server then runs on defaults and
    // the store is left as it is.
    for (ISettingsStore* store : {&platform_.machineStore, &platform_.userStore}) {
        const std::string problem = store->Problem();
        if (problem.empty()) continue;
        std::fprintf(stderr, "velkopc: %s\n", problem.c_str());
        TraceLater(problem);
    }
    SettingsAccess machine(platform_.machineStore);
    settings_.Set(LoadServerSettings(machine, readOnly));
    SettingsAccess user(platform_.userStore, std::string(kUserApplicationKey));
    recentFiles_.Load(user);
}

bool COpcApp::RunRegistration(ShellCommand command) {
    const bool registering = command == ShellCommand::Register;
    const RegistrationResult records =
        registering ? RegisterServer(platform_.machineStore, platform_.executablePath)
                    : UnregisterServer(platform_.machineStore);
    std::string reason = records.reason;
    bool ok = records.ok;
    if (ok && parts_.comServer) {
        ok =
            registering ? parts_.comServer->Register(reason) : parts_.comServer->Unregister(reason);
    }
    if (!ok) platform_.messages.Show(reason, MessageKind::Error);
    return ok;
}

std::string COpcApp::ChooseConfiguration(const CommandLine& commandLine) {
    SettingsAccess machine(platform_.machineStore);
    const std::string last = ReadStartupConfiguration(machine, !isAdministrator_);
    if (last.empty()) return commandLine.fileName;
    if (platform_.files.Exists(last)) return last;
    const std::string text = std::string(kInvalidConfigurationMessage) + last;
    if (interactive_) {
        platform_.messages.Show(text, MessageKind::Information);
    } else {
        // No one to tell: keep it for the trace file, which is not open yet.
        std::fprintf(stderr, "velkopc: %s\n", text.c_str());
        TraceLater(text);
    }
    return commandLine.fileName;
}

bool COpcApp::TakeSingleInstance(bool systemService) {
    // The system service's lock lies in a directory of its own user, which this start's lock
    // does not cover: asked for apart, so that a user's start never runs a second server
    // beside it.
    if (!systemService) {
        if (const int service = platform_.instance.SystemServiceProcess(); service != 0) {
            std::string text(kSystemServiceRunningMessage);
            text.replace(text.find("%1"), 2, std::to_string(service));
            std::fprintf(stderr, "velkopc: %s\n", text.c_str());
            platform_.messages.Show(text, MessageKind::Error);
            exitCode_ = 1;
            return false;
        }
    }
    const auto acquire = [this] {
        return platform_.instance.Acquire([this] { platform_.mainLoop.Post(WM_SHOW_INSTANCE); });
    };
    InstanceLock lock = acquire();
    // A holder that does not answer is a server that is stopping: its lock is free once it
    // has ended, which takes a bounded time.
    bool answered = false;
    for (std::uint32_t waited = 0; lock == InstanceLock::AlreadyRunning && waited < kInstanceWaitMs;
         waited += kInstanceRetryMs) {
        answered = platform_.instance.NotifyRunningInstance();
        if (answered) break;
        platform_.clock.Sleep(kInstanceRetryMs);
        lock = acquire();
    }
    if (lock == InstanceLock::Acquired) return true;
    // Another instance holds the lock, or it could not be taken at all: in neither case may
    // a second server start.
    if (answered || platform_.instance.NotifyRunningInstance()) {
        // Without a window the hand-over is invisible; say why this start ends.
        std::fprintf(
            stderr,
            "velkopc: a server is already running on this machine; it was asked to come forward\n");
        exitCode_ = 0;
    } else {
        if (const std::string problem = platform_.instance.Problem(); !problem.empty()) {
            std::fprintf(stderr, "velkopc: %s\n", problem.c_str());
        }
        platform_.messages.Show(std::string(kCannotReachInstanceMessage), MessageKind::Error);
        exitCode_ = 1;
    }
    return false;
}

bool COpcApp::OpenConfiguration(const std::string& path) {
    if (parts_.document == nullptr) return false;
    configurationOpened_ = true;
    if (path.empty()) return parts_.document->NewDocument();
    if (!parts_.document->OpenDocument(path)) return false;
    recentFiles_.Add(path);
    return true;
}

void COpcApp::OpenTraceFile() {
    const TraceFileSettings settings = settings_.Get().TraceFile;
    trace_.SetFileName(settings.FileName);
    trace_.SetSizeLimit(settings.FileSize);
    trace_.SetRotatedFileLimit(settings.MaxRotatedFiles);
    // Nothing else would tell that the server runs without its trace (the name may be a
    // symbolic link, which is never written through, or not a writable regular file).
    const auto warn = [](const std::string& name) {
        std::fprintf(stderr,
                     "velkopc: warning: the trace file %s cannot be opened (a symbolic link, not "
                     "a regular file, or no access); the server runs without a trace\n",
                     name.c_str());
    };
    trace_.SetLossReport(warn);
    if (!settings.FileName.empty() && !trace_.OpenTrace()) warn(settings.FileName);
    for (const std::string& line : pendingTrace_) trace_.Trace(line);
    pendingTrace_.clear();
}

void COpcApp::OfferRecoveryCopies(const std::string& configuration) {
    if (recovery_ == nullptr) return;
    std::vector<std::string> originals{configuration};
    if (!configuration.empty()) originals.emplace_back();
    for (const std::string& original : originals) {
        const std::string copy = RecoveryCopyPath(original, untitledRecoveryDirectory_);
        if (copy.empty() || !platform_.files.Exists(copy)) continue;
        if (!platform_.messages.AskYesNo(RecoveryText(kRecoveryOfferQuestion, original, copy))) {
            continue;
        }
        if (!recovery_->OpenCopy(copy, original)) continue;
        velk::Trace(RecoveryText(kRecoveryOpenedLine, original, copy));
        // Its edits are the document's now; the next end without a question writes anew.
        platform_.files.Remove(copy);
        return;
    }
}

void COpcApp::WriteRecoveryCopy() {
    if (recovery_ == nullptr || !recovery_->IsModified()) return;
    const std::string original = recovery_->PathName();
    const std::string copy = RecoveryCopyPath(original, untitledRecoveryDirectory_);
    std::string message = "no folder for the copy";
    if (!copy.empty() && recovery_->WriteCopy(copy, message)) {
        velk::Trace(RecoveryText(kRecoveryWrittenLine, original, copy));
    } else {
        velk::Trace(RecoveryText(kRecoveryFailedLine, original, copy) + message);
    }
}

void COpcApp::OnFileOpened() {
    SettingsAccess machine(platform_.machineStore);
    SaveRecentFiles(machine, recentFiles_, platform_.admin);
}

void COpcApp::ApplyChangedSettings() {
    const TraceFileSettings settings = settings_.Get().TraceFile;
    trace_.SetFileName(settings.FileName);
    trace_.SetSizeLimit(settings.FileSize);
}

void COpcApp::TraceLater(std::string line) {
    if (trace_.IsOpen()) {
        trace_.Trace(line);
    } else {
        pendingTrace_.push_back(std::move(line));
    }
}

void COpcApp::StartThreads() {
    IComServerHost* host = parts_.comServer;
    comServerThread_.Start(
        [host](MessageQueue& queue) {
            if (host) return host->Run(queue);
            Message message;
            while (queue.Get(message)) {
            }
            return 0;
        },
        ThreadPriority::Normal);
    aeEventThread_.Start([this](MessageQueue& queue) { return RunAeEventThread(queue, *this); },
                         ThreadPriority::AboveNormal);
    if (settings_.Redundancy().Enabled && parts_.redundancy) {
        IRedundancyThreads* link = parts_.redundancy;
        redundantClientThread_.Start([link](MessageQueue& q) { return link->RunClient(q); },
                                     ThreadPriority::BelowNormal);
        redundantListenerThread_.Start([link](MessageQueue& q) { return link->RunListener(q); },
                                       ThreadPriority::BelowNormal);
    }
}

void COpcApp::StopThreads() {
    for (WorkerThread* thread :
         {&redundantClientThread_, &redundantListenerThread_, &aeEventThread_, &comServerThread_}) {
        if (!thread->IsStarted()) continue;
        thread->PostQuit();
        // A thread still running after the wait is abandoned, as the shutdown must end.
        if (!thread->Join(std::chrono::milliseconds(kThreadStopWaitMs))) threadsAbandoned_ = true;
    }
}

bool COpcApp::ThreadStarted(const std::string& name) const {
    for (const WorkerThread* thread :
         {&comServerThread_, &aeEventThread_, &redundantClientThread_, &redundantListenerThread_}) {
        if (thread->Name() == name) return thread->IsStarted();
    }
    return false;
}

int COpcApp::ExitInstance() {
    // The instance is released only once the server host has let the bus names go: a start
    // that took it earlier would find them still held and run as a second server without
    // them, beside this one that is ending. Meanwhile a start is not answered, so it waits
    // for this end instead of asking a server that is going to come forward.
    platform_.instance.StopAnswering();
    // The stop line comes after the threads have stopped, so that it is the last line the
    // server writes: what the threads trace as they end (a bus call left running, a device
    // thread given up on) comes before it, and nothing is written after the file closes.
    StopThreads();
    platform_.instance.Release();
    // A start that ended before the configuration was opened (registration, a second
    // instance) leaves the recent-file lists alone.
    if (configurationOpened_) {
        SettingsAccess machine(platform_.machineStore);
        SaveRecentFiles(machine, recentFiles_, platform_.admin);
        SettingsAccess user(platform_.userStore, std::string(kUserApplicationKey));
        recentFiles_.Save(user);
    }
    velk::Trace(kStoppedLine);
    trace_.CloseTrace();
    return exitCode_;
}

bool COpcApp::AddClient() {
    std::lock_guard lock(clientLock_);
    if (clientCount_++ == 0) {
        if (parts_.devices) parts_.devices->StartAllDevices();
        const RedundancySettings redundancy = settings_.Redundancy();
        if (redundancy.Enabled && redundancy.SyncMaster) {
            platform_.mainLoop.SetTimer(TIMER_TIME_SYNC, kTimeSyncPeriodMs);
        }
        ReloadCommFailCountdown();
        platform_.mainLoop.SetTimer(TIMER_COMM_WATCH, kCommWatchPeriodMs);
    }
    return clientCount_ != 0;
}

bool COpcApp::RemoveClient() {
    std::lock_guard lock(clientLock_);
    if (clientCount_ != 0 && --clientCount_ != 0) return true;
    // The count reached zero, or was zero already: acquisition stops either way.
    platform_.mainLoop.KillTimer(TIMER_COMM_WATCH);
    if (settings_.Redundancy().Enabled) platform_.mainLoop.KillTimer(TIMER_TIME_SYNC);
    if (parts_.devices) parts_.devices->StopAllDevices();
    if (!interactive_) platform_.mainLoop.PostQuit();
    return clientCount_ != 0;
}

void COpcApp::AddDAServer(IDAServerObject* server) {
    std::lock_guard lock(servers_.Lock());
    servers_.AddDA(server);
    AddClient();
}

void COpcApp::RemoveDAServer(IDAServerObject* server) {
    std::lock_guard lock(servers_.Lock());
    if (servers_.RemoveDA(server)) RemoveClient();
}

void COpcApp::AddAEServer(IAEServerObject* server) {
    std::lock_guard lock(servers_.Lock());
    servers_.AddAE(server);
    AddClient();
}

void COpcApp::RemoveAEServer(IAEServerObject* server) {
    std::lock_guard lock(servers_.Lock());
    if (servers_.RemoveAE(server)) RemoveClient();
}

void COpcApp::DistributeToAeServers(const BEvent& event) {
    std::lock_guard lock(servers_.Lock());
    for (IAEServerObject* server : servers_.AE()) server->DistributeEvent(event);
}

void COpcApp::RequestClientShutdown() {
    std::lock_guard lock(servers_.Lock());
    for (IAEServerObject* server : servers_.AE()) {
        if (server->RequestClientShutdown("") != 0) return;
    }
    for (IDAServerObject* server : servers_.DA()) {
        if (server->RequestClientShutdown("") != 0) return;
    }
}

void COpcApp::ReloadCommFailCountdown() {
    // -1 ("never") becomes 4 294 967 295 seconds.
    commFailCountdown_ = static_cast<std::uint32_t>(settings_.Shutdown().OnCommFail);
}

void COpcApp::OnCommWatchTick() {
    std::uint32_t left = commFailCountdown_.load();
    // A reload from a device thread between the read and the write wins over the tick.
    while (left != 0) {
        if (commFailCountdown_.compare_exchange_weak(left, left - 1)) {
            shutdownRequested_ = false;
            return;
        }
    }
    if (!shutdownRequested_) {
        shutdownRequested_ = true;
        RequestClientShutdown();
    }
}

void COpcApp::OnTimer(std::uint32_t timerId) {
    if (timerId == TIMER_COMM_WATCH) {
        OnCommWatchTick();
    } else if (timerId == TIMER_TIME_SYNC) {
        if (settings_.Redundancy().SyncMaster && redundantClientThread_.IsStarted()) {
            redundantClientThread_.Post(WM_REDUNDANCY_TIME_SYNC, 1);
        }
    }
}

void COpcApp::OnModuleLock(std::uintptr_t unlock) {
    if (unlock == 0) {
        ++comLockCount_;
        return;
    }
    if (comLockCount_ == 0) return;
    if (--comLockCount_ == 0 && !userControl_) {
        platform_.window.Hide();
        platform_.mainLoop.PostQuit();
    }
}

void COpcApp::OnExitCommand() {
    // A close request that arrives during the close rule's pause (the window stays drawn,
    // and a window manager's close still reaches it) is the same close.
    if (closing_ || confirmingClose_) return;
    // Unsaved edits first: the user may save them, drop them or keep the window.
    confirmingClose_ = true;
    const bool close = platform_.window.ConfirmClose();
    confirmingClose_ = false;
    if (!close) return;
    if (comLockCount_ != 0) {
        // Clients are connected: the process lives on, hidden, until the last lock goes.
        platform_.window.Hide();
        userControl_ = false;
        if (parts_.document && parts_.document->IsMonitorRunning()) {
            platform_.mainLoop.Post(WM_APP_MONITOR);
        }
        return;
    }
    CloseRule();
}

void COpcApp::CloseRule() {
    if (parts_.document && parts_.document->IsMonitorRunning()) {
        parts_.document->StopMonitor();
        closing_ = true;
        platform_.window.Pause(platform_.clock, kMonitorStopPauseMs);
        closing_ = false;
    }
    if (interactive_ && clientCount_ == 0) {
        SettingsAccess machine(platform_.machineStore);
        SaveRecentFiles(machine, recentFiles_, platform_.admin);
        platform_.window.Hide();
        platform_.mainLoop.PostQuit();
    } else {
        interactive_ = false;
        platform_.window.Hide();
    }
}

void COpcApp::OnMessage(const Message& message) {
    switch (message.id) {
        case WM_MODULE_LOCK:
            OnModuleLock(message.wParam);
            break;
        case WM_SHOW_INSTANCE:
            // The user now has the window: neither the last module unlock nor the last
            // client (a stopped monitor, say) may end the process under it and lose edits.
            // Closing the window while clients remain hands it back to them (CloseRule).
            userControl_ = true;
            interactive_ = true;
            platform_.window.Show();
            platform_.window.BringToFront();
            break;
        case WM_CLOSE:
            OnExitCommand();
            break;
        case WM_APP_MONITOR:
            if (parts_.document && parts_.document->IsMonitorRunning()) {
                parts_.document->StopMonitor();
            }
            break;
        case WM_APP_TERMINATE:
            WriteRecoveryCopy();
            platform_.mainLoop.PostQuit();
            break;
        default:
            break;
    }
}

}  // namespace velk
