#pragma once
// One asynchronous read, write or refresh of a group, from the call to the end of its
// worker.
#include <cstdint>
#include <vector>

#include "model/variant.h"
#include "platform/hresult.h"

namespace velk {

enum class RequestKind : std::uint32_t { Read = 0, Write = 1, Refresh = 2 };

struct ASyncRequest {
    bool version2 = false;         // made through the 2.0 interface
    std::uint32_t cancelID = 0;    // 2.0 only
    bool cancelled = false;        // 2.0 only, set by Cancel2
    std::uint32_t connection = 0;  // 1.0 only: the data-object connection to complete on
    std::uint32_t source = 0;      // reads and refreshes
    std::vector<std::uint32_t> handles;
    std::vector<Variant> values;  // writes
    std::vector<HRESULT> errors;  // writes
    std::uint32_t transactionID = 0;
    RequestKind kind = RequestKind::Read;
};

}  // namespace velk
