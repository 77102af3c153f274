#pragma once
// Grouping of a device's tags into block reads: consecutive tags of one location kind that
// lie close enough together are read with one request covering all of them.
#include <cstdint>
#include <vector>

#include "model/tag_list.h"

namespace velk {

class OModbusTag;
class ODeviceParams;

struct ReadBlock {
    std::int32_t kind = 0;          // location kind of every tag of the block
    std::uint16_t start = 0;        // address of the first tag
    std::uint32_t count = 0;        // bits or registers covered from start
    std::vector<OModbusTag*> tags;  // the tags read by the block, in list order
};

// Gap limits: a tag this far or farther from the previous tag of the block opens a new one.
inline constexpr std::uint32_t kTesseraGap = 2;
inline constexpr std::uint32_t kBitGap = 100;
inline constexpr std::uint32_t kRegisterGap = 25;
// Count limits: a tag whose end reaches this many bits or registers from the block's start
// opens a new block, so one block reads at most 495 bits or 123 registers.
inline constexpr std::uint32_t kBitBlockLimit = 496;
inline constexpr std::uint32_t kRegisterBlockLimit = 124;
// The device type whose controllers take only gaps below 2.
inline constexpr std::int16_t kDeviceTypeTessera = 2;

// Bits or registers a tag occupies: its size, for STRING half its characters rounded up;
// at least 1, so that a tag with no size set still forms a request.
std::uint32_t TagSpan(const OModbusTag& tag);

// True for the kinds that a block read covers (input status, coils and both register
// kinds); event signals are read by the event scan.
bool IsBlockReadKind(std::int32_t kind);

// What a device lets one block read: the most registers and bits per request and, when set
// (>= 0), the most unused registers or bits between the block's end and the next tag; with
// no gap set the gaps of the device type apply.
struct BlockLimits {
    std::int16_t deviceType = 0;
    std::uint32_t maxRegisters = kRegisterBlockLimit - 1;
    std::uint32_t maxBits = kBitBlockLimit - 1;
    std::int32_t maxGap = -1;
};

// The limits of a device's parameters; values out of their range give the usual limits.
BlockLimits BlockLimitsOf(const ODeviceParams& params);

// Splits a list in location order into block reads. Tags of other kinds than the block read
// kinds and tags without read access are left out. A tag below the block's start (a list out
// of order) opens a new block instead of giving a negative offset. Call under TagDataLock.
std::vector<ReadBlock> PlanReadBlocks(const TagList& tags, const BlockLimits& limits);

}  // namespace velk
