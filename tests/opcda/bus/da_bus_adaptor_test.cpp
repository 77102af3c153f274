// The DA class on a private bus over the DA test tree and a fake tag I/O: instances count
// as clients and release their server object, groups are objects below their instance,
// values cross in both directions with their types, completions and shutdown requests
// reach the client's own sink objects, and a client that leaves loses everything it had.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "opc/opc_result.h"
#include "opcda/bus/da_bus_class.h"
#include "opcda/bus/sink_window.h"
#include "platform/dbus/bus_errors.h"
#include "platform/dbus/bus_host.h"
#include "tests/opcda/opcda_fixture.h"
#include "tests/platform/dbus/bus_test_client.h"
#include "tests/platform/dbus/private_bus.h"
#include "tests/support/child_process.h"

namespace velk::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kName = "VELK.ModbusOPCServer";
constexpr const char* kFactory = "/VELK/ModbusOPCServer";
constexpr const char* kOpc = "VELK.OPC.";
constexpr auto kPatience = 20s;

using BusVariant = sdbus::Struct<std::uint16_t, sdbus::Variant>;
using ItemDef = sdbus::Struct<std::string, std::string, bool, std::uint32_t, std::uint16_t>;
using ItemResult = sdbus::Struct<std::uint32_t, std::uint16_t, std::uint32_t>;
using ItemState = sdbus::Struct<std::uint32_t, std::uint64_t, std::uint16_t, BusVariant>;

std::string I(const char* name) { return std::string(kOpc) + name; }

HRESULT CodeOf(const BusFailure& failure) {
    if (failure.name != kHresultErrorName) return S_OK;
    return ParseHresultMessage(failure.message).value_or(S_OK);
}

// The application's list of server objects as the adaptor sees it: entered on the bus
// thread, left on the release thread, read by the test.
class LockedRegistry final : public IServerObjectRegistry {
  public:
    void AddDAServer(IDAServerObject* s) override {
        std::lock_guard lock(mutex_);
        added_.push_back(s);
    }
    void RemoveDAServer(IDAServerObject* s) override {
        std::lock_guard lock(mutex_);
        removed_.push_back(s);
    }
    void AddAEServer(IAEServerObject*) override {}
    void RemoveAEServer(IAEServerObject*) override {}
    std::vector<IDAServerObject*> Added() const {
        std::lock_guard lock(mutex_);
        return added_;
    }
    std::vector<IDAServerObject*> Removed() const {
        std::lock_guard lock(mutex_);
        return removed_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<IDAServerObject*> added_;
    std::vector<IDAServerObject*> removed_;
};

class DaBusAdaptorTest : public DaTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bus_.Start()) << bus_.Problem();
        DaBusServices services;
        services.clock = &clock;
        services.tagIO = &io;
        services.registry = &servers;
        services.root = [this] { return &root; };
        services.locks = &locks;
        services.settings = [this] {
            DAServerSettings settings;
            settings.limits = limits;
            settings.runUpdateCycles = false;
            settings.vendorInfo = "VELK";
            settings.majorVersion = 2;
            return settings;
        };
        services.deviceMonitor = [] {
            DeviceMonitorModel model;
            model.deviceName = "PLC1";
            model.secondaryActive = true;
            model.channelNames = {"10.0.0.1", "10.0.0.2"};
            model.rows.push_back({"Sent messages:", 12, {10, 2}, false});
            return std::vector<DeviceMonitorModel>{model};
        };
        class_ = std::make_unique<DaBusClass>(kName, kFactory, services);
        std::string reason;
        ASSERT_TRUE(host_.Connect(BusTarget::At(bus_.Address()), reason)) << reason;
        ASSERT_TRUE(host_.AddClass(*class_, reason)) << reason;
        ASSERT_TRUE(host_.Start());
    }
    void TearDown() override {
        host_.Stop();
        class_->DrainReleases();
    }

    struct Group {
        std::string path;
        std::uint32_t hServer = 0;
        std::unique_ptr<sdbus::IProxy> proxy;
    };
    Group AddGroup(BusTestClient& client, sdbus::IProxy& instance, const std::string& name,
                   std::uint32_t rate = 100) {
        Group g;
        std::int32_t hr = 0;
        sdbus::ObjectPath path;
        std::uint32_t revised = 0;
        instance.callMethod("AddGroup")
            .onInterface(I("IOPCServer"))
            .withArguments(name, true, rate, std::uint32_t{77}, false, std::int32_t{0}, false, 0.0,
                           std::uint32_t{0})
            .storeResultsTo(hr, path, g.hServer, revised);
        g.path = path;
        g.proxy = client.Proxy(kName, path);
        return g;
    }
    std::vector<std::uint32_t> AddItems(sdbus::IProxy& group, const std::vector<std::string>& ids) {
        std::vector<ItemDef> defs;
        std::uint32_t client = 1;
        for (const std::string& id : ids) defs.push_back(ItemDef{"", id, true, client++, 0});
        std::int32_t hr = 0;
        std::vector<ItemResult> results;
        std::vector<std::int32_t> errors;
        group.callMethod("AddItems")
            .onInterface(I("IOPCItemMgt"))
            .withArguments(defs)
            .storeResultsTo(hr, results, errors);
        std::vector<std::uint32_t> handles;
        for (const ItemResult& r : results) handles.push_back(std::get<0>(r));
        return handles;
    }
    bool RegistryRemoved(std::size_t count) {
        return WaitUntil(
            [&] {
                class_->DrainReleases();
                return servers.Removed().size() >= count;
            },
            kPatience);
    }

    PrivateBus bus_;
    CountingModuleLock lock_;
    std::unique_ptr<DaBusClass> class_;
    LockedRegistry servers;
    BusHost host_{lock_};
};

TEST_F(DaBusAdaptorTest, AnInstanceIsOneClientUntilItIsReleased) {
    BusTestClient client(bus_.Address());
    const std::string path = client.CreateInstance(kName, kFactory);
    ASSERT_EQ(path.rfind(std::string(kFactory) + "/Instance", 0), 0u) << path;
    ASSERT_EQ(servers.Added().size(), 1u);
    // The line names the client and its process, as the bus reports them.
    EXPECT_TRUE(Traced("Creating OPC DA server instance for client " + client.UniqueName() +
                       " (process " + std::to_string(::getpid()) + ")"));
    auto instance = client.Proxy(kName, path);

    std::vector<std::string> interfaces;
    instance->callMethod("GetInterfaces").onInterface("VELK.Object").storeResultsTo(interfaces);
    EXPECT_EQ(interfaces, (std::vector<std::string>{
                              "VELK.Object", I("IOPCServer"), I("IOPCCommon"),
                              I("IOPCBrowseServerAddressSpace"), I("IOPCItemProperties"),
                              I("IConnectionPointContainer"), "VELK.Server.IDeviceMonitor"}));
    std::uint64_t start = 0, now = 0, last = 0;
    std::uint32_t state = 0, groups = 0, bandwidth = 0;
    std::uint16_t major = 0, minor = 0, build = 0;
    std::string vendor;
    instance->callMethod("GetStatus")
        .onInterface(I("IOPCServer"))
        .storeResultsTo(start, now, last, state, groups, bandwidth, major, minor, build, vendor);
    EXPECT_EQ(state, 1u);
    EXPECT_EQ(major, 2u);
    EXPECT_EQ(vendor, "VELK");
    EXPECT_EQ(now, clock.NowUtc());

    // The failure of the DA object is the call's result code.
    const BusFailure refused = BusTestClient::Try([&] {
        instance->callMethod("SetLocaleID")
            .onInterface(I("IOPCCommon"))
            .withArguments(std::uint32_t{0x0409});
    });
    EXPECT_EQ(CodeOf(refused), E_INVALIDARG) << refused.name << " " << refused.message;
    EXPECT_TRUE(Traced("Called IOPCCommon::SetLocaleID"));

    EXPECT_TRUE(servers.Removed().empty());
    instance->callMethod("Release").onInterface("VELK.Object");
    ASSERT_TRUE(RegistryRemoved(1));
    EXPECT_EQ(servers.Removed()[0], servers.Added()[0]);
    EXPECT_TRUE(Traced("OPC DA server object destroyed"));
}

TEST_F(DaBusAdaptorTest, GroupsAreObjectsBelowTheirInstanceAndValuesKeepTheirTypes) {
    BusTestClient client(bus_.Address());
    const std::string path = client.CreateInstance(kName, kFactory);
    auto instance = client.Proxy(kName, path);
    Group group = AddGroup(client, *instance, "Fast");
    EXPECT_EQ(group.path, path + "/Group1");
    sdbus::ObjectPath found;
    instance->callMethod("GetGroupByName")
        .onInterface(I("IOPCServer"))
        .withArguments(std::string("Fast"))
        .storeResultsTo(found);
    EXPECT_EQ(std::string(found), group.path);

    const auto handles = AddItems(*group.proxy, {"PLC1.T", "PLC1.Level", "PLC2.X", "PLC1.G.T1"});
    ASSERT_EQ(handles.size(), 4u);
    io.SetDeviceValue(*t, Variant::Int16(-42));
    io.SetDeviceValue(*x, Variant::Float(2.5f));
    io.SetDeviceValue(*t1, Variant::Int32(100000), 0x0018);

    std::int32_t hr = -1;
    std::vector<ItemState> states;
    std::vector<std::int32_t> errors;
    group.proxy->callMethod("Read")
        .onInterface(I("IOPCSyncIO"))
        .withArguments(std::uint32_t{OPC_DS_DEVICE},
                       std::vector<std::uint32_t>{handles[0], handles[2], handles[3], 999})
        .storeResultsTo(hr, states, errors);
    EXPECT_EQ(hr, S_FALSE);
    ASSERT_EQ(states.size(), 4u);
    EXPECT_EQ(errors, (std::vector<std::int32_t>{S_OK, S_OK, S_OK, OPC_E_INVALIDHANDLE}));
    EXPECT_EQ(std::get<0>(states[0]), 1u);
    EXPECT_EQ(std::get<0>(std::get<3>(states[0])), VT_I2);
    EXPECT_EQ(std::get<1>(std::get<3>(states[0])).get<std::int16_t>(), -42);
    EXPECT_EQ(std::get<0>(std::get<3>(states[1])), VT_R4);
    EXPECT_EQ(std::get<1>(std::get<3>(states[1])).get<double>(), 2.5);
    EXPECT_EQ(std::get<0>(std::get<3>(states[2])), VT_I4);
    EXPECT_EQ(std::get<1>(std::get<3>(states[2])).get<std::int32_t>(), 100000);
    EXPECT_EQ(std::get<2>(states[2]), 0x0018);
    EXPECT_EQ(std::get<0>(std::get<3>(states[3])), VT_EMPTY);

    // Values to write arrive as the variants the client named.
    io.ClearCalls();
    group.proxy->callMethod("Write")
        .onInterface(I("IOPCSyncIO"))
        .withArguments(std::vector<std::uint32_t>{handles[0], handles[2]},
                       std::vector<BusVariant>{BusVariant{VT_I4, sdbus::Variant(std::int32_t{7})},
                                               BusVariant{VT_R8, sdbus::Variant(5.5)}})
        .storeResultsTo(hr, errors);
    EXPECT_EQ(hr, S_OK);
    const auto writes = io.Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0], (std::pair<std::string, Variant>{"T", Variant::Int32(7)}));
    EXPECT_EQ(writes[1], (std::pair<std::string, Variant>{"X", Variant::Double(5.5)}));

    // A value whose bus type does not match its code writes nothing.
    io.ClearCalls();
    const BusFailure bad = BusTestClient::Try([&] {
        group.proxy->callMethod("Write")
            .onInterface(I("IOPCSyncIO"))
            .withArguments(
                std::vector<std::uint32_t>{handles[0], handles[2]},
                std::vector<BusVariant>{BusVariant{VT_I2, sdbus::Variant(std::int16_t{1})},
                                        BusVariant{VT_I2, sdbus::Variant(std::string("1"))}});
    });
    EXPECT_EQ(CodeOf(bad), E_INVALIDARG);
    EXPECT_TRUE(io.Writes().empty());
    EXPECT_TRUE(Traced("Called IOPCSyncIO::Write, return code: 0x80070057")) << TraceLines().back();

    // The analog item's EU range comes as an array of doubles.
    std::vector<
        sdbus::Struct<std::string, std::string, bool, std::uint32_t, std::uint32_t, std::uint32_t,
                      std::uint16_t, std::uint16_t, std::uint32_t, BusVariant>>
        attributes;
    group.proxy->callMethod("CreateEnumerator")
        .onInterface(I("IOPCItemMgt"))
        .storeResultsTo(hr, attributes);
    ASSERT_EQ(attributes.size(), 4u);
    EXPECT_EQ(std::get<1>(attributes[1]), "Level");
    EXPECT_EQ(std::get<8>(attributes[1]), OPC_ANALOG);
    EXPECT_EQ(std::get<0>(std::get<9>(attributes[1])), VT_ARRAY | VT_R8);
    EXPECT_EQ(std::get<1>(std::get<9>(attributes[1])).get<std::vector<double>>(),
              (std::vector<double>{-5.0, 250.0}));

    // Removed from the table, the group lives on while the client holds its object.
    instance->callMethod("RemoveGroup")
        .onInterface(I("IOPCServer"))
        .withArguments(group.hServer, false);
    std::uint32_t rate = 0;
    bool active = false;
    std::string name;
    std::int32_t bias = 0;
    double deadband = 0;
    std::uint32_t lcid = 0, hClient = 0, hServer = 0;
    group.proxy->callMethod("GetState")
        .onInterface(I("IOPCGroupStateMgt"))
        .storeResultsTo(rate, active, name, bias, deadband, lcid, hClient, hServer);
    EXPECT_EQ(name, "Fast");
    EXPECT_EQ(hClient, 77u);
    EXPECT_EQ(OPCGroup::LiveGroups(), 1u);
    group.proxy->callMethod("Release").onInterface("VELK.Object");
    EXPECT_TRUE(WaitUntil(
        [&] {
            class_->DrainReleases();
            return OPCGroup::LiveGroups() == 0;
        },
        kPatience));
    EXPECT_TRUE(Traced("OPC DA group object destroyed"));
}

TEST_F(DaBusAdaptorTest, OutsizedArgumentsAreRefusedBeforeTheGroupSeesThem) {
    BusTestClient client(bus_.Address());
    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    Group group = AddGroup(client, *instance, "Big");
    const auto handles = AddItems(*group.proxy, {"PLC1.T"});
    ASSERT_EQ(handles.size(), 1u);
    io.ClearCalls();

    // A text value beyond the value limit is never written.
    const BusFailure bigValue = BusTestClient::Try([&] {
        group.proxy->callMethod("Write")
            .onInterface(I("IOPCSyncIO"))
            .withArguments(std::vector<std::uint32_t>{handles[0]},
                           std::vector<BusVariant>{
                               BusVariant{VT_BSTR, sdbus::Variant(std::string(70000, 'x'))}});
    });
    EXPECT_EQ(CodeOf(bigValue), E_INVALIDARG);
    EXPECT_TRUE(io.Writes().empty());
    EXPECT_TRUE(Traced("Called IOPCSyncIO::Write, return code: 0x80070057"));

    // Nor is a list of handles beyond the element limit looked at.
    const BusFailure manyHandles = BusTestClient::Try([&] {
        group.proxy->callMethod("RemoveItems")
            .onInterface(I("IOPCItemMgt"))
            .withArguments(std::vector<std::uint32_t>(100001, handles[0]));
    });
    EXPECT_EQ(CodeOf(manyHandles), E_INVALIDARG);
    EXPECT_TRUE(Traced("Called IOPCItemMgt::RemoveItems, return code: 0x80070057"));

    // The group is untouched: its item is still there.
    std::int32_t hr = 0;
    std::vector<std::int32_t> errors;
    group.proxy->callMethod("RemoveItems")
        .onInterface(I("IOPCItemMgt"))
        .withArguments(std::vector<std::uint32_t>{handles[0]})
        .storeResultsTo(hr, errors);
    EXPECT_EQ(hr, S_OK);
}

TEST_F(DaBusAdaptorTest, BrowsingPropertiesAndTheDeviceMonitorReturnWholeLists) {
    BusTestClient client(bus_.Address());
    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    std::vector<std::string> names;
    instance->callMethod("BrowseOPCItemIDs")
        .onInterface(I("IOPCBrowseServerAddressSpace"))
        .withArguments(std::uint32_t{OPC_FLAT}, std::string(), std::uint16_t{0}, std::uint32_t{0})
        .storeResultsTo(names);
    EXPECT_EQ(names, (std::vector<std::string>{"PLC1", "PLC2"}));
    instance->callMethod("ChangeBrowsePosition")
        .onInterface(I("IOPCBrowseServerAddressSpace"))
        .withArguments(std::uint32_t{OPC_BROWSE_DOWN}, std::string("plc1"));
    std::vector<std::string> leaves;
    instance->callMethod("BrowseOPCItemIDs")
        .onInterface(I("IOPCBrowseServerAddressSpace"))
        .withArguments(std::uint32_t{OPC_LEAF}, std::string(), std::uint16_t{0}, std::uint32_t{0})
        .storeResultsTo(leaves);
    // Every tag of the device at once, in the tree's order (by name).
    EXPECT_EQ(leaves, (std::vector<std::string>{"Count", "Flag", "Level", "RO", "T", "WO"}));

    io.SetDeviceValue(*t, Variant::Int16(5));
    std::vector<BusVariant> data;
    std::vector<std::int32_t> errors;
    instance->callMethod("GetItemProperties")
        .onInterface(I("IOPCItemProperties"))
        .withArguments(std::string("PLC1.T"), std::vector<std::uint32_t>{2, 4, 101, 999})
        .storeResultsTo(data, errors);
    ASSERT_EQ(data.size(), 4u);
    EXPECT_EQ(std::get<1>(data[0]).get<std::int16_t>(), 5);
    EXPECT_EQ(std::get<0>(data[1]), VT_DATE);
    EXPECT_EQ(std::get<1>(data[1]).peekValueType(), "d");
    EXPECT_EQ(std::get<1>(data[2]).get<std::string>(), "Tank level raw");
    EXPECT_EQ(std::get<0>(data[3]), VT_EMPTY);
    EXPECT_EQ(errors, (std::vector<std::int32_t>{S_OK, S_OK, S_OK, OPC_E_INVALID_PID}));

    std::vector<sdbus::Struct<
        std::string, bool, std::string, std::string,
        std::vector<sdbus::Struct<std::string, std::uint32_t, std::uint32_t, std::uint32_t, bool>>>>
        devices;
    instance->callMethod("GetDeviceMonitor")
        .onInterface("VELK.Server.IDeviceMonitor")
        .storeResultsTo(devices);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(std::get<0>(devices[0]), "PLC1");
    EXPECT_TRUE(std::get<1>(devices[0]));
    EXPECT_EQ(std::get<3>(devices[0]), "10.0.0.2");
    ASSERT_EQ(std::get<4>(devices[0]).size(), 1u);
    EXPECT_EQ(std::get<2>(std::get<4>(devices[0])[0]), 10u);
    EXPECT_EQ(std::get<3>(std::get<4>(devices[0])[0]), 2u);
}

struct Completion {
    std::string kind;
    std::uint32_t transactionID = 0;
    std::uint32_t hGroup = 0;
    std::vector<std::uint32_t> handles;
    std::vector<BusVariant> values;
    std::vector<std::int32_t> errors;
};

TEST_F(DaBusAdaptorTest, AsynchronousCompletionsReachTheClientsCallbackObject) {
    BusTestClient client(bus_.Address());
    std::mutex mutex;
    std::vector<Completion> completions;
    auto sink = sdbus::createObject(client.Connection(), "/Client/Callback");
    const std::string cb = I("IOPCDataCallback");
    auto values = [&](const char* kind) {
        return [&, kind](std::uint32_t tid, std::uint32_t hGroup, std::int32_t, std::int32_t,
                         std::vector<std::uint32_t> handles, std::vector<BusVariant> vs,
                         std::vector<std::uint16_t>, std::vector<std::uint64_t>,
                         std::vector<std::int32_t> errors) {
            std::lock_guard lock(mutex);
            completions.push_back({kind, tid, hGroup, handles, vs, errors});
        };
    };
    sink->registerMethod("OnDataChange").onInterface(cb).implementedAs(values("change"));
    sink->registerMethod("OnReadComplete").onInterface(cb).implementedAs(values("read"));
    sink->registerMethod("OnWriteComplete")
        .onInterface(cb)
        .implementedAs([&](std::uint32_t tid, std::uint32_t hGroup, std::int32_t,
                           std::vector<std::uint32_t> handles, std::vector<std::int32_t> errors) {
            std::lock_guard lock(mutex);
            completions.push_back({"write", tid, hGroup, handles, {}, errors});
        });
    sink->registerMethod("OnCancelComplete")
        .onInterface(cb)
        .implementedAs([](std::uint32_t, std::uint32_t) {});
    sink->finishRegistration();
    client.Connection().enterEventLoopAsync();

    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    Group group = AddGroup(client, *instance, "");
    const auto handles = AddItems(*group.proxy, {"PLC1.T", "PLC1.RO"});
    std::uint32_t cookie = 0;
    group.proxy->callMethod("Advise")
        .onInterface(I("IConnectionPointContainer"))
        .withArguments(cb, sdbus::ObjectPath("/Client/Callback"))
        .storeResultsTo(cookie);
    EXPECT_TRUE(Traced("Called IConnectionPoint<IOPCDataCallback>::Advise"));
    // A cookie this group did not give is refused, and the refusal traced like every call.
    const BusFailure foreign = BusTestClient::Try([&] {
        group.proxy->callMethod("Unadvise")
            .onInterface(I("IConnectionPointContainer"))
            .withArguments(cb, cookie + 1);
    });
    EXPECT_EQ(CodeOf(foreign), CONNECT_E_NOCONNECTION);
    EXPECT_TRUE(
        Traced("Called IConnectionPoint<IOPCDataCallback>::Unadvise, return code: 0x80040200"));

    io.SetDeviceValue(*t, Variant::Int16(31));
    std::uint32_t cancel = 0;
    std::vector<std::int32_t> errors;
    group.proxy->callMethod("Read")
        .onInterface(I("IOPCAsyncIO2"))
        .withArguments(handles, std::uint32_t{55})
        .storeResultsTo(cancel, errors);
    group.proxy->callMethod("Write")
        .onInterface(I("IOPCAsyncIO2"))
        .withArguments(std::vector<std::uint32_t>{handles[1], 999},
                       std::vector<BusVariant>{BusVariant{VT_I2, sdbus::Variant(std::int16_t{1})},
                                               BusVariant{VT_I2, sdbus::Variant(std::int16_t{2})}},
                       std::uint32_t{66})
        .storeResultsTo(cancel, errors);
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return completions.size() >= 2;
        },
        kPatience));
    // No handler runs once the loop has been left, so the records stay as they are.
    client.Connection().leaveEventLoop();
    std::lock_guard lock(mutex);
    const Completion* read = nullptr;
    const Completion* write = nullptr;
    for (const Completion& c : completions) {
        if (c.kind == "read") read = &c;
        if (c.kind == "write") write = &c;
    }
    ASSERT_NE(read, nullptr);
    ASSERT_NE(write, nullptr);
    EXPECT_EQ(read->transactionID, 55u);
    EXPECT_EQ(read->hGroup, 77u);
    ASSERT_FALSE(read->values.empty());
    EXPECT_EQ(read->handles[0], 1u);
    EXPECT_EQ(std::get<1>(read->values[0]).get<std::int16_t>(), 31);
    EXPECT_EQ(write->transactionID, 66u);
    EXPECT_EQ(write->handles, (std::vector<std::uint32_t>{2, 0}));
    EXPECT_EQ(write->errors, (std::vector<std::int32_t>{OPC_E_BADRIGHTS, OPC_E_INVALIDHANDLE}));
}

TEST_F(DaBusAdaptorTest, AClientThatNeverAnswersItsCallbacksHoldsUpNobody) {
    // The silent client exports its callback object but never serves its connection.
    BusTestClient silent(bus_.Address());
    auto deaf = sdbus::createObject(silent.Connection(), "/Client/Callback");
    deaf->registerMethod("OnReadComplete")
        .onInterface(I("IOPCDataCallback"))
        .implementedAs([](std::uint32_t, std::uint32_t, std::int32_t, std::int32_t,
                          std::vector<std::uint32_t>, std::vector<BusVariant>,
                          std::vector<std::uint16_t>, std::vector<std::uint64_t>,
                          std::vector<std::int32_t>) {});
    deaf->finishRegistration();
    auto silentInstance = silent.Proxy(kName, silent.CreateInstance(kName, kFactory));
    Group silentGroup = AddGroup(silent, *silentInstance, "Deaf");
    const auto silentHandles = AddItems(*silentGroup.proxy, {"PLC1.T"});
    silentGroup.proxy->callMethod("Advise")
        .onInterface(I("IConnectionPointContainer"))
        .withArguments(I("IOPCDataCallback"), sdbus::ObjectPath("/Client/Callback"));
    // More completions than the host keeps outstanding for one client.
    for (std::uint32_t tid = 1; tid <= 80; ++tid) {
        std::uint32_t cancel = 0;
        std::vector<std::int32_t> errors;
        silentGroup.proxy->callMethod("Read")
            .onInterface(I("IOPCAsyncIO2"))
            .withArguments(silentHandles, tid)
            .storeResultsTo(cancel, errors);
    }

    // Another client's completions still arrive, and the silent client's own calls are
    // still answered.
    BusTestClient other(bus_.Address());
    std::atomic<std::uint32_t> received{0};
    auto sink = sdbus::createObject(other.Connection(), "/Client/Callback");
    sink->registerMethod("OnReadComplete")
        .onInterface(I("IOPCDataCallback"))
        .implementedAs([&](std::uint32_t tid, std::uint32_t, std::int32_t, std::int32_t,
                           std::vector<std::uint32_t>, std::vector<BusVariant>,
                           std::vector<std::uint16_t>, std::vector<std::uint64_t>,
                           std::vector<std::int32_t>) { received = tid; });
    sink->finishRegistration();
    other.Connection().enterEventLoopAsync();
    auto otherInstance = other.Proxy(kName, other.CreateInstance(kName, kFactory));
    Group otherGroup = AddGroup(other, *otherInstance, "Live");
    const auto otherHandles = AddItems(*otherGroup.proxy, {"PLC1.T"});
    otherGroup.proxy->callMethod("Advise")
        .onInterface(I("IConnectionPointContainer"))
        .withArguments(I("IOPCDataCallback"), sdbus::ObjectPath("/Client/Callback"));
    std::uint32_t cancel = 0;
    std::vector<std::int32_t> errors;
    otherGroup.proxy->callMethod("Read")
        .onInterface(I("IOPCAsyncIO2"))
        .withArguments(otherHandles, std::uint32_t{500})
        .storeResultsTo(cancel, errors);
    EXPECT_TRUE(WaitUntil([&] { return received.load() == 500; }, kPatience));
    bool enabled = false;
    silentGroup.proxy->callMethod("GetEnable")
        .onInterface(I("IOPCAsyncIO2"))
        .storeResultsTo(enabled);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(WaitUntil([&] { return host_.PendingSinkCalls() >= dabus::SinkWindow::kWindow; },
                          kPatience));
    other.Connection().leaveEventLoop();
}

TEST_F(DaBusAdaptorTest, ABurstOfCompletionsToASlowClientLosesNone) {
    BusTestClient client(bus_.Address());
    std::mutex mutex;
    std::vector<std::uint32_t> received;
    std::vector<sdbus::Result<>> held;
    bool holding = true;
    auto sink = sdbus::createObject(client.Connection(), "/Client/Callback");
    // The client takes its time: it answers nothing until the test lets it.
    sink->registerMethod("OnReadComplete")
        .onInterface(I("IOPCDataCallback"))
        .implementedAs([&](sdbus::Result<>&& result, std::uint32_t tid, std::uint32_t, std::int32_t,
                           std::int32_t, std::vector<std::uint32_t>, std::vector<BusVariant>,
                           std::vector<std::uint16_t>, std::vector<std::uint64_t>,
                           std::vector<std::int32_t>) {
            std::lock_guard lock(mutex);
            received.push_back(tid);
            if (holding) {
                held.push_back(std::move(result));
            } else {
                result.returnResults();
            }
        });
    sink->finishRegistration();
    client.Connection().enterEventLoopAsync();
    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    Group group = AddGroup(client, *instance, "Burst");
    const auto handles = AddItems(*group.proxy, {"PLC1.T"});
    group.proxy->callMethod("Advise")
        .onInterface(I("IConnectionPointContainer"))
        .withArguments(I("IOPCDataCallback"), sdbus::ObjectPath("/Client/Callback"));
    // More completions than the bus host lets wait for one client.
    constexpr std::uint32_t kBurst = 100;
    for (std::uint32_t tid = 1; tid <= kBurst; ++tid) {
        std::uint32_t cancel = 0;
        std::vector<std::int32_t> errors;
        group.proxy->callMethod("Read")
            .onInterface(I("IOPCAsyncIO2"))
            .withArguments(handles, tid)
            .storeResultsTo(cancel, errors);
    }
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return !held.empty();
        },
        kPatience));
    std::vector<sdbus::Result<>> answers;
    {
        std::lock_guard lock(mutex);
        holding = false;
        answers.swap(held);
    }
    for (auto& answer : answers) answer.returnResults();
    EXPECT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return received.size() >= kBurst;
        },
        kPatience));
    client.Connection().leaveEventLoop();
    std::vector<std::uint32_t> sorted = received;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::uint32_t> expected(kBurst);
    for (std::uint32_t i = 0; i < kBurst; ++i) expected[i] = i + 1;
    EXPECT_EQ(sorted, expected);
}

TEST_F(DaBusAdaptorTest, AShutdownRequestIsAnsweredByTheClientsSink) {
    BusTestClient client(bus_.Address());
    std::mutex mutex;
    std::vector<std::string> reasons;
    bool refuse = false;
    auto sink = sdbus::createObject(client.Connection(), "/Client/Shutdown");
    sink->registerMethod("ShutdownRequest")
        .onInterface(I("IOPCShutdown"))
        .implementedAs([&](std::string reason) {
            std::lock_guard lock(mutex);
            reasons.push_back(reason);
            if (refuse)
                throw sdbus::Error(std::string(kHresultErrorName), FormatHresultMessage(E_ABORT));
        });
    sink->finishRegistration();
    client.Connection().enterEventLoopAsync();
    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    ASSERT_EQ(servers.Added().size(), 1u);
    // No connection yet: nobody was asked.
    EXPECT_EQ(servers.Added()[0]->RequestClientShutdown(""), S_FALSE);

    const BusFailure wrong = BusTestClient::Try([&] {
        instance->callMethod("Advise")
            .onInterface(I("IConnectionPointContainer"))
            .withArguments(I("IOPCDataCallback"), sdbus::ObjectPath("/Client/Shutdown"));
    });
    EXPECT_EQ(CodeOf(wrong), CONNECT_E_NOCONNECTION);
    // The refused call is traced like every other call.
    EXPECT_TRUE(Traced("Called IConnectionPoint<IOPCShutdown>::Advise"));
    std::uint32_t cookie = 0;
    instance->callMethod("Advise")
        .onInterface(I("IConnectionPointContainer"))
        .withArguments(I("IOPCShutdown"), sdbus::ObjectPath("/Client/Shutdown"))
        .storeResultsTo(cookie);
    EXPECT_EQ(servers.Added()[0]->RequestClientShutdown("maintenance"), S_OK);
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(reasons, std::vector<std::string>{"maintenance"});
        refuse = true;
    }
    EXPECT_EQ(servers.Added()[0]->RequestClientShutdown(""), E_ABORT);
    EXPECT_TRUE(Traced("Called DA client(s) to shutdown server"));

    instance->callMethod("Unadvise")
        .onInterface(I("IConnectionPointContainer"))
        .withArguments(I("IOPCShutdown"), cookie);
    EXPECT_EQ(servers.Added()[0]->RequestClientShutdown(""), S_FALSE);
    client.Connection().leaveEventLoop();
}

TEST_F(DaBusAdaptorTest, OneZeroRequestsCompleteAsStreamsOnTheNamedAdviseConnection) {
    BusTestClient client(bus_.Address());
    std::mutex mutex;
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> streams;
    auto sink = sdbus::createObject(client.Connection(), "/Client/Advise");
    sink->registerMethod("OnDataChange")
        .onInterface(I("IAdviseSink"))
        .implementedAs([&](std::string format, std::vector<std::uint8_t> stream) {
            std::lock_guard lock(mutex);
            streams.emplace_back(format, stream);
        });
    sink->finishRegistration();
    client.Connection().enterEventLoopAsync();
    auto instance = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    Group group = AddGroup(client, *instance, "Old");
    const auto handles = AddItems(*group.proxy, {"PLC1.T"});
    io.SetDeviceValue(*t, Variant::Int16(12));

    const BusFailure badFormat = BusTestClient::Try([&] {
        group.proxy->callMethod("DAdvise")
            .onInterface(I("IDataObject"))
            .withArguments(std::string(kFormatDataName), std::uint32_t{1}, std::int32_t{0},
                           std::uint32_t{1}, std::uint32_t{0}, sdbus::ObjectPath("/Client/Advise"));
    });
    EXPECT_EQ(CodeOf(badFormat), E_FAIL);
    std::uint32_t connection = 0;
    group.proxy->callMethod("DAdvise")
        .onInterface(I("IDataObject"))
        .withArguments(std::string(kFormatDataName), std::uint32_t{1}, std::int32_t{-1},
                       std::uint32_t{1}, std::uint32_t{0}, sdbus::ObjectPath("/Client/Advise"))
        .storeResultsTo(connection);
    // The initial refresh of the new connection comes first.
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return streams.size() >= 1;
        },
        kPatience));

    std::uint32_t readID = 0, writeID = 0;
    std::vector<std::int32_t> errors;
    group.proxy->callMethod("Read")
        .onInterface(I("IOPCAsyncIO"))
        .withArguments(connection, std::uint32_t{OPC_DS_DEVICE}, handles)
        .storeResultsTo(readID, errors);
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return streams.size() >= 2;
        },
        kPatience));
    group.proxy->callMethod("Write")
        .onInterface(I("IOPCAsyncIO"))
        .withArguments(connection, handles,
                       std::vector<BusVariant>{BusVariant{VT_I2, sdbus::Variant(std::int16_t{9})}})
        .storeResultsTo(writeID, errors);
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard lock(mutex);
            return streams.size() >= 3;
        },
        kPatience));
    EXPECT_GT(writeID, readID);
    std::vector<sdbus::Struct<std::uint32_t, std::string, sdbus::ObjectPath>> connections;
    group.proxy->callMethod("EnumDAdvise")
        .onInterface(I("IDataObject"))
        .storeResultsTo(connections);
    ASSERT_EQ(connections.size(), 1u);
    EXPECT_EQ(std::get<0>(connections[0]), connection);
    EXPECT_EQ(std::string(std::get<2>(connections[0])), "/Client/Advise");

    client.Connection().leaveEventLoop();
    std::lock_guard lock(mutex);
    // OPCGROUPHEADER: size, count, client group, transaction, status; then the item header.
    const auto& read = streams[1];
    EXPECT_EQ(read.first, kFormatDataName);
    EXPECT_EQ(Read32(read.second, 0), read.second.size());
    EXPECT_EQ(Read32(read.second, 4), 1u);
    EXPECT_EQ(Read32(read.second, 8), 77u);
    EXPECT_EQ(Read32(read.second, 12), readID);
    EXPECT_EQ(Read32(read.second, 20), 1u);  // the item's client handle
    const auto& write = streams[2];
    EXPECT_EQ(write.first, kFormatWriteCompleteName);
    EXPECT_EQ(Read32(write.second, 0), 1u);
    EXPECT_EQ(Read32(write.second, 8), writeID);
    EXPECT_EQ(Read32(write.second, 16), 1u);
    EXPECT_EQ(Read32(write.second, 20), static_cast<std::uint32_t>(S_OK));
    EXPECT_EQ(io.Writes().back(), (std::pair<std::string, Variant>{"T", Variant::Int16(9)}));
}

TEST_F(DaBusAdaptorTest, ClonesAndEnumeratedGroupsAreHandedOutAsObjects) {
    BusTestClient client(bus_.Address());
    const std::string path = client.CreateInstance(kName, kFactory);
    auto instance = client.Proxy(kName, path);
    Group original = AddGroup(client, *instance, "Original");
    sdbus::ObjectPath clonePath;
    original.proxy->callMethod("CloneGroup")
        .onInterface(I("IOPCGroupStateMgt"))
        .withArguments(std::string("Copy"))
        .storeResultsTo(clonePath);
    EXPECT_EQ(std::string(clonePath).rfind(original.path + "/Group", 0), 0u)
        << std::string(clonePath);

    std::int32_t hr = -1;
    std::vector<std::string> names;
    std::vector<sdbus::ObjectPath> paths;
    instance->callMethod("CreateGroupEnumerator")
        .onInterface(I("IOPCServer"))
        .withArguments(std::uint32_t{3}, std::string("IEnumString"))
        .storeResultsTo(hr, names, paths);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(names, (std::vector<std::string>{"Original", "Copy"}));
    EXPECT_TRUE(paths.empty());
    names.clear();
    instance->callMethod("CreateGroupEnumerator")
        .onInterface(I("IOPCServer"))
        .withArguments(std::uint32_t{3}, std::string("IEnumUnknown"))
        .storeResultsTo(hr, names, paths);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(std::string(paths[0]), original.path);
    EXPECT_EQ(std::string(paths[1]), std::string(clonePath));
    const BusFailure other = BusTestClient::Try([&] {
        instance->callMethod("CreateGroupEnumerator")
            .onInterface(I("IOPCServer"))
            .withArguments(std::uint32_t{3}, std::string("IEnumOPCItemAttributes"));
    });
    EXPECT_EQ(CodeOf(other), E_NOINTERFACE);

    // Releasing the original's object takes the clone's object along; the clone itself is
    // still in the server's table and gets a new object below the instance.
    original.proxy->callMethod("Release").onInterface("VELK.Object");
    auto clone = client.Proxy(kName, clonePath);
    const BusFailure gone =
        BusTestClient::Try([&] { clone->callMethod("GetEnable").onInterface(I("IOPCAsyncIO2")); });
    EXPECT_FALSE(gone.name.empty());
    sdbus::ObjectPath again;
    instance->callMethod("GetGroupByName")
        .onInterface(I("IOPCServer"))
        .withArguments(std::string("Copy"))
        .storeResultsTo(again);
    EXPECT_EQ(std::string(again).rfind(path + "/Group", 0), 0u) << std::string(again);
    EXPECT_NE(std::string(again), std::string(clonePath));
    bool enabled = false;
    client.Proxy(kName, again)
        ->callMethod("GetEnable")
        .onInterface(I("IOPCAsyncIO2"))
        .storeResultsTo(enabled);
    EXPECT_TRUE(enabled);
}

// Clients come and go beside subscribers whose completions keep the bus host busy: every call
// of every cycle is answered (a reply lost on the way shows as the call's time-out), and the
// departed clients leave nothing behind.
TEST_F(DaBusAdaptorTest, ChurningClientsBesideSubscribersGetEveryReply) {
    constexpr int kCycles = 1000;
    constexpr int kSubscribers = 3;
    // Far below the bus's 25 s default, far above any call on a loaded machine.
    constexpr auto kReplyBound = 10s;
    const std::string cb = I("IOPCDataCallback");
    struct Subscriber {
        std::unique_ptr<BusTestClient> client;
        std::unique_ptr<sdbus::IObject> sink;
        std::unique_ptr<sdbus::IProxy> instance;
        Group group;
    };
    std::atomic<std::uint64_t> completions{0};
    auto registerSink = [&](sdbus::IObject& sink) {
        auto count = [&](std::uint32_t, std::uint32_t, std::int32_t, std::int32_t,
                         std::vector<std::uint32_t>, std::vector<BusVariant>,
                         std::vector<std::uint16_t>, std::vector<std::uint64_t>,
                         std::vector<std::int32_t>) { ++completions; };
        sink.registerMethod("OnDataChange").onInterface(cb).implementedAs(count);
        sink.registerMethod("OnReadComplete").onInterface(cb).implementedAs(count);
        sink.finishRegistration();
    };
    std::vector<Subscriber> subscribers(kSubscribers);
    for (Subscriber& s : subscribers) {
        s.client = std::make_unique<BusTestClient>(bus_.Address());
        s.sink = sdbus::createObject(s.client->Connection(), "/Client/Callback");
        registerSink(*s.sink);
        s.client->Connection().enterEventLoopAsync();
        s.instance = s.client->Proxy(kName, s.client->CreateInstance(kName, kFactory));
        s.group = AddGroup(*s.client, *s.instance, "Subscriber");
        AddItems(*s.group.proxy, {"PLC1.T", "PLC1.RO"});
        s.group.proxy->callMethod("Advise")
            .onInterface(I("IConnectionPointContainer"))
            .withArguments(cb, sdbus::ObjectPath("/Client/Callback"));
    }
    // The subscribers' refreshes run the whole time (the update threads are off here).
    std::atomic<bool> churning{true};
    std::thread feeder([&] {
        for (std::uint32_t tid = 1; churning; ++tid) {
            for (Subscriber& s : subscribers) {
                std::uint32_t cancel = 0;
                s.group.proxy->callMethod("Refresh2")
                    .onInterface(I("IOPCAsyncIO2"))
                    .withArguments(std::uint32_t{OPC_DS_CACHE}, tid)
                    .storeResultsTo(cancel);
            }
            std::this_thread::sleep_for(2ms);
        }
    });

    std::vector<std::string> failures;
    for (int cycle = 0; cycle < kCycles && failures.size() < 5; ++cycle) {
        const char* step = "connect";
        const BusFailure failure = BusTestClient::Try([&] {
            BusTestClient client(bus_.Address());
            auto sink = sdbus::createObject(client.Connection(), "/Client/Callback");
            registerSink(*sink);
            auto factory = client.Proxy(kName, kFactory);
            sdbus::ObjectPath path;
            step = "CreateInstance";
            factory->callMethod("CreateInstance")
                .onInterface("VELK.ClassFactory")
                .withTimeout(kReplyBound)
                .storeResultsTo(path);
            auto instance = client.Proxy(kName, path);
            step = "AddGroup";
            Group group = AddGroup(client, *instance, "");
            step = "AddItems";
            AddItems(*group.proxy, {"PLC1.T"});
            step = "Advise";
            group.proxy->callMethod("Advise")
                .onInterface(I("IConnectionPointContainer"))
                .withTimeout(kReplyBound)
                .withArguments(cb, sdbus::ObjectPath("/Client/Callback"));
            std::uint32_t cancel = 0;
            step = "Refresh2";
            group.proxy->callMethod("Refresh2")
                .onInterface(I("IOPCAsyncIO2"))
                .withTimeout(kReplyBound)
                .withArguments(std::uint32_t{OPC_DS_CACHE}, std::uint32_t(cycle + 1))
                .storeResultsTo(cancel);
            step = "Release group";
            group.proxy->callMethod("Release").onInterface("VELK.Object").withTimeout(kReplyBound);
            step = "Release instance";
            instance->callMethod("Release").onInterface("VELK.Object").withTimeout(kReplyBound);
        });
        if (!failure.name.empty()) {
            failures.push_back("cycle " + std::to_string(cycle) + " " + step + ": " + failure.name +
                               " " + failure.message);
        }
    }
    churning = false;
    feeder.join();
    for (Subscriber& s : subscribers) s.client->Connection().leaveEventLoop();
    for (const std::string& f : failures) ADD_FAILURE() << f;
    EXPECT_GT(completions.load(), 0u);
    subscribers.clear();
    EXPECT_TRUE(WaitUntil([&] { return host_.ObjectCount() == 0; }, kPatience));
}

TEST_F(DaBusAdaptorTest, AClientThatLeavesTheBusLosesItsInstancesAndGroups) {
    {
        BusTestClient client(bus_.Address());
        auto first = client.Proxy(kName, client.CreateInstance(kName, kFactory));
        auto second = client.Proxy(kName, client.CreateInstance(kName, kFactory));
        Group a = AddGroup(client, *first, "A");
        Group b = AddGroup(client, *second, "A");  // names are per instance
        AddItems(*a.proxy, {"PLC1.T"});
        EXPECT_EQ(OPCGroup::LiveGroups(), 2u);
        EXPECT_EQ(servers.Added().size(), 2u);
    }
    ASSERT_TRUE(RegistryRemoved(2));
    EXPECT_TRUE(WaitUntil(
        [&] {
            class_->DrainReleases();
            return OPCGroup::LiveGroups() == 0;
        },
        kPatience));
    EXPECT_EQ(host_.ObjectCount(), 0u);
}

// One connection may hold so many instances, and its instances share one bound on groups;
// another connection has bounds of its own.
TEST_F(DaBusAdaptorTest, AConnectionsInstancesAreBoundedAndShareItsBoundOnGroups) {
    limits.maxObjects = 2;
    limits.maxGroups = 3;
    BusTestClient client(bus_.Address());
    auto first = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    auto second = client.Proxy(kName, client.CreateInstance(kName, kFactory));
    BusFailure failure;
    EXPECT_EQ(client.CreateInstance(kName, kFactory, &failure), "");
    EXPECT_EQ(failure.message.substr(0, 10), FormatHresultMessage(E_OUTOFMEMORY).substr(0, 10));
    // "" when the group was made, else the code of the failure.
    const auto addGroup = [](sdbus::IProxy& instance) {
        const BusFailure failed = BusTestClient::Try([&] {
            std::int32_t hr = 0;
            sdbus::ObjectPath path;
            std::uint32_t handle = 0, revised = 0;
            instance.callMethod("AddGroup")
                .onInterface(I("IOPCServer"))
                .withArguments(std::string(), true, std::uint32_t{100}, std::uint32_t{0}, false,
                               std::int32_t{0}, false, 0.0, std::uint32_t{0})
                .storeResultsTo(hr, path, handle, revised);
        });
        return failed.message.substr(0, 10);
    };
    const std::string refused = FormatHresultMessage(E_OUTOFMEMORY).substr(0, 10);
    EXPECT_EQ(addGroup(*first), "");
    EXPECT_EQ(addGroup(*first), "");
    EXPECT_EQ(addGroup(*second), "");
    EXPECT_EQ(addGroup(*second), refused);
    EXPECT_EQ(addGroup(*first), refused);

    BusTestClient other(bus_.Address());
    auto own = other.Proxy(kName, other.CreateInstance(kName, kFactory));
    EXPECT_EQ(addGroup(*own), "");
}

}  // namespace
}  // namespace velk::testing
