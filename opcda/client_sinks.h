#pragma once
// The client side of the DA objects: the sinks a client hands to the connection points and
// to the 1.0 data object. The bus adaptor implements them for remote clients; each sink
// answers for the interfaces it has, as a query for the interface would. The DA objects hold
// a client's sinks by shared ownership, as the AE objects do (opc/sink_connections.h).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/variant.h"
#include "opc/opc_shutdown.h"
#include "opcda/opc_da_types.h"
#include "platform/clock.h"
#include "platform/hresult.h"

namespace velk {

// The item part of a 2.0 notification, one entry per item in every vector.
struct ItemValueList {
    std::vector<std::uint32_t> clientHandles;
    std::vector<Variant> values;
    std::vector<std::uint16_t> qualities;
    std::vector<FileTime> timestamps;
    std::vector<HRESULT> errors;
    std::size_t Count() const { return clientHandles.size(); }
};

class IOPCDataCallbackSink {
  public:
    virtual ~IOPCDataCallbackSink() = default;
    virtual HRESULT OnDataChange(std::uint32_t transactionID, std::uint32_t hGroup,
                                 HRESULT masterQuality, HRESULT masterError,
                                 const ItemValueList& items) = 0;
    virtual HRESULT OnReadComplete(std::uint32_t transactionID, std::uint32_t hGroup,
                                   HRESULT masterQuality, HRESULT masterError,
                                   const ItemValueList& items) = 0;
    virtual HRESULT OnWriteComplete(std::uint32_t transactionID, std::uint32_t hGroup,
                                    HRESULT masterError,
                                    const std::vector<std::uint32_t>& clientHandles,
                                    const std::vector<HRESULT>& errors) = 0;
    virtual HRESULT OnCancelComplete(std::uint32_t transactionID, std::uint32_t hGroup) = 0;
};

// The 1.0 advise sink: receives one stream (the bytes of the global memory block).
class IAdviseSink10 {
  public:
    virtual ~IAdviseSink10() = default;
    virtual void OnDataChange(const FORMATETC& format, const std::vector<std::uint8_t>& stream) = 0;
};

// What a client hands to a connection point; null answers mean "no such interface".
class IClientSink {
  public:
    virtual ~IClientSink() = default;
    virtual IOPCShutdown* QueryShutdown() { return nullptr; }
    virtual IOPCDataCallbackSink* QueryDataCallback() { return nullptr; }
};

// The interface a query of the sink answers, sharing the ownership of the whole sink object;
// null when the sink has no such interface.
template <class Interface>
std::shared_ptr<Interface> QuerySink(const std::shared_ptr<IClientSink>& sink,
                                     Interface* (IClientSink::*query)()) {
    if (!sink) return nullptr;
    Interface* answer = ((*sink).*query)();
    if (answer == nullptr) return nullptr;
    return std::shared_ptr<Interface>(sink, answer);
}

}  // namespace velk
