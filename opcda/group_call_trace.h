#pragma once
// The trace line every OPC method of a group writes: "Called <interface>::<method>" with its
// result.
#include <string>

#include "core/trace_file.h"
#include "platform/hresult.h"

namespace velk::group_calls {

inline HRESULT Traced(const char* method, HRESULT result) {
    TraceResult(std::string("Called ") + method, result, true);
    return result;
}

}  // namespace velk::group_calls
