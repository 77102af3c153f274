#include "core/cycle_statistics.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velk {

const char* CycleStatistics::PhaseName(Phase phase) {
    switch (phase) {
        case Phase::StartLate:
            return "start_late";
        case Phase::Reads:
            return "reads";
        case Phase::DeviceQueued:
            return "device_queued";
        case Phase::DeviceRead:
            return "device_read";
        case Phase::ItemLockWait:
            return "item_lock_wait";
        case Phase::TagDataWait:
            return "tag_data_wait";
        case Phase::TagDataHeld:
            return "tag_data_held";
        case Phase::Send:
            return "send";
        case Phase::Cycle:
            return "cycle";
        case Phase::Overrun:
            return "overrun";
        case Phase::ChannelWait:
            return "channel_wait";
        case Phase::OnWire:
            return "on_wire";
        case Phase::JoinWait:
            return "join_wait";
        case Phase::Count:
            break;
    }
    return "?";
}

std::size_t CycleStatistics::RowOf(std::uint32_t rate) {
    const auto it = std::find(kRates.begin(), kRates.end(), rate);
    return static_cast<std::size_t>(it - kRates.begin());
}

void CycleStatistics::Record(std::uint32_t rate, Phase phase, std::chrono::microseconds duration) {
    const auto us = static_cast<std::uint64_t>(std::max<std::int64_t>(0, duration.count()));
    const std::size_t bucket = std::min<std::uint64_t>(us / 1000, kBuckets - 1);
    Bucket& b = buckets_[RowOf(rate)][static_cast<std::size_t>(phase)][bucket];
    b.count.fetch_add(1, std::memory_order_relaxed);
    b.sumUs.fetch_add(us, std::memory_order_relaxed);
}

std::string CycleStatistics::Text() const {
    std::ostringstream out;
    for (std::size_t row = 0; row < buckets_.size(); ++row) {
        const std::uint32_t rate = row < kRates.size() ? kRates[row] : 0;
        for (std::size_t phase = 0; phase < kPhases; ++phase) {
            for (std::size_t ms = 0; ms < kBuckets; ++ms) {
                const Bucket& b = buckets_[row][phase][ms];
                const std::uint64_t count = b.count.load(std::memory_order_relaxed);
                if (count == 0) continue;
                out << rate << ' ' << PhaseName(static_cast<Phase>(phase)) << ' ' << ms << ' '
                    << count << ' ' << b.sumUs.load(std::memory_order_relaxed) << '\n';
            }
        }
    }
    return out.str();
}

void CycleStatistics::WriteIfDue(std::chrono::steady_clock::time_point now) {
    std::unique_lock lock(writing_, std::try_to_lock);
    if (!lock.owns_lock()) return;
    if (now - lastWrite_ < std::chrono::seconds(1)) return;
    lastWrite_ = now;
    // Written aside and renamed, so that a reader never sees half a file.
    const std::string aside = path_ + ".new";
    {
        std::ofstream out(aside, std::ios::trunc);
        out << Text();
        if (!out) return;
    }
    std::error_code ignored;
    std::filesystem::rename(aside, path_, ignored);
}

}  // namespace velk
