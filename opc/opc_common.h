#pragma once
// IOPCCommon, which the DA and the AE server objects both implement: the locale, the texts
// of result codes and the client's name.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/hresult.h"

namespace velk {

class IOPCCommon {
  public:
    virtual ~IOPCCommon() = default;
    virtual HRESULT SetLocaleID(std::uint32_t lcid) = 0;
    virtual HRESULT GetLocaleID(std::uint32_t* lcid) = 0;
    virtual HRESULT QueryAvailableLocaleIDs(std::vector<std::uint32_t>* lcids) = 0;
    // The text of a result code in the object's locale.
    virtual HRESULT GetErrorString(HRESULT code, std::string* text) = 0;
    virtual HRESULT SetClientName(const std::string& name) = 0;
};

}  // namespace velk
