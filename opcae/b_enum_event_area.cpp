#include "opcae/b_enum_event_area.h"

#include "model/o_binary_alarm.h"
#include "model/o_tag_group.h"
#include "opcae/opc_ae_types.h"

namespace velk {

// A source is named by its binary alarm's source text when it has one.
static std::string SourceName(const OModbusTag& tag) {
    if (tag.IsBool())
        if (const auto* binary = dynamic_cast<const OBinaryAlarm*>(tag.alarm.get());
            binary && !binary->source.empty())
            return binary->source;
    return tag.name;
}

BEnumEventArea::BEnumEventArea(const OTagGroup& node, std::uint32_t browseType, std::string filter)
    : node_(node), browseType_(browseType), filter_(std::move(filter)) {}

bool BEnumEventArea::Selects() const {
    return (filter_.empty() || filter_ == "*") &&
           (browseType_ == OPC_AREA || browseType_ == OPC_SOURCE);
}

std::size_t BEnumEventArea::ListSize() const {
    if (!Selects()) return 0;
    return browseType_ == OPC_AREA ? node_.subgroupList.size() : node_.tagList.size();
}

bool BEnumEventArea::EntryName(std::size_t index, std::string* name) const {
    if (browseType_ == OPC_AREA) {
        *name = node_.subgroupList[index]->name;
        return true;
    }
    const OModbusTag& tag = *node_.tagList[index];
    if (!tag.alarm || tag.alarm->enableFlags == 0) return false;
    *name = SourceName(tag);
    return true;
}

bool BEnumEventArea::Advance(std::string* name) {
    std::string ignored;
    while (cursor_ < ListSize()) {
        const std::size_t at = cursor_++;
        if (EntryName(at, name ? name : &ignored)) return true;
    }
    return false;
}

HRESULT BEnumEventArea::Next(std::uint32_t count, std::vector<std::string>* names,
                             std::uint32_t* fetched) {
    if (names == nullptr || (count > 1 && fetched == nullptr)) return E_INVALIDARG;
    names->clear();
    std::string name;
    while (names->size() < count && Advance(&name)) names->push_back(name);
    if (fetched) *fetched = static_cast<std::uint32_t>(names->size());
    return names->size() == count ? S_OK : S_FALSE;
}

HRESULT BEnumEventArea::Skip(std::uint32_t count) {
    std::uint32_t skipped = 0;
    while (skipped < count && Advance(nullptr)) ++skipped;
    return skipped == count ? S_OK : S_FALSE;
}

HRESULT BEnumEventArea::Reset() {
    cursor_ = 0;
    return (browseType_ == OPC_AREA || browseType_ == OPC_SOURCE) ? S_OK : E_FAIL;
}

HRESULT BEnumEventArea::Clone(std::unique_ptr<BEnumEventArea>* clone) const {
    if (clone == nullptr) return E_INVALIDARG;
    *clone = std::make_unique<BEnumEventArea>(node_, browseType_, filter_);
    return S_OK;
}

bool BEnumEventArea::HasEntries() const {
    BEnumEventArea probe(node_, browseType_, filter_);
    return probe.Advance(nullptr);
}

}  // namespace velk
