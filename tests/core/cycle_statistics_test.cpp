#include "core/cycle_statistics.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/child_process.h"

namespace velk {
namespace {

using namespace std::chrono_literals;
using Phase = CycleStatistics::Phase;

TEST(CycleStatistics, DurationsGoToTheirMillisecondBucketPerRateWithTheirSum) {
    CycleStatistics statistics("unused");
    statistics.Record(250, Phase::Cycle, 400us);
    statistics.Record(250, Phase::Cycle, 3900us);
    statistics.Record(250, Phase::Cycle, 3100us);
    statistics.Record(250, Phase::Cycle, 3s);    // beyond the last bucket: kept in it
    statistics.Record(333, Phase::Reads, 5ms);   // a rate not kept apart
    statistics.Record(0, Phase::OnWire, 2ms);    // the block requests
    statistics.Record(1000, Phase::Send, -1ms);  // a clock step: counted as 0
    EXPECT_EQ(statistics.Text(),
              "250 cycle 0 1 400\n"
              "250 cycle 3 2 7000\n"
              "250 cycle 2047 1 3000000\n"
              "1000 send 0 1 0\n"
              "0 reads 5 1 5000\n"
              "0 on_wire 2 1 2000\n");
}

TEST(CycleStatistics, TimersRecordOnlyWhileStatisticsAreInstalled) {
    CycleStatistics statistics("unused");
    { CyclePhaseTimer off(250, Phase::Send); }
    EXPECT_EQ(statistics.Text(), "");
    CycleStatistics::Install(&statistics);
    {
        CyclePhaseTimer on(250, Phase::Send);
        on.Stop();
    }  // stopped once: one record
    CycleStatistics::Install(nullptr);
    EXPECT_EQ(statistics.Text().rfind("250 send 0 1 ", 0), 0u);
}

TEST(CycleStatistics, TheFileIsRewrittenAtMostOnceASecond) {
    const testing::TempDirectory directory;
    const std::string path = directory.File("cycles.txt");
    CycleStatistics statistics(path);
    const auto start = std::chrono::steady_clock::now();
    statistics.Record(250, Phase::Cycle, 10ms);
    statistics.WriteIfDue(start);
    EXPECT_EQ(testing::ReadFile(path), "250 cycle 10 1 10000\n");
    statistics.Record(250, Phase::Cycle, 10ms);
    statistics.WriteIfDue(start + 999ms);  // within the second: the file stays as it was
    EXPECT_EQ(testing::ReadFile(path), "250 cycle 10 1 10000\n");
    EXPECT_FALSE(std::filesystem::exists(path + ".new"));
}

}  // namespace
}  // namespace velk
