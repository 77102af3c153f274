#include "sparkplug/spool.h"

#include <gtest/gtest.h>

#include "tests/modbus/route_trace_capture.h"
#include "tests/sparkplug/sparkplug_test_support.h"

namespace velk::sparkplug {
namespace {

using testing::MemoryFileSystem;
using testing::MemoryReader;

std::string Record(int n) { return "record " + std::to_string(n) + std::string(100, '.'); }

std::vector<std::string> ReplayAll(Spool& spool) {
    std::vector<std::string> records;
    spool.Replay([&](std::string_view record) {
        records.emplace_back(record);
        return true;
    });
    return records;
}

class SpoolTest : public ::testing::Test {
  protected:
    std::string OnlySegment() {
        const auto names = files.ListDirectory("/store");
        EXPECT_EQ(names.size(), 1u);
        return names.empty() ? std::string() : "/store/" + names.front();
    }

    MemoryFileSystem files;
    MemoryReader reader{files};
    testing::RouteTraceCapture trace;
};

TEST_F(SpoolTest, RecordsComeBackInOrderAcrossSegmentsAndRestarts) {
    const std::uint64_t limit = 1u << 20;  // segments of 128 KiB
    {
        Spool spool(files, reader, "/store", limit);
        spool.Open();
        for (int n = 0; n < 3000; ++n) ASSERT_TRUE(spool.Append(Record(n)));
        EXPECT_TRUE(spool.Sync());
        EXPECT_GT(files.ListDirectory("/store").size(), 2u);
    }
    // A restarted server takes up what the last one left, and adds to it.
    Spool spool(files, reader, "/store", limit);
    spool.Open();
    ASSERT_TRUE(spool.Append(Record(3000)));
    const auto records = ReplayAll(spool);
    ASSERT_EQ(records.size(), 3001u);
    for (int n = 0; n <= 3000; ++n) ASSERT_EQ(records[n], Record(n));
    EXPECT_TRUE(spool.Empty());
    EXPECT_EQ(files.FileCount(), 0u);
    EXPECT_TRUE(trace.lines.empty());
}

TEST_F(SpoolTest, AFullSpoolDropsTheOldestWithOneTraceLinePerEpisode) {
    const std::uint64_t limit = 64u << 10;  // segments of 8 KiB, about 75 records each
    Spool spool(files, reader, "/store", limit);
    spool.Open();
    int n = 0;
    for (; n < 2000; ++n) ASSERT_TRUE(spool.Append(Record(n)));
    EXPECT_LE(spool.Bytes(), limit);
    EXPECT_EQ(trace.lines.size(), 1u);
    const auto kept = ReplayAll(spool);
    ASSERT_FALSE(kept.empty());
    EXPECT_GT(kept.size(), 400u);  // at least 7 of the 8 segments
    // What is kept is the newest, without a gap.
    for (std::size_t i = 0; i < kept.size(); ++i) {
        ASSERT_EQ(kept[i], Record(n - static_cast<int>(kept.size()) + static_cast<int>(i)));
    }
    // The replay ended the episode: the next overflow is traced again.
    for (int m = 0; m < 2000; ++m) ASSERT_TRUE(spool.Append(Record(m)));
    EXPECT_EQ(trace.lines.size(), 2u);
    EXPECT_FALSE(spool.Append(std::string(spool.SegmentLimit(), 'x')));  // larger than a segment
}

TEST_F(SpoolTest, ACutOrDamagedTailYieldsTheRecordsBeforeIt) {
    const struct {
        const char* what;
        std::size_t keep;  // bytes of the tail cut off
        bool flip;         // a byte of the last record changed instead
    } cases[] = {
        {"cut in the bytes", 5, false}, {"cut in the header", 112, false}, {"damaged", 0, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem disk;
        MemoryReader diskReader(disk);
        {
            Spool spool(disk, diskReader, "/store", 1u << 20);
            spool.Open();
            for (int n = 0; n < 10; ++n) ASSERT_TRUE(spool.Append(Record(n)));
        }
        const std::string path = "/store/" + disk.ListDirectory("/store").front();
        std::string bytes = disk.Content(path);
        bytes.resize(bytes.size() - c.keep);
        if (c.flip) bytes[bytes.size() - 3] ^= 0x20;
        disk.SetContent(path, bytes);

        Spool spool(disk, diskReader, "/store", 1u << 20);
        spool.Open();
        ASSERT_TRUE(spool.Append(Record(10)));  // after the restart, into a segment of its own
        const auto records = ReplayAll(spool);
        ASSERT_EQ(records.size(), 10u);
        for (int n = 0; n < 9; ++n) EXPECT_EQ(records[n], Record(n));
        EXPECT_EQ(records[9], Record(10));
    }
    EXPECT_EQ(trace.lines.size(), 3u);  // one per damaged file
}

TEST_F(SpoolTest, AReplayThatStopsGoesOnWhereItStoppedWithoutRepeats) {
    Spool spool(files, reader, "/store", 1u << 20);
    spool.Open();
    for (int n = 0; n < 6; ++n) ASSERT_TRUE(spool.Append(Record(n)));
    std::vector<std::string> delivered;
    const auto upTo = [&](std::size_t count) {
        return [&, count](std::string_view record) {
            if (delivered.size() >= count) return false;  // the broker went away
            delivered.emplace_back(record);
            return true;
        };
    };
    EXPECT_EQ(spool.Replay(upTo(2)), 2u);
    ASSERT_TRUE(spool.Append(Record(6)));  // while disconnected again
    EXPECT_EQ(spool.Replay(upTo(4)), 2u);
    EXPECT_FALSE(spool.Empty());
    EXPECT_EQ(spool.Replay(upTo(100)), 3u);
    ASSERT_EQ(delivered.size(), 7u);
    for (int n = 0; n < 7; ++n) EXPECT_EQ(delivered[n], Record(n));
    EXPECT_TRUE(spool.Empty());
}

TEST_F(SpoolTest, WritesReachTheDiskAtSync) {
    Spool spool(files, reader, "/store", 1u << 20);
    spool.Open();
    for (int n = 0; n < 50; ++n) ASSERT_TRUE(spool.Append(Record(n)));
    EXPECT_EQ(files.syncs, 0);
    EXPECT_TRUE(spool.Sync());
    EXPECT_EQ(files.syncs, 1);
    files.failSync = true;
    EXPECT_FALSE(spool.Sync());
}

TEST(Crc32Test, KnownValue) { EXPECT_EQ(Crc32("123456789"), 0xCBF43926u); }

}  // namespace
}  // namespace velk::sparkplug
