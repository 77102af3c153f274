#pragma once
// The item attribute enumerator of a group, over its live item table.
#include <cstdint>
#include <memory>
#include <vector>

#include "opcda/opc_da_types.h"
#include "platform/hresult.h"

namespace velk {

class OPCGroup;

class CEnumItemAttributes {
  public:
    explicit CEnumItemAttributes(std::shared_ptr<OPCGroup> group) : group_(std::move(group)) {}

    // Up to count items' attributes; S_FALSE when fewer were returned.
    HRESULT Next(std::uint32_t count, std::vector<OPCITEMATTRIBUTES>& attributes);
    // S_FALSE when it ran out before skipping count items.
    HRESULT Skip(std::uint32_t count);
    HRESULT Reset();
    // A new enumerator over the same group, at the first item.
    std::unique_ptr<CEnumItemAttributes> Clone() const;

  private:
    std::shared_ptr<OPCGroup> group_;
    std::size_t position_ = 0;
};

}  // namespace velk
