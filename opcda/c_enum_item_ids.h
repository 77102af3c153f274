#pragma once
// The browse enumerator: the names of the child branches or of the tags of one node of the
// address space, read from the node's live lists at each call.
#include <cstdint>
#include <string>
#include <vector>

#include "model/variant.h"
#include "platform/hresult.h"

namespace velk {

class OTagGroup;

class CEnumItemIDs {
  public:
    // leaves false lists child branches, true the node's tags. The filters are kept, not used.
    CEnumItemIDs(const OTagGroup& node, bool leaves, std::string filterCriteria,
                 VarType dataTypeFilter, std::uint32_t accessRightsFilter);

    // Up to count names; S_FALSE when fewer were returned.
    HRESULT Next(std::uint32_t count, std::vector<std::string>& names);
    // S_FALSE when it ran out before skipping count entries.
    HRESULT Skip(std::uint32_t count);
    HRESULT Reset();
    // A new enumerator over the same node and filters, at the start.
    CEnumItemIDs Clone() const;

    const std::string& FilterCriteria() const { return filterCriteria_; }

  private:
    std::size_t Size() const;
    std::string NameAt(std::size_t index) const;

    const OTagGroup* node_;
    bool leaves_;
    std::string filterCriteria_;
    VarType dataTypeFilter_;
    std::uint32_t accessRightsFilter_;
    std::size_t position_ = 0;
};

}  // namespace velk
