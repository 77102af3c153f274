#pragma once
// One exchange for every reader of the same block. Group updates, device reads, the event
// scan's alarm list and the live monitor read a device's blocks on their own schedules; when
// several of them want the same block at the same time, the first one's request goes on the
// wire and the others take its answer (or its failure) instead of sending their own.
//
// Freshness: a reader takes an answer only when its request was issued no earlier than the
// reader's floor. A periodic reader (a group's update) gives the tick count at which its
// current update period started; any other reader's floor is its own call, so it takes only
// requests issued after it was called. A request is issued when the channel puts it on the
// wire, not when it is built: one that still waits for the channel (behind another reader's
// exchange of the device) goes out after anyone who finds it waiting, so every reader may join
// it. A request that never reaches the wire (no connection) is dated by its failure.
//
// Writes: a write to a device, from its start to its end, makes every answer of that device
// issued before it unusable for readers that come after it, so a written value is never
// hidden behind an older shared answer.
//
// Channel switch: an answer is taken only while the device's active channel is the one it was
// issued on.
//
// Waiting: a reader that joins an exchange in flight waits for that exchange alone. Its own
// request would have queued behind it on the same channel lock, so the reader waits no longer
// than it would have for its own exchange. Nothing here is held while a reader waits but the
// entry it waits on; callers hold no TagDataLock and no item lock while they read.
//
// Retention: only the newest answer of each block is kept, and no answer longer than
// kRetainMs, so what is kept grows with the number of blocks, not with the number of reads.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/clock.h"

namespace velk {

class ODevice;

// What one read request brought: the bits (one per element) or registers from the request's
// start, and the answer's time. Not valid when the exchange failed; answered when an answer
// came all the same (an exception answer), which the channel does not count as a failure.
struct BlockPart {
    bool valid = false;
    bool answered = false;
    std::vector<std::uint16_t> data;
    FileTime answerTime = 0;
};

class SharedBlockReads {
  public:
    static constexpr std::uint32_t kRetainMs = 10'000;
    // Every this many requests the answers of devices no longer read are dropped.
    static constexpr std::uint64_t kSweepEvery = 4096;

    explicit SharedBlockReads(IClock& clock) : clock_(clock) {}

    // One reader's call: its floor, fixed when the call begins.
    class Reader {
      public:
        // A periodic reader whose current update period began at this tick count.
        static Reader InPeriod(std::uint32_t periodStartTick) { return Reader{periodStartTick}; }

      private:
        friend class SharedBlockReads;
        explicit Reader(std::optional<std::uint32_t> periodStart) : periodStart_(periodStart) {}
        std::optional<std::uint32_t> periodStart_;
        std::uint64_t calledAfter_ = 0;  // requests issued up to this one are older than the call
    };

    // The floor of a reader called now: a periodic reader's period start, or the call itself.
    Reader Begin(std::optional<std::uint32_t> periodStartTick = std::nullopt);

    struct Result {
        BlockPart part;
        bool taken = false;  // the answer of another reader's exchange
    };

    // The exchange of one reader's own request; it calls onWire the moment the request goes
    // on the wire (OMessage::SetOnWire).
    using OnWire = std::function<void()>;
    using Exchange = std::function<BlockPart(OnWire onWire)>;

    // The bits or registers [start, start + count) of one location kind of the device: from an
    // exchange waiting for the channel, in flight or just finished that covers them and that
    // the reader may take, else from exchange(), which sends the reader's own request (and
    // which other readers may then take).
    Result Read(const ODevice& device, const Reader& reader, std::int32_t kind, std::uint32_t start,
                std::uint32_t count, const Exchange& exchange);

    // A write to the device: answers issued before it are not taken after it. Held around the
    // write's store and exchange.
    class WriteScope {
      public:
        WriteScope(SharedBlockReads& owner, const ODevice& device);
        ~WriteScope();
        WriteScope(const WriteScope&) = delete;
        WriteScope& operator=(const WriteScope&) = delete;

      private:
        SharedBlockReads& owner_;
        const ODevice& device_;
    };

    // Exchanges sent and answers taken, over the engine's life; for benchmarks and diagnostics.
    std::uint64_t ExchangesSent() const;
    std::uint64_t AnswersTaken() const;

  private:
    struct Entry {
        std::int32_t kind = 0;
        std::uint32_t start = 0;
        std::uint32_t count = 0;
        bool issued = false;         // on the wire, or failed before it got there
        std::uint64_t sequence = 0;  // issue order over all devices
        std::uint32_t issueTick = 0;
        std::uint64_t writeGeneration = 0;
        std::int32_t channel = 0;
        bool done = false;
        BlockPart part;
        std::condition_variable finished;
    };
    struct Device {
        std::uint64_t writeGeneration = 0;
        std::vector<std::shared_ptr<Entry>> entries;  // newest last
    };

    bool Takes(const Entry& entry, const Device& state, const Reader& reader, std::int32_t kind,
               std::uint32_t start, std::uint32_t count, std::int32_t channel) const;
    void Forget(Device& state, const Entry& fresh, std::uint32_t now);
    // Drops the expired answers of every device, and the devices left without any.
    void SweepExpired(std::uint32_t now);
    static BlockPart Slice(const Entry& entry, std::uint32_t start, std::uint32_t count);
    // Dates the entry's request now, once (under lock_).
    void Issue(Entry& entry);
    // Hands the exchange's outcome to the readers that wait on the entry.
    void Finish(Entry& entry, BlockPart part);
    void BumpWriteGeneration(const ODevice& device);

    IClock& clock_;
    mutable std::mutex lock_;
    std::map<const ODevice*, Device> devices_;
    std::uint64_t issued_ = 0;
    std::uint64_t taken_ = 0;
};

}  // namespace velk
