#include "modbus/shared_block_reads.h"

#include <iterator>

#include "core/cycle_statistics.h"
#include "modbus/active_channel.h"

namespace velk {

namespace {

// Tick counts wrap; a difference below half the range is "at or after".
bool AtOrAfter(std::uint32_t tick, std::uint32_t floor) {
    return static_cast<std::int32_t>(tick - floor) >= 0;
}

}  // namespace

SharedBlockReads::Reader SharedBlockReads::Begin(std::optional<std::uint32_t> periodStartTick) {
    Reader reader(periodStartTick);
    std::lock_guard lock(lock_);
    reader.calledAfter_ = issued_;
    return reader;
}

bool SharedBlockReads::Takes(const Entry& entry, const Device& state, const Reader& reader,
                             std::int32_t kind, std::uint32_t start, std::uint32_t count,
                             std::int32_t channel) const {
    if (entry.kind != kind || entry.start > start ||
        std::uint64_t{start} + count > std::uint64_t{entry.start} + entry.count)
        return false;
    if (entry.writeGeneration != state.writeGeneration || entry.channel != channel) return false;
    // Still waiting for the channel: it goes on the wire after this reader's floor.
    if (!entry.issued) return true;
    if (clock_.TickCount() - entry.issueTick > kRetainMs) return false;
    if (entry.sequence > reader.calledAfter_) return true;
    return reader.periodStart_ && AtOrAfter(entry.issueTick, *reader.periodStart_);
}

void SharedBlockReads::Forget(Device& state, const Entry& fresh, std::uint32_t now) {
    std::erase_if(state.entries, [&](const std::shared_ptr<Entry>& old) {
        if (!old->done) return false;
        const bool covered =
            old->kind == fresh.kind && old->start >= fresh.start &&
            std::uint64_t{old->start} + old->count <= std::uint64_t{fresh.start} + fresh.count;
        return covered || old->writeGeneration != state.writeGeneration ||
               now - old->issueTick > kRetainMs;
    });
}

void SharedBlockReads::SweepExpired(std::uint32_t now) {
    for (auto it = devices_.begin(); it != devices_.end();) {
        std::erase_if(it->second.entries, [&](const std::shared_ptr<Entry>& old) {
            return old->done && now - old->issueTick > kRetainMs;
        });
        // A device that nobody reads any more (removed with its configuration) is forgotten;
        // its write count goes with it, as no answer of it is kept.
        it = it->second.entries.empty() ? devices_.erase(it) : std::next(it);
    }
}

BlockPart SharedBlockReads::Slice(const Entry& entry, std::uint32_t start, std::uint32_t count) {
    BlockPart part;
    part.valid = entry.part.valid;
    part.answered = entry.part.answered;
    part.answerTime = entry.part.answerTime;
    if (part.valid) {
        const auto first = entry.part.data.begin() + (start - entry.start);
        part.data.assign(first, first + count);
    }
    return part;
}

void SharedBlockReads::Issue(Entry& entry) {
    if (entry.issued) return;
    entry.issued = true;
    entry.sequence = ++issued_;
    entry.issueTick = clock_.TickCount();
    if (entry.sequence % kSweepEvery == 0) SweepExpired(entry.issueTick);
}

void SharedBlockReads::Finish(Entry& entry, BlockPart part) {
    std::lock_guard lock(lock_);
    Issue(entry);
    entry.part = std::move(part);
    entry.done = true;
    entry.finished.notify_all();
}

SharedBlockReads::Result SharedBlockReads::Read(const ODevice& device, const Reader& reader,
                                                std::int32_t kind, std::uint32_t start,
                                                std::uint32_t count, const Exchange& exchange) {
    const std::int32_t channel = ActiveChannelOf(device);
    std::shared_ptr<Entry> own;
    {
        std::unique_lock lock(lock_);
        Device& state = devices_[&device];
        for (auto it = state.entries.rbegin(); it != state.entries.rend(); ++it) {
            if (!Takes(**it, state, reader, kind, start, count, channel)) continue;
            const std::shared_ptr<Entry> shared = *it;
            CyclePhaseTimer joined(0, CycleStatistics::Phase::JoinWait);
            shared->finished.wait(lock, [&] { return shared->done; });
            joined.Stop();
            ++taken_;
            return {Slice(*shared, start, count), true};
        }
        own = std::make_shared<Entry>();
        own->kind = kind;
        own->start = start;
        own->count = count;
        own->writeGeneration = state.writeGeneration;
        own->channel = channel;
        Forget(state, *own, clock_.TickCount());
        state.entries.push_back(own);
    }
    BlockPart part;
    CyclePhaseTimer toWire(0, CycleStatistics::Phase::ChannelWait);
    std::optional<CyclePhaseTimer> onWire;
    try {
        part = exchange([&, entry = own.get()] {
            toWire.Stop();
            onWire.emplace(0, CycleStatistics::Phase::OnWire);
            std::lock_guard lock(lock_);
            Issue(*entry);
        });
        onWire.reset();
    } catch (...) {
        // Readers waiting on this exchange see it fail rather than wait for ever.
        Finish(*own, BlockPart{});
        throw;
    }
    Finish(*own, part);
    return {std::move(part), false};
}

void SharedBlockReads::BumpWriteGeneration(const ODevice& device) {
    std::lock_guard lock(lock_);
    ++devices_[&device].writeGeneration;
}

SharedBlockReads::WriteScope::WriteScope(SharedBlockReads& owner, const ODevice& device)
    : owner_(owner), device_(device) {
    owner_.BumpWriteGeneration(device_);
}

SharedBlockReads::WriteScope::~WriteScope() { owner_.BumpWriteGeneration(device_); }

std::uint64_t SharedBlockReads::ExchangesSent() const {
    std::lock_guard lock(lock_);
    return issued_;
}

std::uint64_t SharedBlockReads::AnswersTaken() const {
    std::lock_guard lock(lock_);
    return taken_;
}

}  // namespace velk
