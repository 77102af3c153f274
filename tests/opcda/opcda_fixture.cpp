#include "tests/opcda/opcda_fixture.h"

#include <thread>

#include "model/locks.h"
#include "opc/opc_result.h"
#include "tests/model/model_tree.h"

namespace velk::testing {

// ---- FakeTagIO ----

void FakeTagIO::ReadTags(ODevice& device, const TagList& tags) {
    if (onRead) onRead(device, tags);
    std::lock_guard lock(mutex_);
    ReadCall call{&device, {}};
    std::lock_guard data(device.Locks().tagData);
    for (OModbusTag* tag : tags) {
        call.tagNames.push_back(tag->name);
        auto it = deviceValues_.find(tag);
        if (it == deviceValues_.end()) continue;
        tag->value = it->second.first;
        tag->quality = it->second.second;
        tag->timestamp += 1;
    }
    reads_.push_back(std::move(call));
}

HRESULT FakeTagIO::WriteTag(ODevice& device, OModbusTag& tag, const Variant& value) {
    std::lock_guard lock(mutex_);
    writes_.emplace_back(tag.name, value);
    auto it = writeResults_.find(&tag);
    if (it != writeResults_.end()) return it->second;
    if ((tag.accessRights & kAccessWritable) == 0) return OPC_E_BADRIGHTS;
    std::lock_guard data(device.Locks().tagData);
    tag.value = value;
    return S_OK;
}

void FakeTagIO::SetDeviceValue(OModbusTag& tag, Variant value, std::uint16_t quality) {
    std::lock_guard lock(mutex_);
    deviceValues_[&tag] = {std::move(value), quality};
}

void FakeTagIO::SetWriteResult(OModbusTag& tag, HRESULT result) {
    std::lock_guard lock(mutex_);
    writeResults_[&tag] = result;
}

std::vector<FakeTagIO::ReadCall> FakeTagIO::Reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
}

std::vector<std::pair<std::string, Variant>> FakeTagIO::Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

void FakeTagIO::ClearCalls() {
    std::lock_guard lock(mutex_);
    reads_.clear();
    writes_.clear();
}

// ---- ManualLauncher ----

bool ManualLauncher::Launch(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    if (refuse) return false;
    queue_.push_back(std::move(work));
    return true;
}

int ManualLauncher::RunAll() {
    int ran = 0;
    while (true) {
        std::function<void()> work;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return ran;
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
        ++ran;
    }
}

std::size_t ManualLauncher::Queued() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

// ---- sinks ----

void RecordingCallback::Record(DataEvent event) {
    if (hook) hook();
    // Notified under the lock, so that a waiter that then destroys the sink finds this
    // thread done with it.
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    arrived_.notify_all();
}

HRESULT RecordingCallback::OnDataChange(std::uint32_t tid, std::uint32_t hGroup, HRESULT quality,
                                        HRESULT error, const ItemValueList& items) {
    Record({"change", tid, hGroup, quality, error, items, {}, {}});
    return S_OK;
}

HRESULT RecordingCallback::OnReadComplete(std::uint32_t tid, std::uint32_t hGroup, HRESULT quality,
                                          HRESULT error, const ItemValueList& items) {
    Record({"read", tid, hGroup, quality, error, items, {}, {}});
    return S_OK;
}

HRESULT RecordingCallback::OnWriteComplete(std::uint32_t tid, std::uint32_t hGroup, HRESULT error,
                                           const std::vector<std::uint32_t>& handles,
                                           const std::vector<HRESULT>& errors) {
    Record({"write", tid, hGroup, S_OK, error, {}, handles, errors});
    return S_OK;
}

HRESULT RecordingCallback::OnCancelComplete(std::uint32_t tid, std::uint32_t hGroup) {
    Record({"cancel", tid, hGroup, S_OK, S_OK, {}, {}, {}});
    return S_OK;
}

bool RecordingCallback::WaitFor(std::size_t count) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, std::chrono::seconds(20),
                             [&] { return events_.size() >= count; });
}

std::vector<DataEvent> RecordingCallback::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

void RecordingAdviseSink::OnDataChange(const FORMATETC& format,
                                       const std::vector<std::uint8_t>& stream) {
    if (hook) hook();
    std::lock_guard lock(mutex_);
    streams_.emplace_back(format.cfFormat, stream);
}

std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> RecordingAdviseSink::Streams()
    const {
    std::lock_guard lock(mutex_);
    return streams_;
}

std::uint16_t Read16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return Read16(b, at) | (static_cast<std::uint32_t>(Read16(b, at + 2)) << 16);
}

std::uint64_t Read64(const std::vector<std::uint8_t>& b, std::size_t at) {
    return Read32(b, at) | (static_cast<std::uint64_t>(Read32(b, at + 4)) << 32);
}

// ---- DaTest ----

DaTest::DaTest() {
    trace.SetFileName("/trace/VelkOpc.log");
    trace.OpenTrace();
    trace.SetEcho([this](const std::string& line) {
        std::lock_guard lock(traceMutex);
        lines.push_back(line);
    });
    InstallTrace(&trace);

    root.name = "";
    plc1 = &AddDevice("PLC1");
    plc2 = &AddDevice("PLC2");
    t = &AddTag(*plc1, *plc1, "T", VT_I2, kHoldingRegister, 10);
    level = &AddTag(*plc1, *plc1, "Level", VT_I2, kInputRegister, 5, kAccessReadable);
    auto* analog = dynamic_cast<OAnalogData*>(level->scaling.get());
    analog->conversion = OAnalogData::kLinear;
    analog->engineeringMinimum = -5.0;
    analog->engineeringMaximum = 250.0;
    analog->lowProcess = 1.0;
    analog->highProcess = 200.0;
    analog->units = "mbar";
    flag = &AddTag(*plc1, *plc1, "Flag", VT_BOOL, kOutputCoil, 3);
    flag->scaling->conversion = 1;
    count = &AddTag(*plc1, *plc1, "Count", VT_UI2, kHoldingRegister, 2);
    ro = &AddTag(*plc1, *plc1, "RO", VT_I2, kInputRegister, 1, kAccessReadable);
    wo = &AddTag(*plc1, *plc1, "WO", VT_I2, kHoldingRegister, 20, kAccessWritable);
    g = &AddGroup(*plc1, "G");
    t1 = &AddTag(*g, *plc1, "T1", VT_I4, kHoldingRegister, 30);
    sub = &AddGroup(*g, "Sub");
    x = &AddTag(*plc2, *plc2, "X", VT_R4, kHoldingRegister, 0);
    t->description = "Tank level raw";
    t->defaultDisplay = "0.0";
}

DaTest::~DaTest() {
    // A group that its own thread held last is destroyed there; the tree must outlive it.
    EXPECT_TRUE(WaitUntilNoGroupsLive());
    InstallTrace(nullptr);
}

bool WaitUntilNoGroupsLive() { return OPCGroup::WaitUntilNoneLive(std::chrono::seconds(20)); }

ODevice& DaTest::AddDevice(const std::string& name) {
    ODevice& device = testing::InsertDevice(root, name);
    device.UseLocks(locks);
    return device;
}

OTagGroup& DaTest::AddGroup(OTagGroup& owner, const std::string& name) {
    return testing::InsertGroup(owner, name);
}

OModbusTag& DaTest::AddTag(OTagGroup& owner, ODevice& device, const std::string& name,
                           std::uint16_t type, std::int32_t kind, std::uint16_t address,
                           std::uint16_t access) {
    auto tag = std::make_unique<OModbusTag>();
    OModbusTag* raw = tag.get();
    raw->name = name;
    raw->SetDataType(type);
    raw->locationKind = kind;
    raw->address = address;
    raw->accessRights = access;
    raw->device = &device;
    raw->group = &owner;
    raw->quality = 0x00C0;
    owner.InsertTagByName(tag);
    return *raw;
}

std::shared_ptr<OPCServer> DaTest::MakeServer(bool updateThreads, bool changeless,
                                              IWorkerLauncher* workers) {
    DAServerServices services;
    services.clock = &clock;
    services.tagIO = &io;
    services.registry = &registry;
    services.root = &root;
    services.launcher = workers;
    services.workers = this->workers;
    services.locks = &locks;
    DAServerSettings settings;
    settings.changelessUpdate = changeless;
    settings.runUpdateCycles = updateThreads;
    settings.limits = limits;
    settings.startTime = FakeClock::kDefaultStart - 1000;
    settings.majorVersion = 1;
    settings.minorVersion = 0;
    settings.buildNumber = 7;
    settings.vendorInfo = "VELK";
    return OPCServer::Create(services, settings);
}

std::shared_ptr<OPCGroup> DaTest::MakeGroup(OPCServer& server, bool active, std::uint32_t rate) {
    std::shared_ptr<OPCGroup> group;
    std::uint32_t handle = 0;
    std::uint32_t revised = 0;
    EXPECT_TRUE(Succeeded(server.AddGroup(nullptr, active, rate, 77, nullptr, nullptr, 0x409,
                                          &group, &handle, &revised)));
    return group;
}

std::vector<std::uint32_t> DaTest::Add(OPCGroup& group, const std::vector<std::string>& itemIDs,
                                       VarType requested) {
    std::vector<OPCITEMDEF> defs;
    std::uint32_t client = 100;
    for (const auto& id : itemIDs) {
        OPCITEMDEF def;
        def.itemID = id;
        def.hClient = client++;
        def.requestedDataType = requested;
        defs.push_back(def);
    }
    std::vector<OPCITEMRESULT> results;
    std::vector<HRESULT> errors;
    group.AddItems(defs, results, errors);
    std::vector<std::uint32_t> handles;
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(errors[i], S_OK) << itemIDs[i];
        handles.push_back(results[i].hServer);
    }
    return handles;
}

bool DaTest::Traced(const std::string& text) const {
    std::lock_guard lock(traceMutex);
    for (const auto& line : lines) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

std::vector<std::string> DaTest::TraceLines() const {
    std::lock_guard lock(traceMutex);
    return lines;
}

}  // namespace velk::testing
