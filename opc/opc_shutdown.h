#pragma once
// IOPCShutdown: the client's shutdown callback, which the DA and AE server objects call
// when the server is asked to stop while clients are attached.
#include <string>

#include "platform/hresult.h"

namespace velk {

class IOPCShutdown {
  public:
    virtual ~IOPCShutdown() = default;
    // Asks the client to disconnect; the reason text is empty when the server sends it.
    virtual HRESULT ShutdownRequest(const std::string& reason) = 0;
};

}  // namespace velk
