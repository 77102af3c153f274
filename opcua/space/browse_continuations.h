#pragma once
// The continuation points of one session's Browse calls: what a Browse left unsent (the
// node, its filter and how far it got), found again by BrowseNext. The number held is
// bounded; the references themselves are computed again from the address space when the
// browse goes on, so they follow the configuration.
#include <cstdint>
#include <map>
#include <optional>

#include "opcua/basic_types.h"
#include "opcua/space/address_space.h"

namespace velk::ua {

struct BrowsePosition {
    NodeId nodeId;
    ReferenceFilter filter;
    std::uint32_t resultMask = 0;
    std::uint32_t maxReferences = 0;  // per result; 0: the server's bound
    std::uint32_t nextIndex = 0;      // the first matching reference not yet sent
};

class BrowseContinuations {
  public:
    explicit BrowseContinuations(std::uint16_t capacity) : capacity_(capacity) {}

    // A new continuation point for position; none when the session holds as many as it may.
    std::optional<ByteString> Add(BrowsePosition position);
    // Takes the position of a point out (it is used up); none for an unknown point.
    std::optional<BrowsePosition> Take(const ByteString& point);
    // Forgets a point; false when it was not held.
    bool Release(const ByteString& point);
    std::size_t Size() const { return positions_.size(); }

  private:
    std::uint16_t capacity_;
    std::uint64_t nextId_ = 1;
    std::map<std::uint64_t, BrowsePosition> positions_;
};

}  // namespace velk::ua
