#include "sparkplug/edge_node.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include "model/o_device.h"
#include "tests/modbus/route_trace_capture.h"
#include "tests/model/config_file_memory_access.h"
#include "tests/sparkplug/sparkplug_test_support.h"
#include "tests/support/fake_clock.h"
#include "tests/support/memory_file_system.h"

namespace velk::sparkplug {
namespace {

using testing::AddTag;
using testing::Decode;
using testing::InsertDevice;

struct Message {
    std::string topic;
    pb::Payload payload;
};

class RecordingConnection final : public IMqttConnection {
  public:
    void Connect(const Will& will) override { wills.push_back(will); }
    bool Publish(const std::string& topic, const std::string& payload, int) override {
        if (!up) return false;
        sent.push_back({topic, Decode(payload)});
        return true;
    }
    void Subscribe(const std::string& filter, int) override { filters.push_back(filter); }
    void Disconnect() override { ++disconnects; }

    // The messages sent since the last call.
    std::vector<Message> Take() { return std::exchange(sent, {}); }

    bool up = true;
    std::vector<Will> wills;
    std::vector<std::string> filters;
    std::vector<Message> sent;
    int disconnects = 0;
};

// Records, with each use of a device, how many holds of the plant were open.
class FakePlant final : public IPlantAccess {
  public:
    std::vector<MetricSample> Sample(const DeviceMetrics& device) override {
        uses.push_back({device.deviceId, holds});
        return SampleDevice(device);
    }
    bool IsAnswering(const DeviceMetrics& device) override {
        uses.push_back({device.deviceId, holds});
        return silent.count(device.deviceId) == 0;
    }
    void Write(const DeviceMetrics& device, const std::vector<TagWrite>& w) override {
        uses.push_back({device.deviceId, holds});
        for (const auto& write : w) writes.push_back({device.deviceId, write});
    }
    bool Enter() override {
        if (outOfDate) return false;
        ++holds;
        ++entered;
        return true;
    }
    void Leave() override { --holds; }

    std::set<std::string> silent;
    std::vector<std::pair<std::string, TagWrite>> writes;
    std::vector<std::pair<std::string, int>> uses;  // device, holds open
    int holds = 0;
    int entered = 0;
    bool outOfDate = false;
};

class EdgeNodeTest : public ::testing::Test {
  protected:
    EdgeNodeTest() {
        level =
            &AddTag(InsertDevice(root, "PLC1"), "Level", VT_I4, kAccessReadable | kAccessWritable);
        pump = &AddTag(InsertDevice(root, "PLC2"), "Pump", VT_BOOL);
        Set(*level, Variant::Int32(1));
        Set(*pump, Variant::Bool(false));
        layout = MetricLayout::Build(root);
        spool.Open();
    }
    void Set(OModbusTag& tag, Variant value) {
        tag.SetValue(value);
        tag.quality = kQualityGood;
        tag.timestamp = clock.NowUtc();
    }
    EdgeNode& Node(bool allowWrites = false, std::string primaryHost = {}) {
        node = std::make_unique<EdgeNode>(
            EdgeNodeOptions{"Plant1", "Edge1", 0.0, allowWrites, std::move(primaryHost)}, layout,
            connection, plant, bdSeqs, spool, clock);
        return *node;
    }
    // Starts the node and takes its births.
    EdgeNode& Born(bool allowWrites = false) {
        EdgeNode& n = Node(allowWrites);
        n.Start();
        n.OnConnected();
        connection.Take();
        return n;
    }
    static std::vector<std::string> Topics(const std::vector<Message>& messages) {
        std::vector<std::string> topics;
        for (const auto& m : messages) topics.push_back(m.topic);
        return topics;
    }

    testing::FakeClock clock;
    testing::RouteTraceCapture trace;
    OTagGroup root;
    OModbusTag* level = nullptr;
    OModbusTag* pump = nullptr;
    MetricLayout layout;
    RecordingConnection connection;
    FakePlant plant;
    testing::MemoryDocumentFileAccess store;
    BdSeqStore bdSeqs{store, "/store"};
    testing::MemoryFileSystem files;
    testing::MemoryReader reader{files};
    Spool spool{files, reader, "/store", 1u << 20};
    std::unique_ptr<EdgeNode> node;
};

TEST_F(EdgeNodeTest, ASessionStartsWithTheWillThenTheBirthsThenDataByException) {
    EdgeNode& n = Node();
    n.Start();
    ASSERT_EQ(connection.wills.size(), 1u);
    EXPECT_EQ(connection.wills[0].topic, "spBv1.0/Plant1/NDEATH/Edge1");
    EXPECT_EQ(Decode(connection.wills[0].payload).metrics(0).long_value(), n.BdSeq());
    EXPECT_TRUE(connection.sent.empty());  // nothing before the connect

    n.OnConnected();
    EXPECT_EQ(connection.filters, (std::vector<std::string>{"spBv1.0/Plant1/NCMD/Edge1",
                                                            "spBv1.0/Plant1/DCMD/Edge1/+"}));
    auto births = connection.Take();
    EXPECT_EQ(Topics(births), (std::vector<std::string>{"spBv1.0/Plant1/NBIRTH/Edge1",
                                                        "spBv1.0/Plant1/DBIRTH/Edge1/PLC1",
                                                        "spBv1.0/Plant1/DBIRTH/Edge1/PLC2"}));
    EXPECT_EQ(births[0].payload.metrics(0).long_value(), n.BdSeq());

    n.Tick();
    EXPECT_TRUE(connection.Take().empty());  // nothing changed
    Set(*level, Variant::Int32(2));
    n.Tick();
    const auto data = connection.Take();
    ASSERT_EQ(Topics(data), std::vector<std::string>{"spBv1.0/Plant1/DDATA/Edge1/PLC1"});
    EXPECT_EQ(data[0].payload.seq(), 3u);
    ASSERT_EQ(data[0].payload.metrics_size(), 1);
    EXPECT_EQ(data[0].payload.metrics(0).int_value(), 2u);
    EXPECT_FALSE(data[0].payload.metrics(0).is_historical());

    n.Stop();
    const auto last = connection.Take();
    ASSERT_EQ(Topics(last), std::vector<std::string>{"spBv1.0/Plant1/NDEATH/Edge1"});
    EXPECT_EQ(last[0].payload.metrics(0).long_value(), n.BdSeq());
    EXPECT_EQ(connection.disconnects, 1);
}

TEST_F(EdgeNodeTest, ASilentControllerDiesAndIsBornAgainWhenItAnswers) {
    EdgeNode& n = Born();
    plant.silent.insert("PLC2");
    n.Tick();
    n.Tick();
    EXPECT_EQ(Topics(connection.Take()),
              std::vector<std::string>{"spBv1.0/Plant1/DDEATH/Edge1/PLC2"});
    Set(*pump, Variant::Bool(true));
    plant.silent.clear();
    n.Tick();
    const auto again = connection.Take();
    ASSERT_EQ(Topics(again), std::vector<std::string>{"spBv1.0/Plant1/DBIRTH/Edge1/PLC2"});
    EXPECT_TRUE(again[0].payload.metrics(0).boolean_value());
    n.Tick();
    EXPECT_TRUE(connection.Take().empty());  // the birth carried the change
}

TEST_F(EdgeNodeTest, BeforeTheFirstSessionOnlyChangesAfterTheFirstSampleAreStored) {
    EdgeNode& n = Node();
    n.Start();
    n.Tick();  // the broker has not answered yet: the state now is no change
    EXPECT_TRUE(spool.Empty());
    Set(*level, Variant::Int32(5));
    n.Tick();
    EXPECT_FALSE(spool.Empty());
    n.OnConnected();
    const auto messages = connection.Take();
    ASSERT_EQ(messages.size(), 4u);  // NBIRTH, two DBIRTHs, the one stored change
    EXPECT_TRUE(messages[3].payload.metrics(0).is_historical());
    EXPECT_EQ(messages[3].payload.metrics(0).int_value(), 5u);
}

TEST_F(EdgeNodeTest, AnOutageIsReplayedInOrderAsHistoricalDataBeforeLiveData) {
    EdgeNode& n = Born();
    const std::uint8_t firstBdSeq = n.BdSeq();
    connection.up = false;
    Set(*level, Variant::Int32(10));
    n.Tick();  // the publish fails: the change is kept
    n.OnConnectionLost();
    ASSERT_EQ(connection.wills.size(), 2u);
    EXPECT_EQ(n.BdSeq(), static_cast<std::uint8_t>(firstBdSeq + 1));
    EXPECT_EQ(Decode(connection.wills[1].payload).metrics(0).long_value(), n.BdSeq());
    for (int value = 11; value <= 13; ++value) {
        clock.Advance(1000);
        Set(*level, Variant::Int32(value));
        n.Tick();
    }
    EXPECT_FALSE(spool.Empty());
    EXPECT_GE(files.syncs, 1);

    connection.up = true;
    n.OnConnected();
    Set(*level, Variant::Int32(14));
    n.Tick();
    const auto messages = connection.Take();
    ASSERT_EQ(messages.size(), 8u);
    EXPECT_EQ(messages[0].payload.metrics(0).long_value(), n.BdSeq());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(messages[i].payload.seq(), i) << messages[i].topic;
    }
    // After the births: 10 to 13 as they were taken, then 14 live.
    for (int i = 0; i < 5; ++i) {
        const Message& m = messages[3 + i];
        EXPECT_EQ(m.topic, "spBv1.0/Plant1/DDATA/Edge1/PLC1");
        ASSERT_EQ(m.payload.metrics_size(), 1);
        EXPECT_EQ(m.payload.metrics(0).int_value(), static_cast<unsigned>(10 + i));
        EXPECT_EQ(m.payload.metrics(0).is_historical(), i < 4);
    }
    EXPECT_TRUE(spool.Empty());

    // A store that takes nothing is traced once, not at every period.
    n.OnConnectionLost();
    files.failOpen = true;
    for (int value = 15; value <= 17; ++value) {
        Set(*level, Variant::Int32(value));
        n.Tick();
    }
    EXPECT_EQ(trace.lines.size(), 1u);
}

TEST_F(EdgeNodeTest, CommandsRebirthAndWriteOnlyWhenAllowed) {
    const auto command = [](const char* name, bool boolean, std::int32_t value) {
        pb::Payload p;
        auto* m = p.add_metrics();
        m->set_name(name);
        if (boolean) m->set_boolean_value(true);
        if (!boolean) m->set_int_value(static_cast<std::uint32_t>(value));
        return p.SerializeAsString();
    };
    EdgeNode& refusing = Born(false);
    refusing.OnMessage("spBv1.0/Plant1/NCMD/Edge1", command("Node Control/Rebirth", true, 0));
    const auto rebirth = connection.Take();
    ASSERT_EQ(rebirth.size(), 3u);
    EXPECT_EQ(rebirth[0].topic, "spBv1.0/Plant1/NBIRTH/Edge1");
    EXPECT_EQ(rebirth[0].payload.seq(), 0u);

    refusing.OnMessage("spBv1.0/Plant1/DCMD/Edge1/PLC1", command("Level", false, -5));
    EXPECT_TRUE(plant.writes.empty());
    ASSERT_EQ(trace.lines.size(), 1u);
    EXPECT_NE(trace.lines[0].find("refused"), std::string::npos);

    EdgeNode& writing = Born(true);
    writing.OnMessage("spBv1.0/Plant1/DCMD/Edge1/PLC1", command("Level", false, -5));
    writing.OnMessage("spBv1.0/Plant1/DCMD/Edge1/PLC1", command("Nope", false, 1));
    writing.OnMessage("spBv1.0/Plant1/DCMD/Edge1/PLC9", command("Level", false, 1));
    writing.OnMessage("spBv1.0/Plant1/NCMD/Edge1", "\x0a\xff");
    ASSERT_EQ(plant.writes.size(), 1u);
    EXPECT_EQ(plant.writes[0].first, "PLC1");
    EXPECT_EQ(plant.writes[0].second.value, Variant::Int32(-5));
    EXPECT_EQ(trace.lines.size(), 4u);  // each refusal traced
    EXPECT_TRUE(connection.Take().empty());
}

TEST_F(EdgeNodeTest, WithAPrimaryHostTheNodePublishesOnlyWhileTheHostIsOnline) {
    const auto state = [](bool online, std::uint64_t time) {
        return std::string(R"({"online":)") + (online ? "true" : "false") + R"(,"timestamp":)" +
               std::to_string(time) + "}";
    };
    const std::string host = "spBv1.0/STATE/Scada";
    EdgeNode& n = Node(false, "Scada");
    n.Start();
    n.OnConnected();
    EXPECT_EQ(connection.filters.front(), host);
    Set(*level, Variant::Int32(20));
    n.Tick();  // kept: the host is not there yet
    EXPECT_TRUE(connection.Take().empty());

    n.OnMessage(host, state(true, 100));
    auto messages = connection.Take();
    // NBIRTH and two DBIRTHs with the state now; the first samples were no changes to keep.
    ASSERT_EQ(messages.size(), 3u) << ::testing::PrintToString(Topics(messages));
    EXPECT_EQ(messages[1].topic, "spBv1.0/Plant1/DBIRTH/Edge1/PLC1");
    EXPECT_EQ(messages[1].payload.metrics(0).int_value(), 20u);

    n.OnMessage(host, state(false, 50));  // older than the one taken
    n.OnMessage(host, "not json");
    EXPECT_TRUE(n.IsPublishing());
    EXPECT_EQ(trace.lines.size(), 1u);

    const std::uint8_t bdSeq = n.BdSeq();
    n.OnMessage(host, state(false, 200));
    messages = connection.Take();
    ASSERT_EQ(Topics(messages), std::vector<std::string>{"spBv1.0/Plant1/NDEATH/Edge1"});
    EXPECT_EQ(messages[0].payload.metrics(0).long_value(), bdSeq);
    EXPECT_EQ(connection.disconnects, 1);
    EXPECT_EQ(n.BdSeq(), static_cast<std::uint8_t>(bdSeq + 1));  // the next session's will
    Set(*level, Variant::Int32(21));
    n.Tick();
    EXPECT_TRUE(connection.Take().empty());
    EXPECT_FALSE(spool.Empty());
}

}  // namespace
}  // namespace velk::sparkplug

namespace velk::sparkplug {
namespace {

// The plant is held for one device at a time and let go between them, in births, ticks and
// writes alike; a hold refused (the layout out of date) reads nothing more.
TEST_F(EdgeNodeTest, ThePlantIsHeldPerDeviceAndNothingIsReadWithoutAHold) {
    EdgeNode& n = Born(true);
    Set(*level, Variant::Int32(5));
    n.Tick();
    n.OnMessage("spBv1.0/Plant1/DCMD/Edge1/PLC1", []() {
        pb::Payload command;
        auto* metric = command.add_metrics();
        metric->set_name("Level");
        metric->set_datatype(static_cast<std::uint32_t>(MetricType::kInt32));
        metric->set_int_value(7);
        return command.SerializeAsString();
    }());
    ASSERT_EQ(plant.writes.size(), 1u);
    std::set<std::string> devices;
    for (const auto& [device, holds] : plant.uses) {
        EXPECT_EQ(holds, 1) << device;
        devices.insert(device);
    }
    EXPECT_EQ(devices, (std::set<std::string>{"PLC1", "PLC2"}));
    // Two births, two devices ticked, one write: a hold each.
    EXPECT_EQ(plant.entered, 5);
    EXPECT_EQ(plant.holds, 0);

    plant.uses.clear();
    connection.Take();
    plant.outOfDate = true;
    Set(*level, Variant::Int32(6));
    n.Tick();
    n.OnMessage("spBv1.0/Plant1/NCMD/Edge1", []() {
        pb::Payload command;
        auto* metric = command.add_metrics();
        metric->set_name("Node Control/Rebirth");
        metric->set_datatype(static_cast<std::uint32_t>(MetricType::kBoolean));
        metric->set_boolean_value(true);
        return command.SerializeAsString();
    }());
    EXPECT_TRUE(plant.uses.empty());
    // The refused pass published no data of the change; the next one does.
    EXPECT_EQ(Topics(connection.Take()), std::vector<std::string>{"spBv1.0/Plant1/NBIRTH/Edge1"});
    plant.outOfDate = false;
    n.Tick();
    const auto after = connection.Take();
    // The node born again by the command, its devices at the tick after.
    EXPECT_EQ(Topics(after), (std::vector<std::string>{"spBv1.0/Plant1/DBIRTH/Edge1/PLC1",
                                                       "spBv1.0/Plant1/DBIRTH/Edge1/PLC2"}));
    bool level6 = false;
    for (const auto& message : after) {
        for (const auto& metric : message.payload.metrics())
            level6 = level6 || (metric.has_int_value() && metric.int_value() == 6u);
    }
    EXPECT_TRUE(level6);
}

}  // namespace
}  // namespace velk::sparkplug
