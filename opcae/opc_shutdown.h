#pragma once
// The client's shutdown callback, implemented by the bus adaptor.
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
