#pragma once
// A configuration tree, a fake tag I/O, recording client sinks and a trace capture for the
// DA object tests.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/trace_file.h"
#include "model/locks.h"
#include "model/o_analog_data.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"
#include "opc/device_workers.h"
#include "opc/tag_io.h"
#include "opc/worker_launcher.h"
#include "opcda/client_sinks.h"
#include "opcda/opc_group.h"
#include "opcda/opc_server.h"
#include "tests/support/fake_clock.h"
#include "tests/support/memory_file_system.h"

namespace velk::testing {

// Reads give every tag the value the test set for it (or leave it) and quality good;
// writes store the value unless the test set a result.
class FakeTagIO final : public ITagIO {
  public:
    void ReadTags(ODevice& device, const TagList& tags) override;
    HRESULT WriteTag(ODevice& device, OModbusTag& tag, const Variant& value) override;

    // The value and quality the next reads give the tag.
    void SetDeviceValue(OModbusTag& tag, Variant value, std::uint16_t quality = 0x00C0);
    void SetWriteResult(OModbusTag& tag, HRESULT result);
    // Runs inside every ReadTags call, before the values are stored.
    std::function<void(ODevice&, const TagList&)> onRead;

    struct ReadCall {
        ODevice* device;
        std::vector<std::string> tagNames;
    };
    std::vector<ReadCall> Reads() const;
    std::vector<std::pair<std::string, Variant>> Writes() const;
    void ClearCalls();

  private:
    mutable std::mutex mutex_;
    std::map<OModbusTag*, std::pair<Variant, std::uint16_t>> deviceValues_;
    std::map<OModbusTag*, HRESULT> writeResults_;
    std::vector<ReadCall> reads_;
    std::vector<std::pair<std::string, Variant>> writes_;
};

// Queues asynchronous workers until the test runs them; can refuse to start one.
class ManualLauncher final : public IWorkerLauncher {
  public:
    bool Launch(std::function<void()> work) override;
    // Runs every queued worker in the order queued; returns how many ran.
    int RunAll();
    std::size_t Queued() const;
    bool refuse = false;

  private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
};

struct DataEvent {
    std::string kind;  // "change", "read", "write", "cancel"
    std::uint32_t transactionID = 0;
    std::uint32_t hGroup = 0;
    HRESULT masterQuality = S_OK;
    HRESULT masterError = S_OK;
    ItemValueList items;
    std::vector<std::uint32_t> writeHandles;
    std::vector<HRESULT> writeErrors;
};

// A 2.0 client: records every callback; the hook runs inside the callback.
class RecordingCallback final : public IClientSink, public IOPCDataCallbackSink {
  public:
    IOPCDataCallbackSink* QueryDataCallback() override { return this; }
    HRESULT OnDataChange(std::uint32_t tid, std::uint32_t hGroup, HRESULT quality, HRESULT error,
                         const ItemValueList& items) override;
    HRESULT OnReadComplete(std::uint32_t tid, std::uint32_t hGroup, HRESULT quality, HRESULT error,
                           const ItemValueList& items) override;
    HRESULT OnWriteComplete(std::uint32_t tid, std::uint32_t hGroup, HRESULT error,
                            const std::vector<std::uint32_t>& handles,
                            const std::vector<HRESULT>& errors) override;
    HRESULT OnCancelComplete(std::uint32_t tid, std::uint32_t hGroup) override;

    // Waits (up to a generous limit) until at least count events arrived.
    bool WaitFor(std::size_t count);
    std::vector<DataEvent> Events() const;
    std::function<void()> hook;

  private:
    void Record(DataEvent event);
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<DataEvent> events_;
};

// A 1.0 client's advise sink.
class RecordingAdviseSink final : public IAdviseSink10 {
  public:
    void OnDataChange(const FORMATETC& format, const std::vector<std::uint8_t>& stream) override;
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> Streams() const;
    std::function<void()> hook;

  private:
    mutable std::mutex mutex_;
    std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> streams_;
};

// Holds one sink call until the test lets it go: Hold() is the sink's hook, for one call.
class CallGate {
  public:
    std::function<void()> Hold() {
        return [this] {
            entered_.set_value();
            gate_.wait();
        };
    }
    void WaitUntilEntered() { entered_.get_future().wait(); }
    void Release() { release_.set_value(); }

  private:
    std::promise<void> entered_;
    std::promise<void> release_;
    std::shared_future<void> gate_ = release_.get_future().share();
};

// Waits (up to a generous limit) until every group of the process is destroyed.
bool WaitUntilNoGroupsLive();

// Little-endian readers of stream bytes.
std::uint16_t Read16(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at);
std::uint64_t Read64(const std::vector<std::uint8_t>& b, std::size_t at);

class RecordingRegistry final : public IServerObjectRegistry {
  public:
    void AddDAServer(IDAServerObject* s) override { da.push_back(s); }
    void RemoveDAServer(IDAServerObject* s) override { removed.push_back(s); }
    void AddAEServer(IAEServerObject*) override {}
    void RemoveAEServer(IAEServerObject*) override {}
    std::vector<IDAServerObject*> da;
    std::vector<IDAServerObject*> removed;
};

// The tree: device PLC1 with tags T (INT), Level (INT, linear scaling), Flag (BOOL, scaled),
// Count (UINT), RO (read only), WO (write only), and group G with T1 and subgroup Sub;
// device PLC2 with tag X.
class DaTest : public ::testing::Test {
  protected:
    DaTest();
    ~DaTest() override;

    OModbusTag& AddTag(OTagGroup& owner, ODevice& device, const std::string& name,
                       std::uint16_t type, std::int32_t kind, std::uint16_t address,
                       std::uint16_t access = kAccessReadable | kAccessWritable);
    ODevice& AddDevice(const std::string& name);
    OTagGroup& AddGroup(OTagGroup& owner, const std::string& name);

    // A server object over the tree; update threads off unless asked for.
    std::shared_ptr<OPCServer> MakeServer(bool updateThreads = false, bool changeless = false,
                                          IWorkerLauncher* launcher = nullptr);
    // A group of the server with the given items (item IDs), returning their handles.
    std::shared_ptr<OPCGroup> MakeGroup(OPCServer& server, bool active = true,
                                        std::uint32_t rate = 1000);
    std::vector<std::uint32_t> Add(OPCGroup& group, const std::vector<std::string>& itemIDs,
                                   VarType requested = VT_EMPTY);
    // True when a trace line contains the text.
    bool Traced(const std::string& text) const;
    std::vector<std::string> TraceLines() const;

    FakeClock clock;
    MemoryFileSystem files;
    TraceFile trace{clock, files};
    mutable std::mutex traceMutex;
    std::vector<std::string> lines;
    FakeTagIO io;
    ManualLauncher launcher;
    DAClientLimits limits;  // of the servers MakeServer makes
    // The request pool and device readers shared by the servers MakeServer makes, as the
    // DA class shares them; null: each server makes its own.
    std::shared_ptr<DeviceWorkers> workers;
    RecordingRegistry registry;

    ModelLocks locks;  // the tree's TreeLock and TagDataLock, as a document's
    OTagGroup root;
    ODevice* plc1 = nullptr;
    ODevice* plc2 = nullptr;
    OTagGroup* g = nullptr;
    OTagGroup* sub = nullptr;
    OModbusTag* t = nullptr;
    OModbusTag* level = nullptr;
    OModbusTag* flag = nullptr;
    OModbusTag* count = nullptr;
    OModbusTag* ro = nullptr;
    OModbusTag* wo = nullptr;
    OModbusTag* t1 = nullptr;
    OModbusTag* x = nullptr;
};

}  // namespace velk::testing
