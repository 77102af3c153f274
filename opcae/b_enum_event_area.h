#pragma once
// The string enumerator of BrowseOPCAreas: the child branches (areas) or the alarmed tags
// (sources) of one tree node. It walks the node's live lists and takes no copy.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/hresult.h"

namespace velk {

class OTagGroup;

class BEnumEventArea {
  public:
    // Only the filters "" and "*" select anything; browse types other than OPC_AREA and
    // OPC_SOURCE give an empty enumerator.
    BEnumEventArea(const OTagGroup& node, std::uint32_t browseType, std::string filter);

    // Up to count names into names; S_FALSE when fewer were left. E_INVALIDARG for a null
    // list, or a count above 1 without a fetched count.
    HRESULT Next(std::uint32_t count, std::vector<std::string>* names, std::uint32_t* fetched);
    // Passes over up to count entries; S_FALSE when fewer were left.
    HRESULT Skip(std::uint32_t count);
    // Back to the first entry; E_FAIL for an unknown browse type.
    HRESULT Reset();
    // A new enumerator over the same node, type and filter, at its first entry.
    HRESULT Clone(std::unique_ptr<BEnumEventArea>* clone) const;

    // True when the enumeration holds at least one entry.
    bool HasEntries() const;

  private:
    bool Selects() const;
    std::size_t ListSize() const;
    // The name of the list entry at the index, false when the entry is not listed.
    bool EntryName(std::size_t index, std::string* name) const;
    // Moves the cursor to the next listed entry; false at the end.
    bool Advance(std::string* name);

    const OTagGroup& node_;
    std::uint32_t browseType_;
    std::string filter_;
    std::size_t cursor_ = 0;
};

}  // namespace velk
