#pragma once
// The client's event callback, implemented by the bus adaptor (tests use recording sinks).
#include <cstdint>
#include <vector>

#include "opcae/opc_ae_types.h"
#include "platform/hresult.h"

namespace velk {

class IOPCEventSink {
  public:
    virtual ~IOPCEventSink() = default;
    // One batch of events; a failed call is not repeated.
    virtual HRESULT OnEvent(std::uint32_t clientHandle, bool refresh, bool lastRefresh,
                            const std::vector<OnEventStruct>& events) = 0;
};

}  // namespace velk
