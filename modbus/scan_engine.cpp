#include "modbus/scan_engine.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "modbus/device_exchange.h"
#include "modbus/modbus_requests.h"
#include "modbus/read_block.h"
#include "modbus/tag_value_decoder.h"
#include "modbus/write_requests.h"
#include "model/b_event.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "platform/clock.h"

namespace velk {
namespace {

ReadArea AreaOf(std::int32_t kind) {
    switch (kind) {
        case kInputStatus:
            return ReadArea::kInputStatus;
        case kOutputCoil:
            return ReadArea::kOutputCoil;
        case kInputRegister:
            return ReadArea::kInputRegister;
        default:
            return ReadArea::kHoldingRegister;
    }
}

// Most bits or registers one request of a block carries. Blocks of several tags stay
// within these by their limits; a single tag larger than that (a long STRING) is read in
// parts. A device with a smaller register limit gets its bit reads of one tag within it too.
std::uint32_t PartLimit(std::int32_t kind, const BlockLimits& limits) {
    if (!IsBitKind(kind)) return limits.maxRegisters;
    return limits.maxBits == kBitBlockLimit - 1 ? kMaxReadBits : limits.maxBits;
}

// Whether the block as planned still holds the tag's bits or registers: same location kind,
// its whole span inside the block, and still readable.
bool StillCoveredBy(const OModbusTag& tag, const ReadBlock& block) {
    if (tag.locationKind != block.kind || (tag.accessRights & kAccessReadable) == 0) return false;
    if (tag.address < block.start) return false;
    return std::uint32_t{tag.address} - block.start + TagSpan(tag) <= block.count;
}

}  // namespace

ScanEngine::ScanEngine(IDeviceExchange& exchange, IEventPoster& poster, IClock& clock,
                       TagSimulator::RandomSource random)
    : exchange_(exchange),
      poster_(poster),
      clock_(clock),
      simulator_(clock, std::move(random)),
      shared_(clock) {}

bool ScanEngine::ExchangeValid(ODevice& device, OMessage& request) {
    exchange_.Exchange(device, request);
    return request.IsValid();
}

void ScanEngine::ReadTags(ODevice& device, const TagList& tags,
                          std::optional<std::uint32_t> periodStartTick) {
    if (device.simulationEnabled) {
        SimulateTags(device, tags);
        return;
    }
    const SharedBlockReads::Reader reader = shared_.Begin(periodStartTick);
    std::vector<ReadBlock> blocks;
    {
        std::lock_guard<std::recursive_mutex> lock(device.Locks().tagData);
        blocks = PlanReadBlocks(tags, BlockLimitsOf(device.params));
        if (!backoff_.Admit(device)) {
            // Backed off: this cycle is not sent, and its tags fail as the cycles before.
            for (const ReadBlock& block : blocks)
                for (OModbusTag* tag : block.tags) tag->quality = kQualityCommFailure;
            return;
        }
    }
    const bool wordSwap = device.params.wordSwap != 0;
    for (const ReadBlock& block : blocks) ReadBlockOf(device, reader, block, wordSwap);
}

BlockPart ScanEngine::ExchangePart(ODevice& device, std::int32_t kind, std::uint32_t start,
                                   std::uint32_t count, SharedBlockReads::OnWire onWire) {
    BlockPart part;
    std::unique_ptr<OMessage> request =
        start > 0xFFFF ? nullptr
                       : BuildReadRequest(exchange_.Framing(device), device.params.slaveAddress,
                                          AreaOf(kind), static_cast<std::uint16_t>(start),
                                          static_cast<std::uint16_t>(count));
    if (request) request->SetOnWire(std::move(onWire));
    part.valid = request && ExchangeValid(device, *request);
    part.answered = request && request->Length() > 0;
    // What was on the wire counts for the back-off; a request that cannot be formed does not.
    if (request) backoff_.Record(device, part.answered);
    if (!part.valid) return part;
    const bool bits = IsBitKind(kind);
    part.data.reserve(count);
    for (std::uint32_t n = 0; n < count; ++n)
        part.data.push_back(bits ? request->GetBit(n) : request->GetWord(n));
    part.answerTime = request->AnswerTime();
    return part;
}

void ScanEngine::ReadBlockOf(ODevice& device, const SharedBlockReads::Reader& reader,
                             const ReadBlock& block, bool wordSwap) {
    const ScanReadOverlap::Scope read(overlap_, device);
    const FileTime startedAt = clock_.NowUtc();
    std::vector<std::uint16_t> data;
    FileTime answerTime = 0;
    bool valid = true;
    bool taken = true;  // every part from another reader's exchange
    const std::uint32_t partLimit = PartLimit(block.kind, BlockLimitsOf(device.params));
    for (std::uint32_t first = 0; valid && first < block.count; first += partLimit) {
        const std::uint32_t count = std::min(partLimit, block.count - first);
        const std::uint32_t start = std::uint32_t{block.start} + first;
        SharedBlockReads::Result got = shared_.Read(
            device, reader, block.kind, start, count, [&](SharedBlockReads::OnWire onWire) {
                return ExchangePart(device, block.kind, start, count, std::move(onWire));
            });
        valid = got.part.valid;
        taken = taken && got.taken;
        // The supervision counts a failure once per reader, as when each sent its own; an
        // exception answer is no failure of the channel.
        if (!valid && got.taken && !got.part.answered) exchange_.ReportTakenFailure(device);
        data.insert(data.end(), got.part.data.begin(), got.part.data.end());
        answerTime = got.part.answerTime;
    }

    std::lock_guard<std::recursive_mutex> lock(device.Locks().tagData);
    const bool overlapped = read.Overlapped();
    for (OModbusTag* tag : block.tags) {
        // The tag was redefined while its block was on the wire (the tag sheet applied):
        // the answer holds another location or too few registers for its new type, so it
        // is left to the next read, planned from its new definition.
        if (!StillCoveredBy(*tag, block)) continue;
        if (!valid) {
            // Another read of this device stored an answer that came after this read began:
            // a failure seen before that answer does not make it bad.
            if (!(overlapped && tag->quality == kQualityGood && tag->timestamp >= startedAt))
                tag->quality = kQualityCommFailure;
            continue;
        }
        // Another read of this device stored a later answer while this one waited.
        if (overlapped && tag->timestamp > answerTime) continue;
        // The reader that sent the request has stored this very answer: storing it again
        // would change nothing and evaluate the alarm to no change, under the process-wide
        // lock, once per reader.
        if (taken && tag->quality == kQualityGood && tag->timestamp == answerTime) continue;
        tag->SetValue(DecodeTagValue(*tag, data, tag->address - block.start, wordSwap));
        tag->timestamp = answerTime;
        tag->quality = kQualityGood;
        if (tag->alarm && tag->alarm->IsEnabled()) tag->alarm->Evaluate(*tag, poster_);
    }
}

std::mutex& ScanEngine::RegisterWriteLock(const ODevice& device) {
    std::lock_guard<std::mutex> lock(registerWriteLocksGuard_);
    std::unique_ptr<std::mutex>& slot = registerWriteLocks_[&device];
    if (!slot) slot = std::make_unique<std::mutex>();
    return *slot;
}

bool ScanEngine::WriteRegisterBit(ODevice& device, std::uint16_t address, std::int16_t bit,
                                  bool set) {
    const MessageFraming framing = exchange_.Framing(device);
    const std::uint8_t slave = device.params.slaveAddress;
    // The register is read and written back whole: two bit writes of this server to one
    // register never interleave, and no other write of the device comes between.
    std::lock_guard<std::mutex> sequence(RegisterWriteLock(device));
    const auto mask = static_cast<std::uint16_t>(1u << bit);
    if (device.params.maskWrite != 0) {
        // The controller changes the one bit itself.
        std::unique_ptr<OMessage> masked = BuildMaskWriteRegisterRequest(
            framing, slave, address, static_cast<std::uint16_t>(~mask), set ? mask : 0);
        return masked && ExchangeValid(device, *masked);
    }
    std::unique_ptr<OMessage> read =
        BuildReadRequest(framing, slave, ReadArea::kHoldingRegister, address, 1);
    if (!read || !ExchangeValid(device, *read)) return false;
    const std::uint16_t old = read->GetWord(0);
    const auto word = static_cast<std::uint16_t>(set ? old | mask : old & ~mask);
    // A device that takes function code 16 only gets the write back with it too.
    std::unique_ptr<OMessage> write =
        device.params.forceMultipleRegisterWrite != 0
            ? BuildWriteRegistersRequest(framing, slave, address, {&word, 1})
            : BuildWriteRegisterRequest(framing, slave, address, word);
    return write && ExchangeValid(device, *write);
}

HRESULT ScanEngine::WriteTag(ODevice& device, OModbusTag& tag, const Variant& value) {
    Variant copy = value;
    std::vector<std::unique_ptr<OMessage>> requests;
    HRESULT built = S_OK;
    std::optional<std::uint16_t> bitAddress;
    std::int16_t bitNumber = kNoRegisterBit;
    {
        // The tag's definition and its scaling object are read under TagDataLock: the tag
        // sheet changes them, and replaces the object, under it.
        std::lock_guard<std::recursive_mutex> lock(device.Locks().tagData);
        if ((tag.accessRights & kAccessWritable) == 0 || !IsWritableKind(tag.locationKind))
            return kTagNotWritable;
        if (tag.scaling && tag.scaling->conversion != 0 && tag.dataType != VT_BSTR) {
            const HRESULT hr = copy.ChangeType(tag.IsBool() ? VT_BOOL : VT_R8);
            if (Failed(hr)) return hr;
            tag.scaling->EngToRaw(copy);
        }
        if (copy.Type() != tag.dataType) {
            const HRESULT hr = copy.ChangeType(tag.dataType);
            if (Failed(hr)) return hr;
        }
        if (tag.IsRegisterBit() && tag.locationKind == kHoldingRegister) {
            bitAddress = tag.address;
            bitNumber = tag.registerBit;
        } else {
            const WriteFunctions functions{device.params.forceMultipleRegisterWrite != 0,
                                           device.params.forceMultipleCoilWrite != 0};
            built =
                BuildTagWriteRequests(exchange_.Framing(device), device.params.slaveAddress, tag,
                                      copy, device.params.wordSwap != 0, requests, functions);
        }
    }
    // A number that its registers cannot hold is refused before anything is stored.
    if (Failed(built) && built != E_FAIL) return built;
    // Reads of the device that come after the write take no answer sent before it.
    const SharedBlockReads::WriteScope writing(shared_, device);
    {
        std::lock_guard<std::recursive_mutex> lock(device.Locks().tagData);
        tag.SetValue(copy);
        tag.timestamp = clock_.NowUtc();
        tag.quality = kQualityGood;
    }
    if (device.simulationEnabled) return S_OK;

    bool confirmed = Succeeded(built);
    if (bitAddress) {
        confirmed = WriteRegisterBit(device, *bitAddress, bitNumber, copy.AsBool());
    } else {
        // Whole-register writes wait for a bit write in progress, so that its read and its
        // write back see no other value of the register in between.
        std::lock_guard<std::mutex> sequence(RegisterWriteLock(device));
        for (auto& request : requests) {
            if (!confirmed) break;
            confirmed = ExchangeValid(device, *request);
        }
    }
    if (confirmed) {
        std::lock_guard<std::recursive_mutex> lock(device.Locks().tagData);
        tag.quality = kQualityGood;
        return S_OK;
    }
    std::lock_guard<std::recursive_mutex> lock(device.Locks().tagData);
    tag.quality = kQualityBad;
    return E_FAIL;
}

void ScanEngine::SimulateTags(ODevice& device, const TagList& tags) {
    std::lock_guard<std::recursive_mutex> lock(device.Locks().tagData);
    for (OModbusTag* tag : tags) simulator_.Simulate(*tag, poster_);
}

std::function<void(ODevice&, TagList&)> ScanEngine::ReadTagsCallback() {
    return [this](ODevice& device, TagList& tags) { ReadTags(device, tags); };
}

}  // namespace velk
