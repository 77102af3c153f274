#include "model/object_id.h"

namespace velk {

std::atomic<std::uint32_t> nextObjectId{0};

std::uint32_t TakeNextObjectId() { return ++nextObjectId; }

}  // namespace velk
