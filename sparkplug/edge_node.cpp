#include "sparkplug/edge_node.h"

#include "core/trace_file.h"
#include "sparkplug/historical_record.h"
#include "sparkplug/host_state.h"

namespace velk::sparkplug {
namespace {

// Births, data and deaths go at QoS 0, the will and the subscriptions at QoS 1, as
// Sparkplug asks.
constexpr int kDataQos = 0;
constexpr int kWillQos = 1;

// The plant held for one device's work.
class PlantHold {
  public:
    explicit PlantHold(IPlantAccess& plant) : plant_(plant), held_(plant.Enter()) {}
    ~PlantHold() {
        if (held_) plant_.Leave();
    }
    PlantHold(const PlantHold&) = delete;
    PlantHold& operator=(const PlantHold&) = delete;
    explicit operator bool() const { return held_; }

  private:
    IPlantAccess& plant_;
    const bool held_;
};

}  // namespace

EdgeNode::EdgeNode(EdgeNodeOptions options, const MetricLayout& layout, IMqttConnection& connection,
                   IPlantAccess& plant, BdSeqStore& bdSeqs, Spool& spool, const IClock& clock)
    : options_(std::move(options)),
      topics_(options_.groupId, options_.edgeNodeId),
      layout_(&layout),
      connection_(connection),
      plant_(plant),
      bdSeqs_(bdSeqs),
      spool_(spool),
      clock_(clock),
      devices_(layout.Devices().size()) {}

void EdgeNode::Start() {
    if (started_) return;
    started_ = true;
    Connect();
}

void EdgeNode::Connect() {
    payloads_ = EdgeNodePayloads(bdSeqs_.TakeNext());
    connection_.Connect(
        {topics_.Node(MessageType::kNDeath), payloads_.NDeath(clock_.NowUtc()), kWillQos});
}

void EdgeNode::Stop() {
    if (!started_) return;
    started_ = false;
    if (connected_) {
        connection_.Publish(topics_.Node(MessageType::kNDeath), payloads_.NDeath(clock_.NowUtc()),
                            kWillQos);
    }
    connected_ = false;
    connection_.Disconnect();
    spool_.Sync();
}

void EdgeNode::OnConnected() {
    if (!started_) return;
    connected_ = true;
    hostOnline_ = false;  // the host's retained STATE follows the subscription
    if (!options_.primaryHostId.empty()) {
        connection_.Subscribe(SparkplugTopics::State(options_.primaryHostId), kWillQos);
    }
    connection_.Subscribe(topics_.NodeCommandFilter(), kWillQos);
    connection_.Subscribe(topics_.DeviceCommandFilter(), kWillQos);
    if (!IsPublishing()) return;
    Birth();
    Replay();
}

void EdgeNode::OnConnectionLost() {
    connected_ = false;
    for (auto& device : devices_) device.born = false;
    // The broker publishes the will; the next session must not repeat its bdSeq.
    if (started_) Connect();
}

bool EdgeNode::Publish(const std::string& topic, const std::string& payload) {
    if (!connected_) return false;
    if (connection_.Publish(topic, payload, kDataQos)) return true;
    connected_ = false;  // OnConnectionLost follows
    return false;
}

void EdgeNode::Birth() {
    if (!Publish(topics_.Node(MessageType::kNBirth), payloads_.NBirth(clock_.NowUtc()))) return;
    // Every controller is born, a silent one too, so that its stored data can follow; the
    // next tick gives the silent ones their DDEATH, and births those a refused hold of the
    // plant left unborn.
    for (auto& device : devices_) device.born = false;
    for (std::size_t i = 0; i < devices_.size() && connected_; ++i) {
        const PlantHold hold(plant_);
        if (!hold) return;  // the next tick births the rest on the new layout
        BirthDevice(i);
    }
}

void EdgeNode::BirthDevice(std::size_t index) {
    const DeviceMetrics& device = layout_->Devices()[index];
    std::vector<MetricSample> samples = plant_.Sample(device);
    if (!Publish(topics_.Device(MessageType::kDBirth, device.deviceId),
                 payloads_.DBirth(device, samples, clock_.NowUtc()))) {
        return;
    }
    devices_[index].report.Reset(std::move(samples));
    devices_[index].born = true;
}

void EdgeNode::Replay() {
    if (!IsPublishing() || spool_.Empty()) return;
    spool_.Replay([this](std::string_view record) {
        const auto data = ReplayHistoricalRecord(payloads_, *layout_, record, clock_.NowUtc());
        if (!data) return true;  // nothing of it is published any more
        return Publish(topics_.Device(MessageType::kDData, data->deviceId), data->payload);
    });
}

void EdgeNode::Tick() {
    if (!started_) return;
    const FileTime now = clock_.NowUtc();
    const bool publishing = IsPublishing();
    for (std::size_t i = 0; i < devices_.size(); ++i) {
        const DeviceMetrics& device = layout_->Devices()[i];
        DeviceState& state = devices_[i];
        const PlantHold hold(plant_);
        if (!hold) break;
        const bool answering = plant_.IsAnswering(device);
        if (publishing && state.born && !answering) {
            Publish(topics_.Device(MessageType::kDDeath, device.deviceId), payloads_.DDeath(now));
            state.born = false;
            continue;
        }
        if (publishing && !state.born) {
            if (answering) BirthDevice(i);
            continue;
        }
        if (!answering) continue;
        std::vector<MetricSample> samples = plant_.Sample(device);
        if (!publishing && !state.report.HasBaseline()) {
            // The first samples of a device not yet born are no changes: its first DBIRTH
            // carries the state, and only what changes after them goes to the store.
            state.report.Reset(std::move(samples));
            continue;
        }
        const std::vector<std::size_t> changed =
            state.report.TakeChanges(device, samples, options_.deadbandPercent);
        if (changed.empty()) continue;
        if (publishing && Publish(topics_.Device(MessageType::kDData, device.deviceId),
                                  payloads_.DData(device, changed, samples, now))) {
            continue;
        }
        if (spool_.Append(MakeHistoricalRecord(device, changed, samples))) {
            spooled_ = true;
            storeFailing_ = false;
        } else if (!storeFailing_) {
            // Once, until the store takes data again.
            Trace("Sparkplug: the store cannot take the data of " + device.deviceId +
                  "; they are lost");
            storeFailing_ = true;
        }
    }
    if (spooled_) {
        spool_.Sync();
        spooled_ = false;
    }
}

void EdgeNode::OnHostState(std::string_view payload) {
    const auto state = ParseHostState(payload);
    if (!state) {
        Trace("Sparkplug: the STATE of " + options_.primaryHostId + " is no valid state");
        return;
    }
    // A STATE older than the one taken is a late delivery of a past one.
    if (state->timestamp < hostStateTime_) return;
    hostStateTime_ = state->timestamp;
    if (state->online == hostOnline_ || !connected_) return;
    hostOnline_ = state->online;
    if (hostOnline_) {
        Birth();
        Replay();
        return;
    }
    // The host went away: this session ends with its death, and the next one waits for
    // the host again, keeping the data meanwhile.
    Publish(topics_.Node(MessageType::kNDeath), payloads_.NDeath(clock_.NowUtc()));
    connection_.Disconnect();
    OnConnectionLost();
}

void EdgeNode::OnMessage(std::string_view topic, std::string_view payload) {
    if (!options_.primaryHostId.empty() &&
        topic == SparkplugTopics::State(options_.primaryHostId)) {
        OnHostState(payload);
        return;
    }
    const auto command = topics_.ParseCommand(topic);
    if (!command) return;
    if (command->type == MessageType::kNCmd) {
        NodeCommand node;
        const CommandCheck check = DecodeNodeCommand(payload, node);
        if (!check.Accepted()) {
            Trace("Sparkplug: NCMD refused: " + check.detail);
            return;
        }
        if (node.rebirth && IsPublishing()) Birth();
        return;
    }
    const std::string refused = "Sparkplug: DCMD for " + command->deviceId + " refused: ";
    const DeviceMetrics* device = layout_->FindDevice(command->deviceId);
    if (device == nullptr) {
        Trace(refused + "no such device");
        return;
    }
    if (!options_.allowWrites) {
        Trace(refused + "writes are not allowed");
        return;
    }
    std::vector<TagWrite> writes;
    const CommandCheck check = DecodeDeviceCommand(*device, payload, writes);
    if (!check.Accepted()) {
        Trace(refused + check.detail);
        return;
    }
    const PlantHold hold(plant_);
    if (!hold) {
        Trace(refused + "the configuration is changing");
        return;
    }
    plant_.Write(*device, writes);
}

void EdgeNode::SetLayout(const MetricLayout& layout) {
    layout_ = &layout;
    devices_.assign(layout.Devices().size(), DeviceState{});
    if (IsPublishing()) Birth();
}

}  // namespace velk::sparkplug
