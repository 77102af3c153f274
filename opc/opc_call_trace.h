#pragma once
// The trace line every OPC method writes: "Called <interface>::<method>" with its result.
#include <string>

#include "core/trace_file.h"
#include "platform/hresult.h"

namespace velk::opc_calls {

// method: "<interface>::<method>".
inline HRESULT Traced(const char* method, HRESULT result) {
    TraceResult(std::string("Called ") + method, result, true);
    return result;
}

// prefix: "Called <interface>::", as the objects with many methods of one interface keep it.
inline HRESULT Traced(const char* prefix, const char* method, HRESULT result) {
    TraceResult(std::string(prefix) + method, result, true);
    return result;
}

}  // namespace velk::opc_calls
