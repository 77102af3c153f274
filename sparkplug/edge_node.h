#pragma once
// One Sparkplug B edge node over a broker connection: the session's NBIRTH and DBIRTHs,
// data by exception at each publish tick, DDEATH and DBIRTH as controllers stop and start
// answering, store and forward while the broker is unreachable, NCMD rebirth and DCMD
// writes, and a primary host's STATE followed. Every call comes from one thread, the publisher's
// (the connection's outcomes are posted to it), so the node holds no lock of its own.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "sparkplug/bd_seq_store.h"
#include "sparkplug/command_decoder.h"
#include "sparkplug/edge_node_payloads.h"
#include "sparkplug/metric_layout.h"
#include "sparkplug/mqtt_connection.h"
#include "sparkplug/report_by_exception.h"
#include "sparkplug/sparkplug_topics.h"
#include "sparkplug/spool.h"

namespace velk::sparkplug {

// The plant as the node reads and writes it.
class IPlantAccess {
  public:
    virtual ~IPlantAccess() = default;
    // The device's value records, in metric order (sampled as the DA groups sample).
    virtual std::vector<MetricSample> Sample(const DeviceMetrics& device) = 0;
    // False while the controller's communication alarm is active.
    virtual bool IsAnswering(const DeviceMetrics& device) = 0;
    // Writes through the DA write path; the writes have been checked already.
    virtual void Write(const DeviceMetrics& device, const std::vector<TagWrite>& writes) = 0;
    // Holds the plant still for the work on one device (TreeLock in the server): the node
    // takes it per device, so that a pass over many controllers lets the tree's other users
    // in between them. False when the layout no longer matches the plant (objects of it
    // destroyed since it was made): nothing may be read until the next layout, and no Leave
    // follows.
    virtual bool Enter() { return true; }
    virtual void Leave() {}
};

struct EdgeNodeOptions {
    std::string groupId;
    std::string edgeNodeId;
    double deadbandPercent = 0.0;
    bool allowWrites = false;
    // When set, the node publishes only while this host's STATE says it is online, and
    // keeps its data in the spool meanwhile.
    std::string primaryHostId;
};

class EdgeNode {
  public:
    // The layout stays the caller's and must outlive the node, or be replaced (SetLayout)
    // before it changes.
    EdgeNode(EdgeNodeOptions options, const MetricLayout& layout, IMqttConnection& connection,
             IPlantAccess& plant, BdSeqStore& bdSeqs, Spool& spool, const IClock& clock);

    // Takes the session's bdSeq and connects with the NDEATH as the will.
    void Start();
    // The orderly stop: NDEATH, then the end of the session.
    void Stop();

    void OnConnected();
    // The end of a session that was connected: a new one follows, with the next bdSeq in
    // its will.
    void OnConnectionLost();
    void OnMessage(std::string_view topic, std::string_view payload);

    // One publish period: births and deaths of the controllers, their changes as DDATA, or
    // into the spool while there is no session; the spool's batch is synced. The plant is
    // held per device; a layout found out of date ends the pass, the devices left are
    // taken up at the next tick.
    void Tick();

    // A changed configuration: the node is born again on its new layout.
    void SetLayout(const MetricLayout& layout);

    bool IsConnected() const { return connected_; }
    // Connected, and the primary host (if there is one) online.
    bool IsPublishing() const {
        return connected_ && (options_.primaryHostId.empty() || hostOnline_);
    }
    std::uint8_t BdSeq() const { return payloads_.BdSeq(); }

  private:
    struct DeviceState {
        bool born = false;
        DeviceReport report;
    };

    void Connect();
    void OnHostState(std::string_view payload);
    void Birth();
    void BirthDevice(std::size_t index);
    void Replay();
    bool Publish(const std::string& topic, const std::string& payload);

    EdgeNodeOptions options_;
    SparkplugTopics topics_;
    const MetricLayout* layout_;
    IMqttConnection& connection_;
    IPlantAccess& plant_;
    BdSeqStore& bdSeqs_;
    Spool& spool_;
    const IClock& clock_;
    EdgeNodePayloads payloads_{0};
    std::vector<DeviceState> devices_;  // by the layout's device index
    bool started_ = false;
    bool connected_ = false;
    bool spooled_ = false;       // records appended since the last sync
    bool storeFailing_ = false;  // the last append failed (traced once)
    bool hostOnline_ = false;
    std::uint64_t hostStateTime_ = 0;  // of the newest STATE taken
};

}  // namespace velk::sparkplug
