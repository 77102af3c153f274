#pragma once
// Where the time of the groups' update cycles goes, for benchmarks and field diagnosis: per
// update rate and phase (the block requests of the scan engine under rate 0), a histogram of
// durations in whole milliseconds and their sum. Off unless the application installs one; then the
// update threads record into it and it rewrites its file about once a second. Off, a cycle pays one
// pointer test per phase.
//
// The file holds one line per non-empty bucket, cumulative since start:
//   <rate ms> <phase> <bucket ms> <count> <sum us>
// so that a reader takes two snapshots and subtracts them for an interval.
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace velk {

class CycleStatistics {
  public:
    enum class Phase : std::size_t {
        StartLate,     // from the period's grid point to the cycle's start
        Reads,         // from the first device read launched to the last ended (or given up)
        DeviceQueued,  // one device read, from its launch to its start on the device's reader
        DeviceRead,    // one device read, from its start to its end
        ItemLockWait,  // the update thread's wait for the group's item lock after the reads
        TagDataWait,   // its wait for TagDataLock before comparing the items
        TagDataHeld,   // TagDataLock held while comparing the items
        Send,          // the data-change sender, sink calls included
        Cycle,         // the whole cycle, from its start to its end
        Overrun,       // by how much a cycle that ended past its period's end ran over it
        // One block request of any reader (recorded under rate 0):
        ChannelWait,  // from its start to going on the wire: the channel's lock, a connect
        OnWire,       // from going on the wire to its end: the controller's answer
        JoinWait,     // a reader that took another reader's request, waiting for its end
        Count
    };
    static constexpr std::size_t kPhases = static_cast<std::size_t>(Phase::Count);
    static constexpr std::size_t kBuckets = 2048;  // the last bucket holds everything longer
    // The update rates kept apart; other rates (and rate 0) share the last row.
    static constexpr std::array<std::uint32_t, 4> kRates{100, 250, 500, 1000};

    explicit CycleStatistics(std::string path) : path_(std::move(path)) {}

    static const char* PhaseName(Phase phase);

    // The statistics that the update threads record into; null when off.
    static CycleStatistics* Active() { return active_.load(std::memory_order_acquire); }
    // Installs (or, with null, removes) the process's statistics; the owner keeps it alive
    // until it has removed it and no group runs.
    static void Install(CycleStatistics* statistics) {
        active_.store(statistics, std::memory_order_release);
    }

    void Record(std::uint32_t rate, Phase phase, std::chrono::microseconds duration);
    // Rewrites the file when a second has passed since it was last written; a thread that
    // finds another one writing goes on without waiting. `now` is the caller's steady time.
    void WriteIfDue(std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
    // The lines of the file as they stand now.
    std::string Text() const;

  private:
    struct Bucket {
        std::atomic<std::uint64_t> count{0};
        std::atomic<std::uint64_t> sumUs{0};
    };
    static std::size_t RowOf(std::uint32_t rate);

    static inline std::atomic<CycleStatistics*> active_{nullptr};
    std::string path_;
    std::array<std::array<std::array<Bucket, kBuckets>, kPhases>, kRates.size() + 1> buckets_{};
    std::mutex writing_;
    std::chrono::steady_clock::time_point lastWrite_{};
};

// Times one phase into the active statistics; does nothing when they are off.
class CyclePhaseTimer {
  public:
    CyclePhaseTimer(std::uint32_t rate, CycleStatistics::Phase phase)
        : statistics_(CycleStatistics::Active()), rate_(rate), phase_(phase) {
        if (statistics_) start_ = std::chrono::steady_clock::now();
    }
    ~CyclePhaseTimer() { Stop(); }
    CyclePhaseTimer(const CyclePhaseTimer&) = delete;
    CyclePhaseTimer& operator=(const CyclePhaseTimer&) = delete;

    void Stop() {
        if (!statistics_) return;
        statistics_->Record(rate_, phase_,
                            std::chrono::duration_cast<std::chrono::microseconds>(
                                std::chrono::steady_clock::now() - start_));
        statistics_ = nullptr;
    }

  private:
    CycleStatistics* statistics_;
    std::uint32_t rate_;
    CycleStatistics::Phase phase_;
    std::chrono::steady_clock::time_point start_{};
};

}  // namespace velk
