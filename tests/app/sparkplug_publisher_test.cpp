#include "app/sparkplug/sparkplug_publisher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "app/sparkplug/plant_sampler.h"
#include "model/c_doc.h"
#include "model/document_services.h"
#include "tests/model/config_file_memory_access.h"
#include "tests/sparkplug/sparkplug_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_clock.h"
#include "tests/support/lock_probe.h"

namespace velk {
namespace {

using namespace std::chrono_literals;

class QuietTagIO final : public ITagIO {
  public:
    void ReadTags(ODevice&, const TagList&) override {}
    HRESULT WriteTag(ODevice&, OModbusTag&, const Variant&) override { return S_OK; }
};

// The sampler holds TreeLock from Enter to Leave, and refuses to hold it once an object of
// the tree has been destroyed, until the layout is confirmed again.
TEST(PlantSamplerTest, HoldsTheTreeUntilLeaveAndNotOverADestroyedObject) {
    CDoc document(CDocServices{}, ModelSettings{});
    ODevice& device = testing::InsertDevice(document, "PLC1");
    OModbusTag& level = testing::AddTag(device, "Level", VT_I2);
    testing::AddTag(device, "Flow", VT_I2);
    QuietTagIO tagIO;
    PlantSampler sampler(tagIO, document);
    auto layout = sparkplug::MetricLayout::Build(document.rootGroup);
    sampler.SetLayout(layout);
    std::recursive_mutex& tree = document.Locks().tree;

    ASSERT_TRUE(sampler.Enter());
    EXPECT_FALSE(testing::FreeForOthers(tree));
    sampler.Leave();
    EXPECT_TRUE(testing::FreeForOthers(tree));

    {
        std::lock_guard edit(tree);
        document.DestroyTag(device, &level);
    }
    EXPECT_FALSE(sampler.Enter());
    EXPECT_TRUE(testing::FreeForOthers(tree));

    // The publisher's check: the tree's layout again, under TreeLock.
    {
        std::lock_guard check(tree);
        layout = sparkplug::MetricLayout::Build(document.rootGroup);
        sampler.SetLayout(layout);
    }
    ASSERT_TRUE(sampler.Enter());
    sampler.Leave();
}

// A broker client whose connection attempt is never answered, and whose Disconnect can be
// made to wait until the test lets it go (a broker call that never returns).
class SilentClient final : public IMqttClient {
  public:
    explicit SilentClient(bool block) : block_(block) {}
    std::uint64_t Connect(const MqttWill&) override { return 1; }
    bool Publish(const std::string&, const std::string&, int) override { return false; }
    bool Subscribe(const std::string&, int) override { return false; }
    void Disconnect(std::chrono::milliseconds) override {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return !block_; });
    }
    void Release() {
        std::lock_guard lock(mutex_);
        block_ = false;
        released_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool block_;
};

class CountingClients final : public IClientCounter {
  public:
    bool AddClient() override { return ++count != 0; }
    bool RemoveClient() override {
        --count;
        ++removed;
        return count != 0;
    }
    std::atomic<int> count{0};
    std::atomic<int> removed{0};
};

class SparkplugPublisherTest : public ::testing::TestWithParam<bool> {};

// However long the client takes to end its session, the stop returns within its wait; a
// thread left behind ends on its own once the client returns.
TEST_P(SparkplugPublisherTest, StopWaitsNoLongerThanItsBound) {
    const bool neverAnswers = GetParam();
    testing::FakeClock clock;
    CountingClients clients;
    QuietTagIO tagIO;
    testing::MemoryFileSystem files;
    testing::MemoryReader reader(files);
    testing::MemoryDocumentFileAccess documentFiles;
    CDoc document(CDocServices{}, ModelSettings{});
    testing::AddTag(testing::InsertDevice(document, "PLC1"), "Level", VT_I2);
    SilentClient* client = nullptr;
    SparkplugPublisher publisher(
        SparkplugServices{clock, clients, tagIO, files, reader, documentFiles,
                          [&]() { return &document; }, [](const std::string&) { return true; },
                          [&](const MqttClientSettings&, IMqttClient::EventSink, std::string&) {
                              auto made = std::make_unique<SilentClient>(neverAnswers);
                              client = made.get();
                              return std::unique_ptr<IMqttClient>(std::move(made));
                          }});
    SparkplugOptions options;
    options.client.serverUrl = "tcp://127.0.0.1:1883";
    options.node.groupId = "Plant1";
    options.node.edgeNodeId = "Edge1";
    options.storeDirectory = "/store";
    options.storeLimitBytes = 1u << 20;
    ASSERT_TRUE(publisher.Start(options));
    ASSERT_TRUE(testing::WaitUntil([&] { return clients.count.load() == 1; }, 10s));

    publisher.Stop(200ms);
    EXPECT_FALSE(publisher.IsRunning());
    EXPECT_EQ(publisher.Abandoned(), neverAnswers);
    if (neverAnswers) {
        EXPECT_FALSE(publisher.Start(options));  // not beside the one left running
        EXPECT_EQ(clients.removed.load(), 0);    // still in its session's end
        client->Release();
    }
    EXPECT_TRUE(testing::WaitUntil([&] { return clients.removed.load() >= 1; }, 10s));
    publisher.Stop(200ms);
}

INSTANTIATE_TEST_SUITE_P(Client, SparkplugPublisherTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "NeverAnswers" : "Answers"; });

}  // namespace
}  // namespace velk
