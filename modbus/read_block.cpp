#include "modbus/read_block.h"

#include <algorithm>

#include "modbus/modbus_requests.h"
#include "model/o_device_params.h"
#include "model/o_modbus_tag.h"

namespace velk {
namespace {

std::uint32_t GapLimit(std::int32_t kind, std::int16_t deviceType) {
    if (deviceType == kDeviceTypeTessera) return kTesseraGap;
    return IsBitKind(kind) ? kBitGap : kRegisterGap;
}

// The bits or registers a block may reach from its start, one more than it may read.
std::uint32_t CountLimit(std::int32_t kind, const BlockLimits& limits) {
    return (IsBitKind(kind) ? limits.maxBits : limits.maxRegisters) + 1;
}

bool IsReadable(const OModbusTag& tag) { return (tag.accessRights & kAccessReadable) != 0; }

// remaining: the tags of the list from this one on, which the block may take at most.
ReadBlock OpenBlock(OModbusTag* tag, std::size_t remaining, const BlockLimits& limits) {
    ReadBlock block;
    block.tags.reserve(std::min<std::size_t>(remaining, CountLimit(tag->locationKind, limits)));
    block.kind = tag->locationKind;
    block.start = tag->address;
    block.count = TagSpan(*tag);
    block.tags.push_back(tag);
    return block;
}

// Whether the tag continues the block whose last tag is previous.
bool Joins(const ReadBlock& block, const OModbusTag& previous, const OModbusTag& tag,
           const BlockLimits& limits) {
    if (tag.locationKind != block.kind) return false;
    if (tag.address < previous.address || tag.address < block.start) return false;
    if (limits.maxGap >= 0) {
        // The unused bits or registers between what the block covers and the tag.
        const std::uint32_t blockEnd = std::uint32_t{block.start} + block.count;
        if (tag.address > blockEnd &&
            std::uint32_t{tag.address} - blockEnd > static_cast<std::uint32_t>(limits.maxGap))
            return false;
    } else if (std::uint32_t{tag.address} - previous.address >=
               GapLimit(block.kind, limits.deviceType)) {
        return false;
    }
    const std::uint32_t end = std::uint32_t{tag.address} + TagSpan(tag) - block.start;
    return end < CountLimit(block.kind, limits);
}

}  // namespace

std::uint32_t TagSpan(const OModbusTag& tag) {
    const std::uint32_t span =
        tag.dataType == VT_BSTR ? (std::uint32_t{tag.size} + 1) / 2 : std::uint32_t{tag.size};
    return std::max<std::uint32_t>(span, 1);
}

bool IsBlockReadKind(std::int32_t kind) {
    return kind == kInputStatus || kind == kOutputCoil || kind == kInputRegister ||
           kind == kHoldingRegister;
}

BlockLimits BlockLimitsOf(const ODeviceParams& params) {
    BlockLimits limits;
    limits.deviceType = params.deviceType;
    if (params.maxReadRegisters >= 1 && params.maxReadRegisters <= kMaxReadRegisters)
        limits.maxRegisters = static_cast<std::uint32_t>(params.maxReadRegisters);
    if (params.maxReadBits >= 1 && params.maxReadBits <= kMaxReadBits)
        limits.maxBits = static_cast<std::uint32_t>(params.maxReadBits);
    limits.maxGap = params.maxBlockGap >= 0 ? params.maxBlockGap : -1;
    return limits;
}

std::vector<ReadBlock> PlanReadBlocks(const TagList& tags, const BlockLimits& limits) {
    std::vector<ReadBlock> blocks;
    const OModbusTag* previous = nullptr;
    std::size_t remaining = tags.size();
    for (OModbusTag* tag : tags) {
        --remaining;
        if (!IsBlockReadKind(tag->locationKind) || !IsReadable(*tag)) continue;
        if (previous && Joins(blocks.back(), *previous, *tag, limits)) {
            ReadBlock& block = blocks.back();
            block.count =
                std::max(block.count, std::uint32_t{tag->address} + TagSpan(*tag) - block.start);
            block.tags.push_back(tag);
        } else {
            blocks.push_back(OpenBlock(tag, remaining + 1, limits));
        }
        previous = tag;
    }
    return blocks;
}

}  // namespace velk
