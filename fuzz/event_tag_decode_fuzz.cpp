// Fuzz target of what the acquisition makes of a controller's answer data: the tag value
// decoder (any location, data type, size, offset and word order over any registers) and
// the event records of an event-buffer chunk with their time stamps.
//
// Input: location kind, data type, size, offset (2 bytes), flags, then the answer data,
// read both as registers (high byte first) and as event records of 8 bytes.
#include <time.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "modbus/event_record.h"
#include "modbus/event_scan_thread.h"
#include "modbus/tag_value_decoder.h"
#include "model/o_modbus_tag.h"
#include "platform/linux/system_clock.h"
#include "platform/text.h"

namespace {

using namespace velk;

constexpr std::array<std::uint16_t, 10> kTypes = {VT_I2, VT_UI2,  VT_I4,   VT_UI4, VT_R4,
                                                  VT_R8, VT_BSTR, VT_BOOL, 0,      99};
constexpr std::size_t kHeader = 6;
// 12 h to the nearest of yesterday, today and tomorrow, one more for a change of daylight
// saving time, and the record's milliseconds.
constexpr FileTime kMaxRecordDistance = 13 * 3600 * kFileTimeTicksPerSecond;

// A zone with daylight saving time, so that records fall into its gaps and overlaps.
const bool kZoneSet = [] {
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
    return true;
}();

VarType ExpectedType(const OModbusTag& tag) {
    if (tag.locationKind == kInputStatus || tag.locationKind == kOutputCoil) return VT_BOOL;
    switch (tag.dataType) {
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_R4:
        case VT_R8:
        case VT_BSTR:
        case VT_BOOL:
            return tag.dataType;
        default:
            return VT_UI2;
    }
}

// A 32- or 64-bit value that lies wholly within the data must give back its registers.
void CheckWords(std::uint64_t pattern, std::span<const std::uint16_t> data, std::size_t offset,
                std::size_t count, bool wordSwap) {
    if (offset + count > data.size()) return;
    std::array<std::uint16_t, 4> registers{};
    SplitWords(pattern, std::span(registers).first(count), wordSwap);
    for (std::size_t k = 0; k < count; ++k) {
        if (registers[k] != data[offset + k]) std::abort();
    }
}

void CheckTag(const std::uint8_t* head, std::span<const std::uint16_t> data) {
    OModbusTag tag;
    tag.locationKind = head[0] % 5;
    tag.SetDataType(kTypes[head[1] % kTypes.size()]);
    tag.size = head[2];
    const std::uint32_t offset = ((head[3] << 8) | head[4]) % 300;
    const bool wordSwap = (head[5] & 1) != 0;
    const Variant value = DecodeTagValue(tag, data, offset, wordSwap);
    if (value.Type() != ExpectedType(tag)) std::abort();
    switch (value.Type()) {
        case VT_I4:
            CheckWords(static_cast<std::uint32_t>(value.AsInt32()), data, offset, 2, wordSwap);
            break;
        case VT_UI4:
            CheckWords(value.AsUInt32(), data, offset, 2, wordSwap);
            break;
        case VT_R4:
            CheckWords(std::bit_cast<std::uint32_t>(value.AsFloat()), data, offset, 2, wordSwap);
            break;
        case VT_R8:
            if (tag.size == kDoubleRegisters) {
                CheckWords(std::bit_cast<std::uint64_t>(value.AsDouble()), data, offset, 4,
                           wordSwap);
            }
            break;
        case VT_BSTR: {
            const std::u16string text = Utf8ToUtf16(value.AsText());
            if (text.size() > tag.size || text.find(u'\0') != std::u16string::npos) std::abort();
            break;
        }
        default:
            break;
    }
    // The scan stores the raw value through the tag's scaling.
    tag.SetValue(value);
}

void CheckRecords(std::span<const std::uint8_t> bytes) {
    static SystemClock clock;
    for (std::size_t at = 0; at + kEventRecordBytes <= bytes.size(); at += kEventRecordBytes) {
        const auto record = DecodeEventRecord(bytes.subspan(at));
        if (!record) std::abort();
        const auto encoded = EncodeEventRecord(*record);
        if (bytes[at + 2] <= 1 && bytes[at + 3] < 100 &&
            !std::equal(encoded.begin(), encoded.end(), bytes.begin() + at)) {
            std::abort();
        }
        // The time stamp the tag gets: never further from now than the record's time of day
        // can be on the nearest day.
        const FileTime before = clock.NowUtc();
        const FileTime stamp = EventScanThread::RecordTime(clock, record->hour, record->minute,
                                                           record->second, record->millisecond);
        const FileTime after = clock.NowUtc();
        if (stamp + kMaxRecordDistance < before || stamp > after + kMaxRecordDistance) {
            std::abort();
        }
        // A time of day that does not exist gives the time of reading.
        const bool exists = record->hour < 24 && record->minute < 60 && record->second < 60 &&
                            record->millisecond < 1000;
        if (!exists && (stamp < before || stamp > after)) std::abort();
    }
    // Fewer than 8 bytes are no record.
    if (DecodeEventRecord(bytes.first(bytes.size() % kEventRecordBytes))) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeader || !kZoneSet) return 0;
    // One read carries at most 125 registers, one event chunk at most 31 records.
    const std::span<const std::uint8_t> answer(data + kHeader,
                                               std::min<std::size_t>(size - kHeader, 250));
    std::vector<std::uint16_t> registers(answer.size() / 2);
    for (std::size_t k = 0; k < registers.size(); ++k) {
        registers[k] = static_cast<std::uint16_t>(answer[2 * k] << 8 | answer[2 * k + 1]);
    }
    CheckTag(data, registers);
    CheckRecords(answer);
    return 0;
}
