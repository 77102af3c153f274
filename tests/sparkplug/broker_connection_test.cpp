// The edge node's connection over a scripted client: attempts with back-off, outcomes of
// abandoned attempts dropped, one trace line per change of state, and the node told of its
// sessions.
#include "sparkplug/broker_connection.h"

#include <gtest/gtest.h>

#include "model/o_device.h"
#include "sparkplug/edge_node.h"
#include "tests/modbus/route_trace_capture.h"
#include "tests/model/config_file_memory_access.h"
#include "tests/sparkplug/sparkplug_test_support.h"

namespace velk::sparkplug {
namespace {

using Kind = MqttEvent::Kind;

class ScriptedClient final : public IMqttClient {
  public:
    std::uint64_t Connect(const MqttWill& will) override {
        wills.push_back(will);
        return ++attempts;
    }
    bool Publish(const std::string& topic, const std::string&, int) override {
        if (refuse) return false;
        topics.push_back(topic);
        return true;
    }
    bool Subscribe(const std::string& filter, int) override {
        filters.push_back(filter);
        return true;
    }
    void Disconnect(std::chrono::milliseconds) override { ++disconnects; }

    std::uint64_t attempts = 0;
    bool refuse = false;
    std::vector<MqttWill> wills;
    std::vector<std::string> topics, filters;
    int disconnects = 0;
};

class NoPlant final : public IPlantAccess {
  public:
    std::vector<MetricSample> Sample(const DeviceMetrics& device) override {
        return SampleDevice(device);
    }
    bool IsAnswering(const DeviceMetrics&) override { return true; }
    void Write(const DeviceMetrics&, const std::vector<TagWrite>&) override {}
};

class BrokerConnectionTest : public ::testing::Test {
  protected:
    BrokerConnectionTest() {
        testing::AddTag(testing::InsertDevice(root, "PLC1"), "Level", VT_I4);
        layout = MetricLayout::Build(root);
        spool.Open();
        connection.Attach(node);
    }
    std::size_t Lines(const std::string& part) const {
        std::size_t n = 0;
        for (const auto& line : trace.lines) n += line.find(part) != std::string::npos;
        return n;
    }

    testing::FakeClock clock;
    testing::RouteTraceCapture trace;
    OTagGroup root;
    MetricLayout layout;
    ScriptedClient client;
    BrokerConnection connection{client, "tcp://broker:1883", clock,
                                Backoff{std::chrono::seconds(1), std::chrono::seconds(4)}};
    NoPlant plant;
    testing::MemoryDocumentFileAccess store;
    BdSeqStore bdSeqs{store, "/store"};
    testing::MemoryFileSystem files;
    testing::MemoryReader reader{files};
    Spool spool{files, reader, "/store", 1u << 20};
    EdgeNode node{EdgeNodeOptions{"Plant1", "Edge1", 0.0, false, {}},
                  layout,
                  connection,
                  plant,
                  bdSeqs,
                  spool,
                  clock};
};

TEST_F(BrokerConnectionTest, FailedAttemptsBackOffUpToTheLongestAndAreTracedOnce) {
    node.Start();
    ASSERT_EQ(client.attempts, 1u);
    // Waits between attempts: 1, 2, 4, 4 seconds.
    for (std::uint32_t wait : {1000u, 2000u, 4000u, 4000u}) {
        connection.OnEvent({Kind::kConnectFailed, client.attempts, "refused", {}});
        const auto attempts = client.attempts;
        EXPECT_EQ(connection.Poll(), wait);
        clock.Advance(wait - 1);
        connection.Poll();
        EXPECT_EQ(client.attempts, attempts) << "too early after " << wait;
        clock.Advance(1);
        EXPECT_EQ(connection.Poll(), std::nullopt);
        EXPECT_EQ(client.attempts, attempts + 1);
    }
    EXPECT_EQ(Lines("cannot connect to the broker tcp://broker:1883"), 1u);

    // A late outcome of an abandoned attempt is no session.
    connection.OnEvent({Kind::kConnected, client.attempts - 1, {}, {}});
    EXPECT_FALSE(node.IsConnected());
    connection.OnEvent({Kind::kConnected, client.attempts, {}, {}});
    EXPECT_TRUE(node.IsConnected());
    EXPECT_EQ(Lines("connected to the broker"), 1u);
    ASSERT_FALSE(client.topics.empty());
    EXPECT_EQ(client.topics.front(), "spBv1.0/Plant1/NBIRTH/Edge1");
}

TEST_F(BrokerConnectionTest,
       ALossOrARefusedMessageStartsTheNextSessionWithTheNextBdSeqAfterTheFirstWait) {
    node.Start();
    connection.OnEvent({Kind::kConnected, client.attempts, {}, {}});
    connection.OnEvent({Kind::kMessage, client.attempts, "spBv1.0/Plant1/NCMD/Edge1", "junk"});
    EXPECT_EQ(Lines("NCMD refused"), 1u);

    connection.OnEvent({Kind::kConnectionLost, client.attempts, "socket closed", {}});
    EXPECT_FALSE(node.IsConnected());
    EXPECT_EQ(Lines("was lost: socket closed"), 1u);
    EXPECT_EQ(client.attempts, 1u);  // not at once: the first wait of the back-off
    EXPECT_EQ(connection.Poll(), 1000u);
    clock.Advance(1000);
    connection.Poll();
    ASSERT_EQ(client.wills.size(), 2u);
    EXPECT_NE(client.wills[0].payload, client.wills[1].payload);  // another bdSeq

    // The client refuses a message while it thinks itself connected: the session is ended
    // here, and the node told at the next poll.
    connection.OnEvent({Kind::kConnected, client.attempts, {}, {}});
    client.refuse = true;
    node.OnMessage("spBv1.0/Plant1/NCMD/Edge1", [] {
        pb::Payload rebirth;
        auto* metric = rebirth.add_metrics();
        metric->set_name("Node Control/Rebirth");
        metric->set_datatype(11);
        metric->set_boolean_value(true);
        return rebirth.SerializeAsString();
    }());
    EXPECT_FALSE(node.IsConnected());
    EXPECT_EQ(client.disconnects, 1);
    client.refuse = false;
    connection.Poll();
    clock.Advance(1000);
    connection.Poll();
    EXPECT_EQ(client.wills.size(), 3u);
}

}  // namespace
}  // namespace velk::sparkplug
