#pragma once
// Doubles and builders for the AE server tests: a document with devices, groups and alarmed
// tags, a fake clock, recording client sinks, a server list that distributes like the
// application does, an acknowledgement queue and a trace that keeps its lines.
#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/trace_file.h"
#include "model/ae_event_space.h"
#include "model/b_event.h"
#include "model/c_doc.h"
#include "model/o_analog_alarm.h"
#include "model/o_binary_alarm.h"
#include "model/o_device.h"
#include "opc/opc_shutdown.h"
#include "opc/server_objects.h"
#include "opcae/ae_event_thread.h"
#include "opcae/ae_server_context.h"
#include "opcae/b_ack_msg.h"
#include "opcae/opc_event_server.h"
#include "opcae/opc_event_sink.h"
#include "opcae/opc_event_subscription.h"
#include "tests/model/model_tree.h"
#include "tests/support/fake_clock.h"
#include "tests/support/memory_file_system.h"

namespace velk::testing {

// Installs a process-wide trace over memory files and keeps the written lines.
class AeTraceCapture {
  public:
    AeTraceCapture() : trace_(clock_, files_) {
        trace_.SetFileName("/log/trace.txt");
        trace_.SetSizeLimit(0);
        trace_.OpenTrace();
        trace_.SetEcho([this](const std::string& line) {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        });
        InstallTrace(&trace_);
    }
    ~AeTraceCapture() { InstallTrace(nullptr); }
    AeTraceCapture(const AeTraceCapture&) = delete;
    AeTraceCapture& operator=(const AeTraceCapture&) = delete;

    std::vector<std::string> Lines() const {
        std::lock_guard lock(mutex_);
        return lines_;
    }
    // Lines whose text after the stamp ("<stamp>> ") is exactly the given one.
    std::size_t Count(const std::string& text) const {
        std::size_t n = 0;
        for (const auto& line : Lines()) {
            const std::size_t at = line.find("> ");
            if (at != std::string::npos && line.substr(at + 2) == text) ++n;
        }
        return n;
    }
    bool Has(const std::string& text) const { return Count(text) != 0; }
    // True when some line holds the text anywhere.
    bool Contains(const std::string& text) const {
        for (const auto& line : Lines())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        lines_.clear();
    }

  private:
    FakeClock clock_;
    MemoryFileSystem files_;
    TraceFile trace_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// One OnEvent call as the client saw it.
struct SinkCall {
    std::uint32_t clientHandle = 0;
    bool refresh = false;
    bool lastRefresh = false;
    std::vector<OnEventStruct> events;
};

class RecordingEventSink final : public IOPCEventSink {
  public:
    HRESULT OnEvent(std::uint32_t clientHandle, bool refresh, bool lastRefresh,
                    const std::vector<OnEventStruct>& events) override {
        std::lock_guard lock(mutex_);
        calls_.push_back({clientHandle, refresh, lastRefresh, events});
        return result;
    }
    std::vector<SinkCall> Calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::size_t EventCount() const {
        std::size_t n = 0;
        for (const auto& call : Calls()) n += call.events.size();
        return n;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    HRESULT result = S_OK;

  private:
    mutable std::mutex mutex_;
    std::vector<SinkCall> calls_;
};

class RecordingShutdownSink final : public IOPCShutdown {
  public:
    explicit RecordingShutdownSink(HRESULT answer = S_OK) : answer_(answer) {}
    HRESULT ShutdownRequest(const std::string& reason) override {
        reasons.push_back(reason);
        return answer_;
    }
    std::vector<std::string> reasons;

  private:
    HRESULT answer_;
};

class RecordingAckQueue final : public IAckMessageQueue {
  public:
    void AddAckMessage(std::unique_ptr<BAckMsg> message) override {
        messages.push_back(std::move(message));
    }
    std::vector<std::unique_ptr<BAckMsg>> messages;
};

// The application's AE server list: registration, and distribution to every object in
// list order under the list lock.
class FakeServerList final : public IServerObjectRegistry, public IAeEventDistributor {
  public:
    void AddDAServer(IDAServerObject*) override {}
    void RemoveDAServer(IDAServerObject*) override {}
    void AddAEServer(IAEServerObject* server) override {
        std::lock_guard lock(mutex_);
        servers.push_back(server);
    }
    void RemoveAEServer(IAEServerObject* server) override {
        std::lock_guard lock(mutex_);
        servers.erase(std::remove(servers.begin(), servers.end(), server), servers.end());
    }
    bool HasClients() const override { return !servers.empty(); }
    void DistributeToAeServers(const BEvent& event) override {
        std::lock_guard lock(mutex_);
        for (IAEServerObject* server : servers) server->DistributeEvent(event);
    }
    std::vector<IAEServerObject*> servers;

  private:
    std::recursive_mutex mutex_;
};

// A document with the helpers to build a tree and an AE context over it. Delivery threads
// are off: tests step DeliverOnce and the fake clock.
struct AeFixture {
    AeFixture() : document(DocServices(), ModelSettings{}) {}

    CDocServices DocServices() {
        CDocServices services;
        services.eventSpace = &space;
        services.clock = &clock;
        return services;
    }
    AeServerContext Context() {
        AeServerContext context;
        context.document = &document;
        context.clock = &clock;
        context.eventSpace = &space;
        context.registry = &servers;
        context.distributor = &servers;
        context.ackQueue = &ackQueue;
        context.redundancyEnabled = [this] { return redundancy; };
        context.startDeliveryThreads = false;
        return context;
    }

    ODevice& AddDevice(const std::string& name) { return InsertDevice(document, name); }
    OTagGroup& AddGroup(OTagGroup& parent, const std::string& name) {
        return InsertGroup(parent, name);
    }
    OModbusTag& AddTag(OTagGroup& group, const std::string& name, std::uint16_t type) {
        auto tag = std::make_unique<OModbusTag>();
        tag->name = name;
        tag->SetDataType(type);
        tag->locationKind = type == VT_BOOL ? kOutputCoil : kHoldingRegister;
        tag->address = static_cast<std::uint16_t>(document.documentTagList.size());
        OModbusTag* added = tag.get();
        group.InsertTagByName(tag);
        document.RegisterTag(group, added);
        return *added;
    }
    // A BOOL tag whose alarm is on for true ("Set"), priority 500, with acknowledgement.
    OModbusTag& AddBinaryTag(OTagGroup& group, const std::string& name) {
        OModbusTag& tag = AddTag(group, name, VT_BOOL);
        auto& alarm = Binary(tag);
        alarm.enableFlags = OBinaryAlarm::kOnTrue | kNormalEventBit;
        alarm.acknowledgeFlags = OBinaryAlarm::kOnTrue;
        alarm.alarmPriority = 500;
        alarm.alarmText = "pump on";
        alarm.normalPriority = 100;
        alarm.normalText = "pump off";
        return tag;
    }
    // A REAL tag with all four levels: priorities 700, 600, 650, 750.
    OModbusTag& AddAnalogTag(OTagGroup& group, const std::string& name) {
        OModbusTag& tag = AddTag(group, name, VT_R4);
        auto& alarm = Analog(tag);
        alarm.enableFlags = 0x000F | kNormalEventBit;
        alarm.acknowledgeFlags = 0x000F;
        alarm.levelPriority = {700, 600, 650, 750};
        alarm.levelText = {"very low", "low", "high", "very high"};
        alarm.levelLimit = {10, 20, 80, 90};
        alarm.normalPriority = 200;
        alarm.normalText = "level normal";
        return tag;
    }
    static OBinaryAlarm& Binary(OModbusTag& tag) { return dynamic_cast<OBinaryAlarm&>(*tag.alarm); }
    static OAnalogAlarm& Analog(OModbusTag& tag) { return dynamic_cast<OAnalogAlarm&>(*tag.alarm); }

    // Puts a tag into an active alarm state as the evaluation would, waiting for
    // acknowledgement.
    void Activate(OModbusTag& tag, std::uint16_t alarmState, std::uint16_t subcondition) {
        tag.alarmState = alarmState;
        tag.subconditionIndex = subcondition;
        tag.acknowledgeState = alarmState;
        tag.activeTime = clock.NowUtc();
        tag.normalTime = 0;
    }
    // The record the evaluation would post for the tag's present transition.
    BEvent TagRecord(OModbusTag& tag, std::uint16_t subcondition, bool active) {
        BEvent record;
        record.code = subcondition;
        record.active = active ? 1 : 0;
        record.tag = &tag;
        record.device = tag.device;
        record.eventTime = clock.NowUtc();
        record.activeTime = tag.activeTime;
        record.valueText = tag.value.ToText();
        return record;
    }
    BEvent DeviceRecord(ODevice& device, std::uint16_t code, bool active) {
        BEvent record;
        record.code = code;
        record.active = active ? 1 : 0;
        record.device = &device;
        record.eventTime = clock.NowUtc();
        record.activeTime = device.AlarmOfCode(code)->activeTime;
        return record;
    }

    AeTraceCapture trace;
    FakeClock clock;
    AeEventSpace space;
    FakeServerList servers;
    RecordingAckQueue ackQueue;
    bool redundancy = false;
    CDoc document;
};

}  // namespace velk::testing
