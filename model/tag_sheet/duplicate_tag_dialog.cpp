#include "model/tag_sheet/duplicate_tag_dialog.h"

#include <memory>
#include <mutex>

#include "model/c_doc.h"
#include "model/locks.h"
#include "model/o_device.h"
#include "model/o_modbus_tag.h"
#include "model/o_tag_group.h"

namespace velk {
namespace {

constexpr std::int32_t kMinPlaces = 1;
constexpr std::int32_t kMaxPlaces = 6;
constexpr std::int32_t kMinCount = 1;
constexpr std::int32_t kMaxCount = 9999;

}  // namespace

void CDuplicateTagDialog::Open(const OModbusTag& selected) {
    baseName = selected.name;
    description_ = selected.description;
    firstLocationText = std::to_string(static_cast<std::uint32_t>(selected.address) + 2);
}

std::optional<FieldError> CDuplicateTagDialog::ReadEntries() {
    FieldReader reader;
    std::uint32_t firstNumber = firstNumber_;
    std::int32_t places = places_;
    std::uint32_t firstLocation = firstLocation_;
    std::int32_t count = count_;
    reader.ReadUnsigned(kFieldFirstNumber, firstNumberText, firstNumber);
    reader.ReadSignedInRange(kFieldPlaces, placesText, kMinPlaces, kMaxPlaces, places);
    reader.ReadUnsignedInRange(kFieldFirstLocation, firstLocationText, kFirstLocation,
                               kLastLocation, firstLocation);
    reader.ReadSignedInRange(kFieldCount, countText, kMinCount, kMaxCount, count);
    // The whole series must fit below the last address: its tail would wrap to address 0.
    const std::uint32_t lastFirst = kLastLocation + 1 - static_cast<std::uint32_t>(count);
    if (!reader.Error() && firstLocation > lastFirst)
        reader.RefuseRange(kFieldFirstLocation, kFirstLocation, lastFirst);
    if (reader.Error()) return reader.Error();
    firstNumber_ = firstNumber;
    places_ = places;
    firstLocation_ = firstLocation;
    count_ = count;
    return std::nullopt;
}

std::string CDuplicateTagDialog::Numbered(const std::string& prefix, std::uint32_t i) const {
    // Decimal, zero-padded to at least the numeric places; the sum is not cut to 32 bits.
    std::string digits = std::to_string(static_cast<std::uint64_t>(firstNumber_) + i);
    if (digits.size() < static_cast<std::size_t>(places_))
        digits.insert(0, static_cast<std::size_t>(places_) - digits.size(), '0');
    return prefix + digits;
}

std::string CDuplicateTagDialog::NameAt(std::uint32_t i) const { return Numbered(baseName, i); }

std::string CDuplicateTagDialog::DescriptionAt(std::uint32_t i) const {
    return Numbered(description_ + " #", i);
}

int CDuplicateTagDialog::Multiply(
    CDoc& document, OModbusTag& selected,
    const std::function<void(const std::string&)>& showMessage) const {
    OTagGroup* group = selected.group;
    if (group == nullptr) return 0;
    const std::string& delimiter = document.Settings().areaDelimiter;
    int added = 0;
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(count_); ++i) {
        const std::string name = NameAt(i);
        const auto address = static_cast<std::uint16_t>(firstLocation_ - 1u + i);
        // Names are tree data (TreeLock); location and description are read by the
        // acquisition under TagDataLock, taken inside. A refusal is shown after the lock.
        const char* refusal = nullptr;
        {
            std::lock_guard<std::recursive_mutex> tree(document.Locks().tree);
            if (OModbusTag* existing = group->FindOwnTag(name)) {
                std::lock_guard<std::recursive_mutex> data(document.Locks().tagData);
                existing->address = address;
                existing->name = name;
                existing->description = DescriptionAt(i);
                if (existing->device) existing->device->UpdateScanLists(existing);
                continue;
            }
            if (!delimiter.empty() && name.find(delimiter) != std::string::npos) {
                refusal = kMsgTagDots;
            } else {
                std::unique_ptr<OModbusTag> tag;
                {
                    std::lock_guard<std::recursive_mutex> data(document.Locks().tagData);
                    tag = selected.Duplicate(selected.timestamp);
                }
                tag->address = address;
                tag->name = name;
                tag->description = DescriptionAt(i);
                OModbusTag* joined = tag.get();
                if (group->InsertTagByName(tag)) {
                    document.RegisterTag(*group, joined);
                } else {
                    refusal = kMsgTagExists;
                }
            }
        }
        if (refusal != nullptr) {
            showMessage(refusal);
            continue;
        }
        ++added;
    }
    document.UpdateAllViews(kHintTagListChanged);
    document.SetModified();
    return added;
}

}  // namespace velk
