#include "opcua/space/browse_continuations.h"

namespace velk::ua {

namespace {

constexpr std::size_t kPointBytes = 8;

ByteString PointOf(std::uint64_t id) {
    ByteString point;
    for (std::size_t i = 0; i < kPointBytes; ++i)
        point.bytes.push_back(static_cast<std::uint8_t>(id >> (8 * i)));
    return point;
}

std::optional<std::uint64_t> IdOf(const ByteString& point) {
    if (point.bytes.size() != kPointBytes) return std::nullopt;
    std::uint64_t id = 0;
    for (std::size_t i = 0; i < kPointBytes; ++i) id |= std::uint64_t{point.bytes[i]} << (8 * i);
    return id;
}

}  // namespace

std::optional<ByteString> BrowseContinuations::Add(BrowsePosition position) {
    if (positions_.size() >= capacity_) return std::nullopt;
    const std::uint64_t id = nextId_++;
    positions_.emplace(id, std::move(position));
    return PointOf(id);
}

std::optional<BrowsePosition> BrowseContinuations::Take(const ByteString& point) {
    const std::optional<std::uint64_t> id = IdOf(point);
    if (!id) return std::nullopt;
    const auto found = positions_.find(*id);
    if (found == positions_.end()) return std::nullopt;
    BrowsePosition position = std::move(found->second);
    positions_.erase(found);
    return position;
}

bool BrowseContinuations::Release(const ByteString& point) {
    const std::optional<std::uint64_t> id = IdOf(point);
    return id && positions_.erase(*id) == 1;
}

}  // namespace velk::ua
