// The bus host on a private bus: instances per client, interface queries, result codes,
// release of a client's objects when it disconnects or is killed, and asynchronous sink
// callbacks to clients that answer late or never.
#include "platform/dbus/bus_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <future>
#include <mutex>
#include <thread>

#include "opc/opc_result.h"
#include "platform/dbus/bus_errors.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/platform/dbus/test_counter_class.h"
#include "tests/support/child_process.h"
#include "tests/support/refusing_thread_factory.h"

namespace velk::testing {
namespace {

constexpr const char* kTestName = "VELK.TestServer";
constexpr const char* kTestFactory = "/VELK/TestServer";
constexpr auto kPatience = std::chrono::seconds(20);

std::string Hex(HRESULT code) { return FormatHresultMessage(code); }

// Whatever fails in a test, its held call is let go and the thread that made it ends.
struct LetGoAtTheEnd {
    CounterRecord& record;
    std::thread& thread;
    ~LetGoAtTheEnd() {
        record.LetGo();
        if (thread.joinable()) thread.join();
    }
};

class BusHostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Start()) << bus_.Problem();
        std::string reason;
        ASSERT_TRUE(host_.Connect(BusTarget::At(bus_.Address()), reason)) << reason;
        ASSERT_TRUE(host_.AddClass(counter_, reason)) << reason;
        ASSERT_TRUE(host_.Start());
    }
    void TearDown() override { host_.Stop(); }

    // The counter's sink calls: Advise names the client's sink object, Notify makes one call
    // to it with the given time-out.
    static void Advise(sdbus::IProxy& instance, const std::string& sink) {
        instance.callMethod("Advise")
            .onInterface(kCounterInterface)
            .withArguments(sdbus::ObjectPath(sink));
    }
    static void Notify(sdbus::IProxy& instance, std::uint32_t timeoutMs) {
        instance.callMethod("Notify").onInterface(kCounterInterface).withArguments(timeoutMs);
    }

    std::unique_ptr<sdbus::IProxy> Instance(BusTestClient& client, const std::string& path) {
        return client.Proxy(kTestName, path);
    }
    static std::int32_t Add(sdbus::IProxy& instance, std::int32_t amount) {
        std::int32_t total = 0;
        instance.callMethod("Add")
            .onInterface(kCounterInterface)
            .withArguments(amount)
            .storeResultsTo(total);
        return total;
    }

    std::vector<std::string> LogLines() {
        std::lock_guard lock(logMutex_);
        return log_;
    }

    PrivateBus bus_;
    CountingModuleLock lock_;
    std::mutex logMutex_;
    std::vector<std::string> log_;
    BusHost host_{lock_, [this](const std::string& line) {
                      std::lock_guard lock(logMutex_);
                      log_.push_back(line);
                  }};
    TestCounterClass counter_{kTestName, kTestFactory};
};

TEST_F(BusHostTest, ClassesLearnTheCallersProcessAndRefusedCallsAreTracedOncePerMinute) {
    BusTestClient owner(bus_.Address());
    const std::string path = owner.CreateInstance(kTestName, kTestFactory);
    ASSERT_FALSE(path.empty());
    const std::string process = "(process " + std::to_string(::getpid()) + ")";
    EXPECT_EQ(counter_.LastClient().name, owner.UniqueName());
    EXPECT_EQ(counter_.LastClient().Describe(), "client " + owner.UniqueName() + " " + process);

    BusTestClient intruder(bus_.Address());
    auto foreign = Instance(intruder, path);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(BusTestClient::Try([&] { Add(*foreign, 1); }).message.substr(0, 10),
                  Hex(E_ACCESSDENIED));
    }
    // The line names the intruder's process, which the bus tells the host after the refusal.
    ASSERT_TRUE(WaitUntil([&] { return !LogLines().empty(); }, kPatience));
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u) << "one line per client and minute";
    EXPECT_EQ(lines[0], "refused a call of client " + intruder.UniqueName() + " " + process +
                            " to " + path + ", an object of another client (E_ACCESSDENIED)");
}

TEST_F(BusHostTest, AnObjectWhoseEndWaitsHoldsUpNoOtherClient) {
    counter_.Record()->holdEnds = true;
    {
        BusTestClient leaving(bus_.Address());
        ASSERT_FALSE(leaving.CreateInstance(kTestName, kTestFactory).empty());
    }
    // The departed client's instance is ending, and its end waits.
    ASSERT_TRUE(counter_.Record()->WaitUntilHeld(kPatience));
    counter_.Record()->holdEnds = false;
    BusTestClient other(bus_.Address());
    auto instance = Instance(other, other.CreateInstance(kTestName, kTestFactory));
    EXPECT_EQ(Add(*instance, 5), 5);
    EXPECT_TRUE(counter_.Record()->Holding());
    counter_.Record()->LetGo();
}

TEST_F(BusHostTest, EachClientGetsItsOwnInstanceHoldingOneModuleLock) {
    BusTestClient first(bus_.Address());
    BusTestClient second(bus_.Address());
    const std::string a = first.CreateInstance(kTestName, kTestFactory);
    const std::string b = second.CreateInstance(kTestName, kTestFactory);
    const std::string c = first.CreateInstance(kTestName, kTestFactory);
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(a.rfind(std::string(kTestFactory) + "/Instance", 0), 0u) << a;
    EXPECT_EQ(lock_.Count(), 3);
    EXPECT_EQ(host_.ObjectCount(first.UniqueName()), 2u);
    EXPECT_EQ(host_.ObjectCount(second.UniqueName()), 1u);

    // Every instance keeps its own state.
    auto instanceA = Instance(first, a);
    auto instanceB = Instance(second, b);
    EXPECT_EQ(Add(*instanceA, 5), 5);
    EXPECT_EQ(Add(*instanceA, 2), 7);
    EXPECT_EQ(Add(*instanceB, 1), 1);

    // An instance answers its owner only.
    auto foreign = Instance(second, a);
    const BusFailure refused = BusTestClient::Try([&] { Add(*foreign, 1); });
    EXPECT_EQ(refused.name, kHresultErrorName);
    EXPECT_EQ(refused.message.substr(0, 10), Hex(E_ACCESSDENIED));
    EXPECT_EQ(Add(*instanceA, 0), 7);
}

TEST_F(BusHostTest, ASlowCallHoldsUpItsOwnClientOnly) {
    BusTestClient slow(bus_.Address());
    auto held = Instance(slow, slow.CreateInstance(kTestName, kTestFactory));
    std::thread caller([&] { held->callMethod("Hold").onInterface(kCounterInterface); });
    LetGoAtTheEnd release{*counter_.Record(), caller};
    ASSERT_TRUE(counter_.Record()->WaitUntilHeld(kPatience));

    // Another client is served while the first one's call is in its handler.
    BusTestClient other(bus_.Address());
    auto instance = Instance(other, other.CreateInstance(kTestName, kTestFactory));
    EXPECT_EQ(Add(*instance, 6), 6);
    EXPECT_TRUE(counter_.Record()->Holding());

    counter_.Record()->LetGo();
    caller.join();
    EXPECT_FALSE(counter_.Record()->Holding());
    EXPECT_EQ(lock_.Count(), 2);
}

TEST_F(BusHostTest, ACallInProgressIsAnsweredAfterItsObjectWasWithdrawn) {
    BusTestClient client(bus_.Address());
    auto held = Instance(client, client.CreateInstance(kTestName, kTestFactory));
    BusFailure answer{"not answered", ""};
    std::thread caller([&] {
        answer =
            BusTestClient::Try([&] { held->callMethod("Hold").onInterface(kCounterInterface); });
    });
    LetGoAtTheEnd release{*counter_.Record(), caller};
    ASSERT_TRUE(counter_.Record()->WaitUntilHeld(kPatience));

    // The object and its method table leave the bus while its call is in the handler; the
    // answer still goes out, checked against the table it was called through.
    host_.RemoveClasses();
    EXPECT_EQ(host_.ObjectCount(), 0u);
    EXPECT_EQ(lock_.Count(), 0);
    counter_.Record()->LetGo();
    caller.join();
    EXPECT_EQ(answer.name, "") << answer.message;
}

TEST_F(BusHostTest, CallsOfOneClientRunInTheOrderTheyWereSent) {
    BusTestClient client(bus_.Address());
    auto instance = Instance(client, client.CreateInstance(kTestName, kTestFactory));
    // Asynchronous calls: all are sent before the first answer arrives.
    std::mutex mutex;
    std::vector<std::int32_t> totals;
    std::vector<sdbus::PendingAsyncCall> calls;
    for (std::int32_t amount = 1; amount <= 20; ++amount) {
        calls.push_back(instance->callMethodAsync("Add")
                            .onInterface(kCounterInterface)
                            .withArguments(amount)
                            .uponReplyInvoke([&](const sdbus::Error* error, std::int32_t total) {
                                std::lock_guard lock(mutex);
                                totals.push_back(error ? -1 : total);
                            }));
    }
    client.Connection().enterEventLoopAsync();
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return totals.size() == 20;
        },
        kPatience));
    client.Connection().leaveEventLoop();
    std::vector<std::int32_t> expected;
    for (std::int32_t amount = 1, sum = 0; amount <= 20; ++amount)
        expected.push_back(sum += amount);
    std::lock_guard lock(mutex);
    EXPECT_EQ(totals, expected);
}

TEST_F(BusHostTest, InterfaceQueryAnswersTheObjectsInterfacesAndRefusesOthers) {
    BusTestClient client(bus_.Address());
    auto instance = Instance(client, client.CreateInstance(kTestName, kTestFactory));
    std::vector<std::string> names;
    instance->callMethod("GetInterfaces").onInterface("VELK.Object").storeResultsTo(names);
    EXPECT_EQ(names, (std::vector<std::string>{"VELK.Object", kCounterInterface}));

    EXPECT_TRUE(BusTestClient::Try([&] {
                    instance->callMethod("QueryInterface")
                        .onInterface("VELK.Object")
                        .withArguments(std::string(kCounterInterface));
                }).name.empty());
    const BusFailure missing = BusTestClient::Try([&] {
        instance->callMethod("QueryInterface")
            .onInterface("VELK.Object")
            .withArguments(std::string("VELK.OPC.IPersistFile"));
    });
    EXPECT_EQ(missing.name, kHresultErrorName);
    EXPECT_EQ(ParseHresultMessage(missing.message), E_NOINTERFACE) << missing.message;
}

TEST_F(BusHostTest, ResultCodesTravelInTheFixedWay) {
    BusTestClient client(bus_.Address());
    auto instance = Instance(client, client.CreateInstance(kTestName, kTestFactory));

    const BusFailure failed = BusTestClient::Try([&] {
        instance->callMethod("Fail")
            .onInterface(kCounterInterface)
            .withArguments(OPC_E_UNKNOWNITEMID);
    });
    EXPECT_EQ(failed.name, kHresultErrorName);
    EXPECT_EQ(failed.message, Hex(OPC_E_UNKNOWNITEMID) + " asked to fail");

    std::int32_t code = -1;
    instance->callMethod("Succeed")
        .onInterface(kCounterInterface)
        .withArguments(S_FALSE)
        .storeResultsTo(code);
    EXPECT_EQ(code, S_FALSE);

    // A handler whose results do not match its declared signature yields E_FAIL, not a
    // malformed reply.
    const BusFailure bad = BusTestClient::Try([&] {
        std::int32_t value = 0;
        instance->callMethod("BadReply").onInterface(kCounterInterface).storeResultsTo(value);
    });
    EXPECT_EQ(bad.name, kHresultErrorName);
    EXPECT_EQ(ParseHresultMessage(bad.message), E_FAIL);

    // A refused creation reaches the client with the class's code.
    counter_.RefuseWith(CLASS_E_CLASSNOTAVAILABLE);
    BusFailure refused;
    EXPECT_EQ(client.CreateInstance(kTestName, kTestFactory, &refused), "");
    EXPECT_EQ(ParseHresultMessage(refused.message), CLASS_E_CLASSNOTAVAILABLE) << refused.message;
    EXPECT_EQ(lock_.Count(), 1);
}

TEST_F(BusHostTest, NestedValuesCrossTheBusBothWaysUnchanged) {
    BusTestClient client(bus_.Address());
    auto instance = Instance(client, client.CreateInstance(kTestName, kTestFactory));
    using Record = sdbus::Struct<std::int32_t, std::string, std::vector<double>>;
    std::map<std::string, sdbus::Variant> dict{
        {"number", sdbus::Variant(std::uint64_t{1} << 40)},
        {"texts", sdbus::Variant(std::vector<std::string>{"x", "", "z"})},
        {"record", sdbus::Variant(Record{-3, "r", {1.5, -2.25}})},
        {"flag", sdbus::Variant(true)},
        {"path", sdbus::Variant(sdbus::ObjectPath("/a/b"))},
        {"variants",
         sdbus::Variant(std::vector<sdbus::Variant>{sdbus::Variant(std::int16_t{-7})})}};
    sdbus::Variant echoed;
    instance->callMethod("Echo")
        .onInterface(kCounterInterface)
        .withArguments(sdbus::Variant(dict))
        .storeResultsTo(echoed);
    auto back = echoed.get<std::map<std::string, sdbus::Variant>>();
    ASSERT_EQ(back.size(), dict.size());
    EXPECT_EQ(back["number"].get<std::uint64_t>(), std::uint64_t{1} << 40);
    EXPECT_EQ(back["texts"].get<std::vector<std::string>>(),
              (std::vector<std::string>{"x", "", "z"}));
    const Record record = back["record"].get<Record>();
    EXPECT_EQ(std::get<0>(record), -3);
    EXPECT_EQ(std::get<1>(record), "r");
    EXPECT_EQ(std::get<2>(record), (std::vector<double>{1.5, -2.25}));
    EXPECT_TRUE(back["flag"].get<bool>());
    EXPECT_EQ(back["path"].get<sdbus::ObjectPath>(), "/a/b");
    const auto variants = back["variants"].get<std::vector<sdbus::Variant>>();
    ASSERT_EQ(variants.size(), 1u);
    EXPECT_EQ(variants[0].get<std::int16_t>(), -7);

    // Arguments of the wrong type are refused before the handler runs.
    const BusFailure wrong = BusTestClient::Try([&] {
        instance->callMethod("Add").onInterface(kCounterInterface).withArguments(std::string("5"));
    });
    EXPECT_EQ(wrong.name, "org.freedesktop.DBus.Error.InvalidArgs");
}

TEST_F(BusHostTest, ReleaseWithdrawsTheInstanceWithItsChildrenAndItsLock) {
    BusTestClient client(bus_.Address());
    const std::string path = client.CreateInstance(kTestName, kTestFactory);
    auto instance = Instance(client, path);
    sdbus::ObjectPath child, other;
    instance->callMethod("CreateChild")
        .onInterface(kCounterInterface)
        .withArguments(std::string("one"))
        .storeResultsTo(child);
    instance->callMethod("CreateChild")
        .onInterface(kCounterInterface)
        .withArguments(std::string("two"))
        .storeResultsTo(other);
    EXPECT_EQ(child.rfind(path + "/Item", 0), 0u) << child;
    std::string name;
    Instance(client, child)->callMethod("Name").onInterface(kItemInterface).storeResultsTo(name);
    EXPECT_EQ(name, "one");
    EXPECT_EQ(host_.ObjectCount(), 3u);
    EXPECT_EQ(lock_.Count(), 1);  // children hold no lock of their own

    instance->callMethod("RemoveChild").onInterface(kCounterInterface).withArguments(other);
    EXPECT_EQ(host_.ObjectCount(), 2u);

    instance->callMethod("Release").onInterface("VELK.Object");
    EXPECT_EQ(host_.ObjectCount(), 0u);
    EXPECT_EQ(lock_.Count(), 0);
    const BusFailure gone = BusTestClient::Try([&] { Add(*instance, 1); });
    EXPECT_FALSE(gone.name.empty());
    EXPECT_FALSE(BusTestClient::Try([&] {
                     Instance(client, child)
                         ->callMethod("Name")
                         .onInterface(kItemInterface)
                         .storeResultsTo(name);
                 }).name.empty());
}

TEST_F(BusHostTest, AClientThatDisconnectsLosesItsObjects) {
    BusTestClient stays(bus_.Address());
    const std::string kept = stays.CreateInstance(kTestName, kTestFactory);
    {
        BusTestClient leaves(bus_.Address());
        auto instance = Instance(leaves, leaves.CreateInstance(kTestName, kTestFactory));
        sdbus::ObjectPath child;
        instance->callMethod("CreateChild")
            .onInterface(kCounterInterface)
            .withArguments(std::string("x"))
            .storeResultsTo(child);
        EXPECT_EQ(host_.ObjectCount(), 3u);
        EXPECT_EQ(lock_.Count(), 2);
    }
    EXPECT_TRUE(WaitUntil([&] { return host_.ObjectCount() == 1; }, kPatience));
    EXPECT_EQ(lock_.Count(), 1);
    auto instance = Instance(stays, kept);
    EXPECT_EQ(Add(*instance, 3), 3);
}

// At a task limit: a departing client's objects still end (the release needs no new
// thread), a new client's calls are refused with an answer, and once threads can be had
// again the same client is served.
TEST_F(BusHostTest, WithNoThreadToBeHadClientsLeaveAndAreRefusedAndTheHostGoesOn) {
    auto leaves = std::make_unique<BusTestClient>(bus_.Address());
    auto instance = Instance(*leaves, leaves->CreateInstance(kTestName, kTestFactory));
    EXPECT_EQ(Add(*instance, 2), 2);
    auto refused = std::make_unique<ThreadsRefused>();
    instance.reset();
    leaves.reset();
    EXPECT_TRUE(WaitUntil([&] { return host_.ObjectCount() == 0; }, kPatience));
    EXPECT_TRUE(WaitUntil([&] { return lock_.Count() == 0; }, kPatience));

    BusTestClient comes(bus_.Address());
    BusFailure failure;
    EXPECT_EQ(comes.CreateInstance(kTestName, kTestFactory, &failure), "");
    EXPECT_EQ(failure.message.substr(0, 10), Hex(E_OUTOFMEMORY)) << failure.message;
    EXPECT_GT(refused->factory.Refused(), 0);
    refused.reset();

    auto served = Instance(comes, comes.CreateInstance(kTestName, kTestFactory));
    EXPECT_EQ(Add(*served, 4), 4);
    EXPECT_EQ(lock_.Count(), 1);
}

TEST_F(BusHostTest, AKilledClientLosesItsObjectsAndTheLockCountReturnsToZero) {
    TempDirectory work;
    ChildProcess client;
    ASSERT_TRUE(client.Start("/usr/bin/python3",
                             {std::string(VELK_DBUS_TEST_DIR) + "/create_and_wait.py",
                              bus_.Address(), kTestName, kTestFactory},
                             {}, work.File("client.out")));
    ASSERT_TRUE(WaitUntil([&] { return host_.ObjectCount() == 1; }, kPatience))
        << ReadFile(work.File("client.out"));
    EXPECT_EQ(lock_.Count(), 1);
    ASSERT_TRUE(client.Signal(SIGKILL));
    client.Wait(kPatience);
    EXPECT_TRUE(WaitUntil([&] { return host_.ObjectCount() == 0; }, kPatience));
    EXPECT_EQ(lock_.Count(), 0);
}

TEST_F(BusHostTest, ASinkThatNeverAnswersBlocksNobodyAndItsTimeOutIsReported) {
    // This client's connection is never served: calls to its sinks stay unanswered.
    BusTestClient silent(bus_.Address());
    auto instance = Instance(silent, silent.CreateInstance(kTestName, kTestFactory));
    Advise(*instance, "/Sink");

    // The call that starts the callback is answered while the callback waits.
    Notify(*instance, 600000);
    EXPECT_EQ(host_.PendingSinkCalls(), 1u);
    BusTestClient other(bus_.Address());
    auto second = Instance(other, other.CreateInstance(kTestName, kTestFactory));
    EXPECT_EQ(Add(*second, 4), 4);
    EXPECT_TRUE(counter_.Record()->Completions().empty());

    // A short time-out runs out and is reported as such.
    Notify(*instance, 100);
    ASSERT_TRUE(counter_.Record()->WaitForCompletions(1, kPatience));
    EXPECT_EQ(counter_.Record()->Completions(), std::vector<HRESULT>{RPC_E_TIMEOUT});
    EXPECT_EQ(host_.PendingSinkCalls(), 1u);

    // When the silent client goes, its last call completes as disconnected at once.
    instance.reset();
    { BusTestClient gone(std::move(silent)); }
    ASSERT_TRUE(counter_.Record()->WaitForCompletions(2, kPatience));
    EXPECT_EQ(counter_.Record()->Completions(),
              (std::vector<HRESULT>{RPC_E_TIMEOUT, RPC_E_DISCONNECTED}));
    EXPECT_EQ(host_.PendingSinkCalls(), 0u);
    EXPECT_TRUE(WaitUntil([&] { return lock_.Count() == 1; }, kPatience));
}

TEST_F(BusHostTest, AClientThatAnswersNoSinkCallIsNotSentMoreThanItsShare) {
    BusTestClient silent(bus_.Address());
    auto instance = Instance(silent, silent.CreateInstance(kTestName, kTestFactory));
    Advise(*instance, "/Sink");
    for (int i = 0; i < 70; ++i) {
        Notify(*instance, 600000);
    }
    ASSERT_TRUE(counter_.Record()->WaitForCompletions(6, kPatience));
    EXPECT_EQ(host_.PendingSinkCalls(), 64u);
    EXPECT_EQ(counter_.Record()->Completions(), std::vector<HRESULT>(6, RPC_E_TIMEOUT));
}

TEST_F(BusHostTest, SinkCallsReachTheClientsObjectAndCarryItsAnswer) {
    BusTestClient client(bus_.Address());
    std::atomic<int> received{-1};
    auto sink = sdbus::createObject(client.Connection(), "/Sink");
    sink->registerMethod("OnNotify")
        .onInterface(kSinkInterface)
        .implementedAs([&](std::int32_t total) {
            if (total < 0) throw sdbus::Error(std::string(kHresultErrorName), Hex(E_OUTOFMEMORY));
            received = total;
        });
    sink->finishRegistration();
    client.Connection().enterEventLoopAsync();
    auto instance = Instance(client, client.CreateInstance(kTestName, kTestFactory));
    Advise(*instance, "/Sink");
    Add(*instance, 9);
    Notify(*instance, 600000);
    ASSERT_TRUE(counter_.Record()->WaitForCompletions(1, kPatience));
    EXPECT_EQ(received.load(), 9);

    // The sink's own failure code comes back as it is; a missing sink is no interface.
    Add(*instance, -20);
    Notify(*instance, 600000);
    Advise(*instance, "/Nowhere");
    Notify(*instance, 600000);
    ASSERT_TRUE(counter_.Record()->WaitForCompletions(3, kPatience));
    EXPECT_EQ(counter_.Record()->Completions(),
              (std::vector<HRESULT>{S_OK, E_OUTOFMEMORY, E_NOINTERFACE}));
    client.Connection().leaveEventLoop();
}

TEST_F(BusHostTest, APython3DbusClientUsesTheDocumentedConventions) {
    TempDirectory work;
    const int exitCode = RunProgram("/usr/bin/python3",
                                    {std::string(VELK_DBUS_TEST_DIR) + "/python_client.py",
                                     bus_.Address(), kTestName, kTestFactory},
                                    {}, work.File("client.out"), std::chrono::seconds(60));
    const std::string output = ReadFile(work.File("client.out"));
    EXPECT_EQ(exitCode, 0) << output;
    EXPECT_NE(output.find("python client: 0 failed checks"), std::string::npos) << output;
    EXPECT_TRUE(WaitUntil([&] { return lock_.Count() == 0; }, kPatience));
    EXPECT_EQ(counter_.Record()->Completions(), std::vector<HRESULT>{S_OK});
}

TEST_F(BusHostTest, StopWithdrawsEverythingAndReleasesTheLocks) {
    BusTestClient client(bus_.Address());
    auto instance = Instance(client, client.CreateInstance(kTestName, kTestFactory));
    Advise(*instance, "/Sink");
    Notify(*instance, 600000);
    client.CreateInstance(kTestName, kTestFactory);
    EXPECT_EQ(lock_.Count(), 2);
    host_.Stop();
    EXPECT_EQ(lock_.Count(), 0);
    EXPECT_EQ(counter_.Record()->Completions(), std::vector<HRESULT>{RPC_E_DISCONNECTED});
    // The name went with the host.
    BusFailure failure;
    EXPECT_EQ(client.CreateInstance(kTestName, kTestFactory, &failure), "");
    EXPECT_EQ(failure.name, "org.freedesktop.DBus.Error.ServiceUnknown");
}

TEST_F(BusHostTest, StopGivesUpOnACallThatDoesNotEndAndStopsOnlyOnce) {
    BusTestClient client(bus_.Address());
    auto held = Instance(client, client.CreateInstance(kTestName, kTestFactory));
    std::thread caller([&] {
        BusTestClient::Try([&] { held->callMethod("Hold").onInterface(kCounterInterface); });
    });
    ASSERT_TRUE(counter_.Record()->WaitUntilHeld(kPatience));

    // Two owners stop at the same time, as the application's shutdown and its destructor
    // once did: one stops, the other returns, and neither waits for the call forever.
    auto other = std::async(std::launch::async, [&] { host_.Stop(); });
    host_.Stop();
    const bool bothReturned = other.wait_for(kPatience) == std::future_status::ready;
    EXPECT_TRUE(host_.LeftCallsRunning());
    EXPECT_EQ(lock_.Count(), 0);

    counter_.Record()->LetGo();
    caller.join();
    EXPECT_TRUE(bothReturned);
    // The call ended on its own; the host may go now.
    EXPECT_TRUE(WaitUntil([&] { return !host_.LeftCallsRunning(); }, kPatience));
}

TEST_F(BusHostTest, AClassThatWaitsWhileMakingAnInstanceHoldsUpNoOtherClient) {
    BusTestClient other(bus_.Address());
    auto instance = Instance(other, other.CreateInstance(kTestName, kTestFactory));
    counter_.HoldCreations(true);
    BusTestClient first(bus_.Address());
    std::string created;
    std::thread creating([&] { created = first.CreateInstance(kTestName, kTestFactory); });
    ASSERT_TRUE(counter_.Record()->WaitUntilHeld(kPatience));
    counter_.HoldCreations(false);

    // The bus loop answers the others meanwhile: a ping of the server's connection, a call
    // on an instance and a new instance.
    constexpr auto kAnswerWait = std::chrono::seconds(10);
    EXPECT_EQ(BusTestClient::Try([&] {
                  other.Proxy(host_.UniqueName(), "/")
                      ->callMethod("Ping")
                      .onInterface("org.freedesktop.DBus.Peer")
                      .withTimeout(kAnswerWait);
              }).name,
              "");
    EXPECT_EQ(BusTestClient::Try([&] {
                  instance->callMethod("Add")
                      .onInterface(kCounterInterface)
                      .withTimeout(kAnswerWait)
                      .withArguments(std::int32_t{1});
              }).name,
              "");
    EXPECT_NE(other.CreateInstance(kTestName, kTestFactory), "");
    EXPECT_TRUE(counter_.Record()->Holding());

    counter_.Record()->LetGo();
    creating.join();
    EXPECT_NE(created, "");
    EXPECT_EQ(lock_.Count(), 3);
}

TEST_F(BusHostTest, ArgumentsBeyondTheLimitsOfACallAreRefusedAndTheClientGoesOn) {
    BusTestClient client(bus_.Address());
    auto instance = Instance(client, client.CreateInstance(kTestName, kTestFactory));
    // A value of 4 MB of bytes, and a text of 5 MB: both over what one call may hold.
    for (const sdbus::Variant& huge :
         {sdbus::Variant(std::vector<std::uint8_t>(4 * 1024 * 1024, 7)),
          sdbus::Variant(std::string(5 * 1024 * 1024, 'x'))}) {
        const BusFailure refused = BusTestClient::Try([&] {
            instance->callMethod("Echo").onInterface(kCounterInterface).withArguments(huge);
        });
        EXPECT_EQ(refused.name, kHresultErrorName);
        EXPECT_EQ(refused.message.substr(0, 10), Hex(E_INVALIDARG)) << refused.message;
    }
    // What fits is served as before.
    sdbus::Variant echoed;
    instance->callMethod("Echo")
        .onInterface(kCounterInterface)
        .withArguments(sdbus::Variant(std::vector<std::uint8_t>(64 * 1024, 7)))
        .storeResultsTo(echoed);
    EXPECT_EQ(echoed.get<std::vector<std::uint8_t>>().size(), 64u * 1024);
    EXPECT_EQ(Add(*instance, 2), 2);
}

TEST_F(BusHostTest, ANameThatIsTakenIsRefusedWithAReason) {
    CountingModuleLock otherLock;
    BusHost other(otherLock);
    std::string reason;
    ASSERT_TRUE(other.Connect(BusTarget::At(bus_.Address()), reason)) << reason;
    TestCounterClass same{kTestName, "/VELK/Other"};
    EXPECT_FALSE(other.AddClass(same, reason));
    EXPECT_NE(reason.find(kTestName), std::string::npos) << reason;
}

TEST(BusHostConnect, NoBusAtTheAddressIsAFailureWithAReason) {
    TempDirectory nowhere;
    CountingModuleLock lock;
    BusHost host(lock);
    std::string reason;
    EXPECT_FALSE(host.Connect(BusTarget::At("unix:path=" + nowhere.File("no-bus")), reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_FALSE(host.Start());
}

}  // namespace
}  // namespace velk::testing
