#include "app/opc_app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/registration.h"
#include "platform/text.h"
#include "tests/support/app_doubles.h"
#include "tests/support/fake_clock.h"
#include "tests/support/memory_file_system.h"
#include "tests/support/memory_settings_store.h"

namespace velk {
namespace {

using namespace velk::testing;

constexpr const char* kApp = "HKEY_LOCAL_MACHINE\\Software\\VELK\\VELK A&E OPC Server";

std::string Key(const std::string& subkey) { return std::string(kApp) + "\\" + subkey; }

// The thread bodies of a server host and a redundancy link that log when they end.
class FakeComServerHost final : public IComServerHost {
  public:
    explicit FakeComServerHost(CallLog& log) : log(log) {}
    bool Initialize() override { return initializes; }
    int Run(MessageQueue& queue) override {
        Message m;
        while (queue.Get(m)) {
        }
        if (!lineAtEnd.empty()) velk::Trace(lineAtEnd);
        log.Add("ComServerThread ended");
        if (atEnd) atEnd();
        return 0;
    }
    bool Register(std::string&) override {
        log.Add("host register");
        return true;
    }
    bool Unregister(std::string&) override {
        log.Add("host unregister");
        return true;
    }
    CallLog& log;
    bool initializes = true;
    std::string lineAtEnd;  // traced as the thread ends, as a bus host with calls left does
    std::function<void()> atEnd;
};

class FakeRedundancy final : public IRedundancyThreads {
  public:
    explicit FakeRedundancy(CallLog& log) : log(log) {}
    int RunClient(MessageQueue& queue) override {
        Message m;
        while (queue.Get(m)) {
            if (m.id == WM_REDUNDANCY_TIME_SYNC) syncs += static_cast<int>(m.wParam);
        }
        log.Add("RedundantClientThread ended");
        return 0;
    }
    int RunListener(MessageQueue& queue) override {
        Message m;
        while (queue.Get(m)) {
        }
        log.Add("RedundantListenerThread ended");
        return 0;
    }
    CallLog& log;
    std::atomic<int> syncs{0};
};

class OpcAppTest : public ::testing::Test {
  protected:
    OpcAppTest()
        : loop(clock),
          document(log),
          devices(log),
          host(log),
          redundancy(log),
          app(AppPlatform{clock, loop, machine, user, admin, instance, messages, files, window,
                          "/opt/velkopc/bin/velkopc"}) {
        machine.CreateKey(Key("TraceFile"));
        machine.WriteValue(Key("TraceFile"), "FileName", RegValue::String("/log/trace.txt"));
        app.Attach(AppParts{&document, &devices, &host, &redundancy});
    }

    void SetNumber(const std::string& subkey, const std::string& name, std::uint32_t value) {
        const std::string key = subkey.empty() ? kApp : Key(subkey);
        machine.CreateKey(key);
        machine.WriteValue(key, name, RegValue::Dword(value));
    }
    void SetFile1(const std::string& path) {
        machine.CreateKey(Key("Recent File List"));
        machine.WriteValue(Key("Recent File List"), "File1", RegValue::String(path));
    }
    bool Start(std::vector<std::string> arguments = {}) {
        return app.InitInstance(ParseCommandLine(arguments));
    }
    // Delivers what is due; false once the main loop was asked to quit.
    bool Pump() { return loop.RunPending(app); }
    // Advances the clock by whole seconds, delivering each comm-watch tick.
    bool Tick(int seconds) {
        bool running = true;
        for (int i = 0; i < seconds; ++i) {
            clock.Advance(1000);
            running = Pump() && running;
        }
        return running;
    }
    std::string TraceText() { return Utf16LeBytesToUtf8(files.Content("/log/trace.txt")); }

    FakeClock clock;
    MessageLoop loop;
    MemorySettingsStore machine;
    MemorySettingsStore user;
    FakeAdmin admin;
    FakeSingleInstance instance;
    RecordingMessageBox messages;
    MemoryFileSystem files;
    FakeWindow window;
    CallLog log;
    FakeDocument document;
    FakeDevices devices;
    FakeComServerHost host;
    FakeRedundancy redundancy;
    COpcApp app;
};

// --- Start-up ------------------------------------------------------------------------------

TEST_F(OpcAppTest, InteractiveStartOpensAfterThePauseTracesAndShowsTheWindow) {
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    EXPECT_EQ(clock.SleptMs(), 2000u);
    EXPECT_EQ(log.Entries(), std::vector<std::string>({"open /data/plant.vlk"}));
    EXPECT_TRUE(window.visible);
    EXPECT_TRUE(app.Interactive());
    EXPECT_TRUE(app.ThreadStarted("ComServer"));
    EXPECT_TRUE(app.ThreadStarted("AeEvent"));
    EXPECT_FALSE(app.ThreadStarted("RedundantClnt"));
    EXPECT_EQ(app.StartTime(), FakeClock::kDefaultStart);
    EXPECT_EQ(app.Version().major, 1);
    EXPECT_NE(TraceText().find("> Velk Modbus OPC Server started\r\n"), std::string::npos);
    EXPECT_EQ(app.RecentFiles().Entry(0), "/data/plant.vlk");
}

TEST_F(OpcAppTest, EmbeddingStartHasNoWindowAndNoUserControl) {
    ASSERT_TRUE(Start({"-Embedding"}));
    EXPECT_EQ(window.shows, 0);
    EXPECT_FALSE(app.Interactive());
    EXPECT_FALSE(app.UserControl());
    EXPECT_EQ(log.Entries(), std::vector<std::string>({"new"}));
}

TEST_F(OpcAppTest, ExistingLastUsedFileWinsOverTheCommandLine) {
    files.SetContent("/data/last.vlk", "x");
    SetFile1("/data/last.vlk");
    ASSERT_TRUE(Start({"/data/other.vlk"}));
    EXPECT_EQ(log.Entries(), std::vector<std::string>({"open /data/last.vlk"}));
}

TEST_F(OpcAppTest, QuestionMarkInFile1IsIgnored) {
    SetFile1("?");
    ASSERT_TRUE(Start());
    EXPECT_EQ(log.Entries(), std::vector<std::string>({"new"}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(OpcAppTest, MissingLastUsedFileIsReportedAndTheStartGoesOn) {
    SetFile1("/gone/plant.vlk");
    ASSERT_TRUE(Start({"/data/other.vlk"}));
    EXPECT_EQ(messages.shown,
              std::vector<std::string>({"Invalid configuration or wrong path: /gone/plant.vlk"}));
    EXPECT_EQ(log.Entries(), std::vector<std::string>({"open /data/other.vlk"}));
}

TEST_F(OpcAppTest, MissingLastUsedFileOfAnEmbeddedStartGoesToTheTrace) {
    SetFile1("/gone/plant.vlk");
    ASSERT_TRUE(Start({"/Embedding"}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_NE(TraceText().find("> Invalid configuration or wrong path: /gone/plant.vlk\r\n"),
              std::string::npos);
}

TEST_F(OpcAppTest, ADocumentThatCannotBeOpenedEndsTheStart) {
    document.openSucceeds = false;
    EXPECT_FALSE(Start({"/data/plant.vlk"}));
    EXPECT_FALSE(app.ThreadStarted("ComServer"));
    EXPECT_EQ(app.ExitInstance(), 1);
}

TEST_F(OpcAppTest, FailingServerHostShowsTheInitialisationMessage) {
    host.initializes = false;
    EXPECT_FALSE(Start());
    EXPECT_EQ(messages.shown, std::vector<std::string>({std::string(kOleFailedMessage)}));
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_TRUE(files.Content("/log/trace.txt").empty());
}

TEST_F(OpcAppTest, TheInstanceStaysTakenUntilTheServerHostHasEnded) {
    bool heldAtHostEnd = false;
    host.atEnd = [&] { heldAtHostEnd = instance.held; };
    ASSERT_TRUE(Start());
    app.ExitInstance();
    EXPECT_TRUE(heldAtHostEnd);
    EXPECT_FALSE(instance.held);
}

TEST_F(OpcAppTest, TraceFileThatCannotBeOpenedIsReportedOnceAndTheServerRuns) {
    files.failOpen = true;
    ::testing::internal::CaptureStderr();
    const bool started = Start();
    const std::string warning = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(started);
    EXPECT_NE(warning.find("/log/trace.txt"), std::string::npos) << warning;
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1) << warning;
    app.ExitInstance();
}

TEST_F(OpcAppTest, EmptyTraceFileNameCreatesNoFile) {
    machine.WriteValue(Key("TraceFile"), "FileName", RegValue::String(""));
    ASSERT_TRUE(Start());
    app.ExitInstance();
    EXPECT_EQ(files.FileCount(), 0u);
}

TEST_F(OpcAppTest, AdministratorStartCreatesTheEmptyKeysAndAnOrdinaryUserCreatesNothing) {
    MemorySettingsStore empty;
    FakeAdmin user_admin(false);
    COpcApp plain(
        AppPlatform{clock, loop, empty, user, user_admin, instance, messages, files, window, "x"});
    plain.Attach(AppParts{&document, nullptr, nullptr, nullptr});
    ASSERT_TRUE(plain.InitInstance(ParseCommandLine({})));
    EXPECT_TRUE(empty.Keys().empty());
    plain.ExitInstance();

    ASSERT_TRUE(Start());
    EXPECT_TRUE(machine.KeyExists(Key("EventStack")));
    EXPECT_TRUE(machine.KeyExists(Key("Shutdown")));
}

// --- Single instance and registration --------------------------------------------------------

TEST_F(OpcAppTest, SecondStartBringsTheRunningInstanceForwardAndTouchesNothing) {
    files.SetContent("/data/last.vlk", "x");
    SetFile1("/data/last.vlk");
    instance.lock = InstanceLock::AlreadyRunning;
    EXPECT_FALSE(Start());
    EXPECT_EQ(instance.notifications, 1);
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_TRUE(messages.shown.empty());
    machine.ClearOperations();
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_TRUE(machine.Operations().empty());
}

TEST_F(OpcAppTest, UnreachableRunningInstanceIsReported) {
    instance.lock = InstanceLock::AlreadyRunning;
    instance.runningInstanceAnswers = false;
    EXPECT_FALSE(Start());
    EXPECT_EQ(messages.shown,
              std::vector<std::string>({"We can not connect to the running intance!"}));
    EXPECT_EQ(app.ExitInstance(), 1);
}

TEST_F(OpcAppTest, AStartBesideTheSystemServiceIsRefusedWithWhatRunsAndHowToStopIt) {
    instance.serviceProcess = 4242;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{}, std::vector<std::string>{"-Embedding"}}) {
        messages.shown.clear();
        EXPECT_FALSE(Start(arguments));
        ASSERT_EQ(messages.shown.size(), 1u);
        const std::string& text = messages.shown[0];
        EXPECT_NE(text.find("system service"), std::string::npos) << text;
        EXPECT_NE(text.find("4242"), std::string::npos) << text;
        EXPECT_NE(text.find("systemctl stop velkopc"), std::string::npos) << text;
    }
    EXPECT_EQ(instance.acquires, 0);
    EXPECT_TRUE(log.Entries().empty());  // no document, no device, no thread
    EXPECT_EQ(app.ExitInstance(), 1);
}

TEST_F(OpcAppTest, TheSystemServiceItselfIsNotRefusedByItsOwnLock) {
    instance.serviceProcess = 4242;  // its own lock, as another start would see it
    EXPECT_TRUE(Start({"-SystemBus", "-Embedding"}));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(OpcAppTest, AStartWaitsForAStoppingServerThatAnswersNoMore) {
    instance.lock = InstanceLock::AlreadyRunning;
    instance.runningInstanceAnswers = false;
    instance.freeAfterAcquires = 3;
    EXPECT_TRUE(Start());
    EXPECT_EQ(instance.acquires, 4);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(OpcAppTest, LockThatCannotBeTakenNeverStartsASecondServer) {
    instance.lock = InstanceLock::Failed;
    instance.runningInstanceAnswers = false;
    EXPECT_FALSE(Start());
    EXPECT_TRUE(log.Entries().empty());
}

TEST_F(OpcAppTest, ShowRequestFromASecondStartGivesUserControl) {
    ASSERT_TRUE(Start({"-Embedding"}));
    ASSERT_TRUE(instance.onShowRequest);
    instance.onShowRequest();  // arrives on a platform thread; posted to the main loop
    EXPECT_FALSE(app.UserControl());
    Pump();
    EXPECT_TRUE(app.UserControl());
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.raises, 1);
    // The window is the user's now: the last client (the monitor stopped) leaves it running,
    // and only closing it ends the process.
    app.AddClient();
    app.RemoveClient();
    EXPECT_TRUE(Pump());
    loop.Post(WM_CLOSE);
    EXPECT_FALSE(Pump());
}

TEST_F(OpcAppTest, RegisterRunsBesideARunningInstanceWithoutAWindow) {
    instance.lock = InstanceLock::AlreadyRunning;
    EXPECT_FALSE(Start({"/REGSERVER"}));
    EXPECT_EQ(instance.acquires, 0);
    EXPECT_EQ(window.shows, 0);
    EXPECT_EQ(app.ExitInstance(), 0);
    EXPECT_TRUE(machine.KeyExists(std::string(kClassesKey) + "\\VELK.ModbusOPCServer.1"));
    EXPECT_EQ(log.Entries(), std::vector<std::string>({"host register"}));

    COpcApp second(
        AppPlatform{clock, loop, machine, user, admin, instance, messages, files, window, "x"});
    second.Attach(AppParts{&document, &devices, &host, &redundancy});
    EXPECT_FALSE(second.InitInstance(ParseCommandLine({"-unregister"})));
    EXPECT_FALSE(machine.KeyExists(std::string(kClassesKey) + "\\VELK.ModbusOPCServer.1"));
    EXPECT_EQ(log.Count("host unregister"), 1);
}

TEST_F(OpcAppTest, RegistrationIntoAStoreThatCannotBeWrittenFailsVisibly) {
    machine.SetWritable(false);
    EXPECT_FALSE(Start({"-Register"}));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(app.ExitInstance(), 1);
}

// --- Client counting, timers and the comm watch ------------------------------------------------

TEST_F(OpcAppTest, FirstClientStartsDevicesAndTimersAndTheLastStopsThem) {
    ASSERT_TRUE(Start());
    EXPECT_TRUE(app.AddClient());
    EXPECT_TRUE(app.AddClient());
    EXPECT_EQ(log.Count("start devices"), 1);
    EXPECT_TRUE(loop.HasTimer(TIMER_COMM_WATCH));
    EXPECT_FALSE(loop.HasTimer(TIMER_TIME_SYNC));
    EXPECT_TRUE(app.RemoveClient());
    EXPECT_EQ(log.Count("stop devices"), 0);
    EXPECT_FALSE(app.RemoveClient());
    EXPECT_EQ(log.Count("stop devices"), 1);
    EXPECT_FALSE(loop.HasTimer(TIMER_COMM_WATCH));
    EXPECT_TRUE(Pump());  // interactive: the process goes on
}

TEST_F(OpcAppTest, RemoveClientAtZeroStillStopsAndEndsAnEmbeddedProcess) {
    ASSERT_TRUE(Start({"-Automation"}));
    EXPECT_FALSE(app.RemoveClient());
    EXPECT_EQ(log.Count("stop devices"), 1);
    EXPECT_FALSE(Pump());
}

TEST_F(OpcAppTest, TimeSyncTimerRunsOnlyForARedundantSyncMaster) {
    SetNumber("Redundancy", "Enabled", 1);
    SetNumber("Redundancy", "SyncMaster", 1);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(app.ThreadStarted("RedundantClnt"));
    EXPECT_TRUE(app.ThreadStarted("RedundantLstn"));
    app.AddClient();
    EXPECT_TRUE(loop.HasTimer(TIMER_TIME_SYNC));
    clock.Advance(15000);
    Pump();
    app.RemoveClient();
    EXPECT_FALSE(loop.HasTimer(TIMER_TIME_SYNC));
    app.ExitInstance();
    EXPECT_EQ(redundancy.syncs.load(), 1);
}

TEST_F(OpcAppTest, CommFailZeroAsksClientsToDisconnectAtTheFirstTickOnlyOnce) {
    SetNumber("Shutdown", "OnCommFail", 0);
    ASSERT_TRUE(Start());
    FakeAEServer ae(log, "ae1");
    FakeDAServer da(log, "da1");
    app.AddAEServer(&ae);
    app.AddDAServer(&da);
    Tick(1);
    EXPECT_EQ(log.Count("shutdown ae1"), 1);
    EXPECT_EQ(log.Count("shutdown da1"), 1);
    Tick(5);
    // A reload to zero does not re-arm the request: only a tick that finds time left does.
    app.ReloadCommFailCountdown();
    Tick(3);
    EXPECT_EQ(log.Count("shutdown da1"), 1);
}

TEST_F(OpcAppTest, ReloadAfterTheRequestArmsTheNextOne) {
    SetNumber("Shutdown", "OnCommFail", 2);
    ASSERT_TRUE(Start());
    FakeDAServer da(log, "da1");
    app.AddDAServer(&da);
    Tick(3);
    EXPECT_EQ(log.Count("shutdown da1"), 1);
    Tick(10);
    EXPECT_EQ(log.Count("shutdown da1"), 1);
    app.ReloadCommFailCountdown();
    Tick(2);
    EXPECT_EQ(log.Count("shutdown da1"), 1);
    Tick(1);
    EXPECT_EQ(log.Count("shutdown da1"), 2);
}

TEST_F(OpcAppTest, CountdownRunsOutAfterOnCommFailSecondsWithoutAGoodExchange) {
    SetNumber("Shutdown", "OnCommFail", 3);
    ASSERT_TRUE(Start());
    FakeDAServer da(log, "da1");
    app.AddDAServer(&da);
    Tick(3);
    EXPECT_EQ(log.Count("shutdown da1"), 0);
    app.ReloadCommFailCountdown();
    Tick(3);
    EXPECT_EQ(log.Count("shutdown da1"), 0);
    Tick(1);
    EXPECT_EQ(log.Count("shutdown da1"), 1);
}

TEST_F(OpcAppTest, NeverMeansTheCountdownStartsAtTheLargestNumber) {
    ASSERT_TRUE(Start());
    app.AddClient();
    EXPECT_EQ(app.CommFailCountdown(), 4294967295u);
}

TEST_F(OpcAppTest, AnAeObjectThatCannotAskItsClientStopsTheRequestBeforeAnyDaClient) {
    SetNumber("Shutdown", "OnCommFail", 0);
    ASSERT_TRUE(Start());
    FakeAEServer ae1(log, "ae1", 1);
    FakeAEServer ae2(log, "ae2");
    FakeDAServer da(log, "da1");
    app.AddAEServer(&ae1);
    app.AddAEServer(&ae2);
    app.AddDAServer(&da);
    Tick(1);
    EXPECT_EQ(log.Count("shutdown ae1"), 1);
    EXPECT_EQ(log.Count("shutdown ae2"), 0);
    EXPECT_EQ(log.Count("shutdown da1"), 0);
}

TEST_F(OpcAppTest, ServerObjectsCountAsClientsOnlyOnce) {
    ASSERT_TRUE(Start({"-Embedding"}));
    FakeDAServer da(log, "da");
    app.AddDAServer(&da);
    EXPECT_EQ(app.ClientCount(), 1u);
    app.RemoveDAServer(&da);
    app.RemoveDAServer(&da);  // already gone: no second RemoveClient
    EXPECT_EQ(app.ClientCount(), 0u);
    EXPECT_EQ(log.Count("stop devices"), 1);
    EXPECT_FALSE(Pump());  // the embedded process ends with its last client
}

// --- Alarm records ------------------------------------------------------------------------------

BEvent* DeviceRecord() {
    auto* event = new BEvent;
    event->device = reinterpret_cast<ODevice*>(0x1);  // a source; never dereferenced
    return event;
}

TEST_F(OpcAppTest, AlarmRecordsWithASourceReachEveryAeServerWhileClientsAreAttached) {
    ASSERT_TRUE(Start());
    FakeAEServer ae1(log, "ae1");
    FakeAEServer ae2(log, "ae2");
    app.AddAEServer(&ae1);
    app.AddAEServer(&ae2);
    app.EventPoster().PostEvent(std::unique_ptr<BEvent>(DeviceRecord()));
    app.EventPoster().PostEvent(std::make_unique<BEvent>());  // no source: discarded
    app.EventPoster().PostEvent(std::unique_ptr<BEvent>(DeviceRecord()));
    app.ExitInstance();  // the thread works through its queue before the quit message
    EXPECT_EQ(ae1.events.load(), 2);
    EXPECT_EQ(ae2.events.load(), 2);
    app.RemoveAEServer(&ae1);
    app.RemoveAEServer(&ae2);
}

// --- Module locks, close and shutdown
// -------------------------------------------------------------

TEST_F(OpcAppTest, LastModuleUnlockEndsTheProcessOnlyWithoutUserControl) {
    ASSERT_TRUE(Start());
    loop.Post(WM_MODULE_LOCK, 0);
    loop.Post(WM_MODULE_LOCK, 1);
    EXPECT_TRUE(Pump());  // user control: goes on
    EXPECT_EQ(app.ComLockCount(), 0u);
    loop.Post(WM_MODULE_LOCK, 1);  // unlock at zero changes nothing
    EXPECT_TRUE(Pump());

    loop.Post(WM_MODULE_LOCK, 0);
    loop.Post(WM_CLOSE);  // Exit with a client connected: hidden, user control dropped
    EXPECT_TRUE(Pump());
    EXPECT_FALSE(window.visible);
    EXPECT_FALSE(app.UserControl());
    loop.Post(WM_MODULE_LOCK, 1);
    EXPECT_FALSE(Pump());
}

TEST_F(OpcAppTest, ExitWithClientsConnectedStopsTheMonitorThroughTheMonitorCommand) {
    ASSERT_TRUE(Start());
    document.monitorRunning = true;
    loop.Post(WM_MODULE_LOCK, 0);
    loop.Post(WM_CLOSE);
    EXPECT_TRUE(Pump());
    EXPECT_TRUE(Pump());
    EXPECT_EQ(log.Count("stop monitor"), 1);
    EXPECT_EQ(clock.SleptMs(), 2000u);  // no close pause on this path
}

TEST_F(OpcAppTest, CloseWithTheMonitorRunningPausesThenClosesAndSavesTheRecentFiles) {
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    document.monitorRunning = true;
    machine.ClearOperations();
    // The window stays drawn during the pause; a second close reaching it then is the same
    // close, not one more run of the rule.
    window.duringPause = [this] { app.OnExitCommand(); };
    loop.Post(WM_CLOSE);
    EXPECT_FALSE(Pump());
    EXPECT_EQ(log.Count("stop monitor"), 1);
    EXPECT_EQ(clock.SleptMs(), 2000u + 20000u);
    EXPECT_EQ(machine.WrittenNames(), std::vector<std::string>({"File1"}));
}

TEST_F(OpcAppTest, CloseWithClientsAttachedHidesAndTheLastClientEndsTheProcess) {
    ASSERT_TRUE(Start());
    app.AddClient();
    loop.Post(WM_CLOSE);
    EXPECT_TRUE(Pump());
    EXPECT_FALSE(app.Interactive());
    EXPECT_FALSE(window.visible);
    app.RemoveClient();
    EXPECT_FALSE(Pump());
}

TEST_F(OpcAppTest, TerminationRequestEndsTheLoopAndShutdownStopsThreadsInOrder) {
    SetNumber("Redundancy", "Enabled", 1);
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    app.RequestTermination();
    EXPECT_FALSE(Pump());
    EXPECT_EQ(app.ExitInstance(), 0);
    const auto entries = log.Entries();
    const int client = log.IndexOf("RedundantClientThread ended");
    const int listener = log.IndexOf("RedundantListenerThread ended");
    const int com = log.IndexOf("ComServerThread ended");
    ASSERT_GE(client, 0);
    EXPECT_LT(client, listener);
    EXPECT_LT(listener, com);
    EXPECT_FALSE(instance.held);
    const std::string trace = TraceText();
    EXPECT_NE(trace.find("> Velk Modbus OPC Server stopped\r\n"), std::string::npos);
    EXPECT_TRUE(trace.ends_with("> Velk Modbus OPC Server stopped\r\n"));
    // The lists are saved: machine-wide (administrator) and per user.
    SettingsAccess userAccess(user, std::string(kUserApplicationKey));
    EXPECT_EQ(userAccess.ReadSettingText("Recent File List", "File1", true, ""), "/data/plant.vlk");
    SettingsAccess machineAccess(machine);
    EXPECT_EQ(machineAccess.ReadSettingText("Recent File List", "File1", true, ""),
              "/data/plant.vlk");
}

TEST_F(OpcAppTest, StopLineIsTheLastLineEvenWhenAThreadTracesAsItEnds) {
    host.lineAtEnd = "Bus host: 1 call(s) still running after 2500 ms are left to end on their own";
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    app.RequestTermination();
    EXPECT_FALSE(Pump());
    app.ExitInstance();
    const std::string trace = TraceText();
    EXPECT_NE(trace.find(host.lineAtEnd), std::string::npos);
    EXPECT_TRUE(trace.ends_with("> Velk Modbus OPC Server stopped\r\n")) << trace;
    // Nothing reaches the file after the stop line.
    EXPECT_FALSE(velk::Trace("late"));
}

TEST_F(OpcAppTest, OrdinaryUserNeverWritesTheMachineWideRecentList) {
    admin.admin = false;
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    machine.ClearOperations();
    app.ExitInstance();
    EXPECT_TRUE(machine.Operations().empty());
}

TEST_F(OpcAppTest, StoreThatCannotBeUsedIsReportedOnceInTheTraceAndDefaultsApply) {
    MemorySettingsStore broken;
    broken.SetWritable(false);
    COpcApp damaged(
        AppPlatform{clock, loop, machine, broken, admin, instance, messages, files, window, "x"});
    damaged.Attach(AppParts{&document, nullptr, nullptr, nullptr});
    ASSERT_TRUE(damaged.InitInstance(ParseCommandLine({})));
    EXPECT_EQ(damaged.RecentFiles().Count(), 0);
    damaged.ExitInstance();
    const std::string trace = TraceText();
    const std::string problem = broken.Problem();
    ASSERT_FALSE(problem.empty());
    const auto first = trace.find(problem);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(trace.find(problem, first + 1), std::string::npos);
}

}  // namespace
}  // namespace velk

namespace velk {
namespace {

using namespace velk::testing;

// The document's side of the recovery copy: its state set by a test, the copies it writes
// into the memory file system and the ones it is asked to read.
class FakeRecovery final : public IDocumentRecovery {
  public:
    explicit FakeRecovery(MemoryFileSystem& files) : files(files) {}
    bool IsModified() const override { return modified; }
    std::string PathName() const override { return path; }
    bool WriteCopy(const std::string& copy, std::string& message) override {
        if (!writes) {
            message = "Permission denied";
            return false;
        }
        files.SetContent(copy, "configuration of " + path);
        return true;
    }
    bool OpenCopy(const std::string& copy, const std::string& original) override {
        opened.push_back(copy + " for " + original);
        return true;
    }
    MemoryFileSystem& files;
    bool modified = false;
    bool writes = true;
    std::string path;
    std::vector<std::string> opened;
};

class OpcAppRecoveryTest : public OpcAppTest {
  protected:
    OpcAppRecoveryTest() : recovery(files) { app.AttachRecovery(&recovery, kUserFolder); }
    static constexpr const char* kUserFolder = "/home/op/.config/velkopc";
    FakeRecovery recovery;
};

TEST_F(OpcAppTest, EveryCloseAsksAboutUnsavedEditsFirstAndCancelKeepsTheWindow) {
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    window.closeConfirmed = false;
    // The close button or Exit, alone and with a client holding the server.
    loop.Post(WM_CLOSE);
    EXPECT_TRUE(Pump());
    loop.Post(WM_MODULE_LOCK, 0);
    loop.Post(WM_CLOSE);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(window.closeQuestions, 2);
    EXPECT_TRUE(window.visible);
    EXPECT_TRUE(app.UserControl());
    loop.Post(WM_MODULE_LOCK, 1);
    EXPECT_TRUE(Pump());

    // A second close while the question is open is the same close: asked once.
    window.closeConfirmed = true;
    window.duringCloseQuestion = [this] { app.OnExitCommand(); };
    loop.Post(WM_CLOSE);
    EXPECT_FALSE(Pump());
    EXPECT_EQ(window.closeQuestions, 3);
}

TEST_F(OpcAppTest, FileOpenWritesTheMachineWideFile1AtOnceForAnAdministratorOnly) {
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    app.RecentFiles().Add("/data/other.vlk");
    app.OnFileOpened();
    SettingsAccess access(machine);
    EXPECT_EQ(access.ReadSettingText("Recent File List", "File1", true, ""), "/data/other.vlk");

    admin.admin = false;
    machine.ClearOperations();
    app.RecentFiles().Add("/data/third.vlk");
    app.OnFileOpened();
    EXPECT_TRUE(machine.Operations().empty());
}

TEST_F(OpcAppRecoveryTest, TerminationWithUnsavedEditsWritesARecoveryCopyBesideTheFile) {
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    files.SetContent("/data/plant.vlk", "saved configuration");
    recovery.path = "/data/plant.vlk";
    recovery.modified = true;
    app.RequestTermination();
    EXPECT_FALSE(Pump());
    EXPECT_EQ(files.Content("/data/plant.vlk.recovered"), "configuration of /data/plant.vlk");
    EXPECT_EQ(files.Content("/data/plant.vlk"), "saved configuration");
    EXPECT_NE(TraceText().find("> Unsaved changes of /data/plant.vlk were written to the "
                               "recovery copy /data/plant.vlk.recovered\r\n"),
              std::string::npos);

    // Untitled: beside the user's settings; a copy that cannot be written is traced.
    recovery.path.clear();
    app.WriteRecoveryCopy();
    EXPECT_TRUE(files.Exists("/home/op/.config/velkopc/Untitled.vlk.recovered"));
    recovery.writes = false;
    app.WriteRecoveryCopy();
    EXPECT_NE(TraceText().find("> Unsaved changes of Untitled could not be written to the "
                               "recovery copy /home/op/.config/velkopc/Untitled.vlk.recovered: "
                               "Permission denied\r\n"),
              std::string::npos);
    // Nothing unsaved, nothing written.
    recovery.modified = false;
    files.Remove("/data/plant.vlk.recovered");
    recovery.path = "/data/plant.vlk";
    app.WriteRecoveryCopy();
    EXPECT_FALSE(files.Exists("/data/plant.vlk.recovered"));
}

TEST_F(OpcAppRecoveryTest, TheNextInteractiveStartOffersTheRecoveryCopy) {
    files.SetContent("/data/plant.vlk.recovered", "edits");
    files.SetContent("/home/op/.config/velkopc/Untitled.vlk.recovered", "untitled edits");
    // Declined: both copies are offered in turn and kept.
    messages.answer = false;
    ASSERT_TRUE(Start({"/data/plant.vlk"}));
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_NE(messages.shown[0].find("unsaved changes of /data/plant.vlk; they were kept in "
                                     "/data/plant.vlk.recovered"),
              std::string::npos);
    EXPECT_NE(messages.shown[1].find("of Untitled"), std::string::npos);
    EXPECT_TRUE(recovery.opened.empty());
    EXPECT_TRUE(files.Exists("/data/plant.vlk.recovered"));
}

TEST_F(OpcAppRecoveryTest, AStartByAClientAsksNothing) {
    files.SetContent("/data/plant.vlk.recovered", "edits");
    messages.answer = true;
    ASSERT_TRUE(Start({"-Embedding", "/data/plant.vlk"}));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(files.Exists("/data/plant.vlk.recovered"));
}

}  // namespace
}  // namespace velk
