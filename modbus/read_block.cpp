#include "modbus/read_block.h"

#include <algorithm>

#include "model/o_modbus_tag.h"

namespace velk {
namespace {

std::uint32_t GapLimit(std::int32_t kind, std::int16_t deviceType) {
    if (deviceType == kDeviceTypeTessera) return kTesseraGap;
    return IsBitKind(kind) ? kBitGap : kRegisterGap;
}

std::uint32_t CountLimit(std::int32_t kind) {
    return IsBitKind(kind) ? kBitBlockLimit : kRegisterBlockLimit;
}

bool IsReadable(const OModbusTag& tag) { return (tag.accessRights & kAccessReadable) != 0; }

// remaining: the tags of the list from this one on, which the block may take at most.
ReadBlock OpenBlock(OModbusTag* tag, std::size_t remaining) {
    ReadBlock block;
    block.tags.reserve(std::min<std::size_t>(remaining, CountLimit(tag->locationKind)));
    block.kind = tag->locationKind;
    block.start = tag->address;
    block.count = TagSpan(*tag);
    block.tags.push_back(tag);
    return block;
}

// Whether the tag continues the block whose last tag is previous.
bool Joins(const ReadBlock& block, const OModbusTag& previous, const OModbusTag& tag,
           std::int16_t deviceType) {
    if (tag.locationKind != block.kind) return false;
    if (tag.address < previous.address || tag.address < block.start) return false;
    if (std::uint32_t{tag.address} - previous.address >= GapLimit(block.kind, deviceType))
        return false;
    const std::uint32_t end = std::uint32_t{tag.address} + TagSpan(tag) - block.start;
    return end < CountLimit(block.kind);
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

std::vector<ReadBlock> PlanReadBlocks(const TagList& tags, std::int16_t deviceType) {
    std::vector<ReadBlock> blocks;
    const OModbusTag* previous = nullptr;
    std::size_t remaining = tags.size();
    for (OModbusTag* tag : tags) {
        --remaining;
        if (!IsBlockReadKind(tag->locationKind) || !IsReadable(*tag)) continue;
        if (previous && Joins(blocks.back(), *previous, *tag, deviceType)) {
            ReadBlock& block = blocks.back();
            block.count =
                std::max(block.count, std::uint32_t{tag->address} + TagSpan(*tag) - block.start);
            block.tags.push_back(tag);
        } else {
            blocks.push_back(OpenBlock(tag, remaining + 1));
        }
        previous = tag;
    }
    return blocks;
}

}  // namespace velk
