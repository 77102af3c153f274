// The UA plant side over a document made here, a fake tag I/O that counts the requests per
// device and grid period (a second read of a device in one period shares the first, as the
// shared block reads do), queued device readers and a stepped update pool.
#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "app/opcua/grid_sampling_source.h"
#include "app/opcua/plant_tag_values.h"
#include "app/opcua/plant_tag_writer.h"
#include "model/o_modbus_tag.h"
#include "opc/opc_result.h"
#include "opc/worker_launcher.h"
#include "opcua/status_codes.h"
#include "platform/timed_pass_pool.h"
#include "tests/opcua/space/space_test_support.h"

namespace velk {
namespace {

using ua::test::Plant;

class CountingTagIO final : public ITagIO {
  public:
    explicit CountingTagIO(ModelLocks& locks) : locks_(locks) {}
    void ReadTags(ODevice& device, const TagList& tags) override {
        Answer(device, tags);
        ++requests[&device];
    }
    void ReadTagsInPeriod(ODevice& device, const TagList& tags, std::uint32_t start) override {
        if (periods[&device].insert(start).second) ++requests[&device];
        Answer(device, tags);
    }
    HRESULT WriteTag(ODevice&, OModbusTag& tag, const Variant& value) override {
        written.emplace_back(&tag, value);
        return writeResult;
    }
    void Answer(ODevice& device, const TagList& tags) {
        std::lock_guard data(locks_.tagData);
        for (OModbusTag* tag : tags) {
            const bool dead = deadDevices.contains(&device);
            tag->quality = dead ? kQualityCommFailure : kQualityGood;
            if (!dead) tag->value = Variant::Int16(static_cast<std::int16_t>(values[tag]));
        }
    }
    ModelLocks& locks_;
    std::map<const OModbusTag*, int> values;
    std::set<const ODevice*> deadDevices;
    std::map<const ODevice*, int> requests;
    std::map<const ODevice*, std::set<std::uint32_t>> periods;
    std::vector<std::pair<OModbusTag*, Variant>> written;
    HRESULT writeResult = S_OK;
};

// Device readers the test runs by hand, device by device.
class QueuedDeviceWork final : public IDeviceWork {
  public:
    bool LaunchOn(const ODevice& device, std::function<void()> work) override {
        if (runAtOnce) {
            work();
            return true;
        }
        queued[&device].push_back(std::move(work));
        return true;
    }
    void Run(const ODevice& device) {
        auto works = std::move(queued[&device]);
        queued[&device].clear();
        for (auto& w : works) w();
    }
    void RunAll() {
        for (auto& [device, works] : queued) Run(*device);
    }
    std::map<const ODevice*, std::deque<std::function<void()>>> queued;
    bool runAtOnce = false;
};

class RecordingSink final : public ua::ISampleSink {
  public:
    void OnSample(ua::SamplingHandle handle, const ua::DataValue& value) override {
        samples.emplace_back(handle, value);
    }
    void OnSamples(std::span<const ua::Sample> batch) override {
        ++batches;
        for (const auto& s : batch) OnSample(s.handle, s.value);
    }
    std::vector<ua::DataValue> Of(ua::SamplingHandle handle) const {
        std::vector<ua::DataValue> out;
        for (const auto& [h, v] : samples)
            if (h == handle) out.push_back(v);
        return out;
    }
    std::vector<std::pair<ua::SamplingHandle, ua::DataValue>> samples;
    int batches = 0;
};

struct PlantFixture : ua::test::SpaceFixture {
    PlantFixture()
        : pool([this] { return start + std::chrono::milliseconds(clock.TickCount()); }),
          io(document.Locks()),
          source({document, plant, space, io, pool, readers, clock}) {
        clock.SetTick(1000);
        line1 = document.FindDevice("Line1");
        ODevice& line2Device = velk::testing::InsertDevice(document, "Line2");
        line2 = &line2Device;
        level = &AddTag(line2Device, "Level", VT_I2, kAccessReadable);
    }
    // Steps the grid: the due passes, then every device's reads.
    void Step(std::uint32_t ms) {
        clock.Advance(ms);
        pool.RunDue();
        readers.RunAll();
    }
    ua::SamplingHandle Start(const std::string& id, double interval = 250) {
        return source.StartSampling({{Plant(id), 13, interval}}, sink).at(0);
    }

    std::chrono::steady_clock::time_point start{};
    TimedPassPool pool;
    CountingTagIO io;
    QueuedDeviceWork readers;
    GridSamplingSource source;
    RecordingSink sink;
    ODevice* line1 = nullptr;
    ODevice* line2 = nullptr;
    OModbusTag* level = nullptr;
};

TEST(GridSamplingSourceTest, AReadOfTheSamePeriodByADaGroupIsShared) {
    PlantFixture f;
    const auto mode = f.Start("Line1.Mode");
    f.Start("Line1.Pumps.Count");
    f.Step(0);  // the first cycle
    EXPECT_EQ(f.io.requests[f.line1], 1);
    ASSERT_EQ(f.sink.Of(mode).size(), 1u);
    // A DA group of the same rate reads in the period the grid gives the next cycle.
    f.clock.Advance(250 - f.clock.TickCount() % 250);
    const std::uint32_t gridPoint = f.clock.TickCount();
    f.io.ReadTagsInPeriod(*f.line1, {}, gridPoint);
    // The UA cycle of that period starts late; it still reads in the period of its grid point.
    f.clock.Advance(20);
    f.pool.RunDue();
    f.readers.RunAll();
    EXPECT_EQ(f.io.requests[f.line1], 2) << "the UA cycle took the DA group's period";
}

TEST(GridSamplingSourceTest, OnlyChangesAreSentOneBatchPerDeviceRead) {
    PlantFixture f;
    const auto mode = f.Start("Line1.Mode");
    const auto count = f.Start("Line1.Pumps.Count");
    f.Step(0);
    EXPECT_EQ(f.sink.Of(mode).size(), 1u);
    EXPECT_EQ(f.sink.Of(count).size(), 1u);
    for (int i = 0; i < 3; ++i) f.Step(250);
    EXPECT_EQ(f.sink.Of(mode).size(), 1u) << "unchanged values are not sent again";
    const int before = f.sink.batches;
    f.io.values[f.document.FindTag("Line1.Mode", ".")] = 7;
    f.io.values[f.document.FindTag("Line1.Pumps.Count", ".")] = 8;
    f.Step(250);
    EXPECT_EQ(f.sink.batches, before + 1);
    ASSERT_EQ(f.sink.Of(mode).size(), 2u);
    EXPECT_EQ(f.sink.Of(mode).back().value, ua::Variant::Scalar(std::int32_t{7}));
    EXPECT_EQ(f.sink.Of(count).back().value, ua::Variant::Scalar(std::uint16_t{8}));
}

TEST(GridSamplingSourceTest, ADeadDeviceDelaysOnlyItsOwnItems) {
    PlantFixture f;
    f.io.deadDevices.insert(f.line2);
    const auto mode = f.Start("Line1.Mode");
    const auto level = f.Start("Line2.Level");
    f.clock.Advance(0);
    f.pool.RunDue();
    // Line2's reader is stuck in its read; Line1's delivers.
    f.readers.Run(*f.line1);
    EXPECT_EQ(f.sink.Of(mode).size(), 1u);
    EXPECT_TRUE(f.sink.Of(level).empty());
    // The next cycle queues no second read of the stuck device.
    f.clock.Advance(250);
    f.pool.RunDue();
    EXPECT_EQ(f.readers.queued[f.line2].size(), 1u);
    f.readers.Run(*f.line2);
    ASSERT_EQ(f.sink.Of(level).size(), 1u);
    EXPECT_EQ(f.sink.Of(level).front().status, ua::StatusCode{0x80310000});
}

TEST(GridSamplingSourceTest, ADeletedTagDeliversBadNodeIdUnknownOnce) {
    PlantFixture f;
    const auto level = f.Start("Line2.Level");
    f.Step(0);
    ASSERT_EQ(f.sink.Of(level).size(), 1u);
    EXPECT_EQ(f.level->opcReferenceCount, 1);
    f.document.DestroyTag(*f.level->group, f.level);
    f.source.OnConfigurationChanged();
    f.Step(250);
    f.Step(250);
    ASSERT_EQ(f.sink.Of(level).size(), 2u);
    EXPECT_EQ(f.sink.Of(level).back().status, ua::kBadNodeIdUnknown);
    EXPECT_FALSE(f.sink.Of(level).back().value);
    f.source.StopSampling({level});  // must not touch the freed tag
}

TEST(GridSamplingSourceTest, StoppedItemsGetNothingAndLetGoOfTheirTags) {
    PlantFixture f;
    const auto level = f.Start("Line2.Level");
    f.Step(0);
    f.io.values[f.level] = 5;
    f.clock.Advance(250);
    f.pool.RunDue();  // a read queued
    f.source.StopSampling({level});
    f.readers.RunAll();
    EXPECT_EQ(f.sink.Of(level).size(), 1u);
    EXPECT_EQ(f.level->opcReferenceCount, 0);
    EXPECT_EQ(f.pool.Registered(), 0u);
}

TEST(GridSamplingSourceTest, RevisesToTheGridRatesAndDescribesAnalogItems) {
    PlantFixture f;
    EXPECT_EQ(f.source.ReviseSamplingInterval(0), 50);
    EXPECT_EQ(f.source.ReviseSamplingInterval(251), 500);
    EXPECT_EQ(f.source.ReviseSamplingInterval(1e9), 60000);
    const auto speed = f.source.Describe(Plant("Line1.Pumps.Speed"), 13);
    EXPECT_EQ(speed.status, ua::kGood);
    EXPECT_TRUE(speed.numeric);
    ASSERT_TRUE(speed.euRange);
    EXPECT_EQ(speed.euRange->high, 1500.0);
    EXPECT_FALSE(f.source.Describe(Plant("Line1.Pumps.Running"), 13).numeric);
    EXPECT_EQ(f.source.Describe(Plant("Line1.Nope"), 13).status, ua::kBadNodeIdUnknown);
}

TEST(PlantTagValuesTest, MaxAgeZeroReadsEachDeviceOnceAYoungValueNone) {
    PlantFixture f;
    f.readers.runAtOnce = true;
    PlantTagValues values(f.document, f.plant, f.io, f.readers, f.clock);
    ua::ReadRequest request;
    for (const char* id : {"Line1.Mode", "Line1.Pumps.Count", "Line2.Level", "Line1.Gone"})
        request.nodesToRead.push_back({Plant(id), 13, "", {}});
    f.io.values[f.level] = 42;
    ua::ServiceContext context{f.space, values, f.clock, ua::ServiceLimits{}, f.session};
    ua::ReadResponse response = ua::Read(context, request);
    EXPECT_EQ(f.io.requests[f.line1], 1) << "one read for the device's two tags";
    EXPECT_EQ(f.io.requests[f.line2], 1);
    ASSERT_EQ(response.results.size(), 4u);
    EXPECT_EQ(response.results[2].value, ua::Variant::Scalar(std::int16_t{42}));
    EXPECT_EQ(response.results[3].status, ua::kBadNodeIdUnknown);
    EXPECT_EQ(f.level->opcReferenceCount, 0);

    // Young enough for a MaxAge of a minute: stored values, no read.
    {
        std::lock_guard data(f.document.Locks().tagData);
        for (const char* id : {"Line1.Mode", "Line1.Pumps.Count", "Line2.Level"})
            f.document.FindTag(id, ".")->timestamp = f.clock.NowUtc();
    }
    f.clock.Advance(1000);
    request.maxAge = 60000;
    ua::Read(context, request);
    EXPECT_EQ(f.io.requests[f.line1], 1);
    // Older than a MaxAge of half a second: read again.
    request.maxAge = 500;
    ua::Read(context, request);
    EXPECT_EQ(f.io.requests[f.line1], 2);
    EXPECT_EQ(f.io.requests[f.line2], 2);
}

TEST(PlantTagWriterTest, ConvertsOrRefusesAsTheTagAllows) {
    PlantFixture f;
    PlantTagWriter writer(f.document, f.plant, f.io);
    struct Case {
        const char* id;
        ua::Variant value;
        ua::StatusCode expected;
    };
    const std::vector<Case> cases = {
        {"Line1.Mode", ua::Variant::Scalar(std::int16_t{-5}), ua::kGood},
        {"Line1.Mode", ua::Variant::Scalar(3.6), ua::kGood},
        {"Line1.Mode", ua::Variant::Scalar(std::uint32_t{0x80000000u}), ua::kBadOutOfRange},
        {"Line1.Mode", ua::Variant::Scalar(std::string("12")), ua::kBadTypeMismatch},
        {"Line1.Mode", ua::Variant::Scalar(true), ua::kBadTypeMismatch},
        {"Line1.Mode", ua::Variant{}, ua::kBadTypeMismatch},
        {"Line1.Pumps.Speed", ua::Variant::Scalar(1e300),
         ua::kGood},  // a double; WriteTag ranges it
        {"Line1.Pumps.Running", ua::Variant::Scalar(true), ua::kBadNotWritable},
        {"Line1.Gone", ua::Variant::Scalar(1.0), ua::kBadNodeIdUnknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(writer.WriteTagValue(Plant(c.id), c.value), c.expected) << c.id;
    ASSERT_EQ(f.io.written.size(), 3u);
    EXPECT_EQ(f.io.written[0].second, Variant::Int32(-5));
    EXPECT_EQ(f.io.written[1].second, Variant::Int32(4));
    EXPECT_EQ(f.io.written[2].second, Variant::Double(1e300));
    f.io.writeResult = E_FAIL;
    EXPECT_EQ(writer.WriteTagValue(Plant("Line1.Mode"), ua::Variant::Scalar(1.0)),
              ua::kBadCommunicationError);
    f.io.writeResult = OPC_E_RANGE;
    EXPECT_EQ(writer.WriteTagValue(Plant("Line1.Mode"), ua::Variant::Scalar(1.0)),
              ua::kBadOutOfRange);
    f.io.writeResult = OPC_E_BADRIGHTS;
    EXPECT_EQ(writer.WriteTagValue(Plant("Line1.Mode"), ua::Variant::Scalar(1.0)),
              ua::kBadNotWritable);
}

}  // namespace
}  // namespace velk
