#pragma once
// The process-wide id counter of tags and device communication alarms. Ids are the AE
// condition cookies; they are not stored in the configuration file.
#include <atomic>
#include <cstdint>

namespace velk {

// Starts at 0; every new tag and device alarm takes the value after increasing it.
extern std::atomic<std::uint32_t> nextObjectId;

// Increases nextObjectId and returns the new value (the first id is 1).
std::uint32_t TakeNextObjectId();

}  // namespace velk
